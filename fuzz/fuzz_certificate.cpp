// Fuzz target: what a TLS layer reports about a server's certificate and handshake, turned
// into the texts the user reads (status line, certificate details, receive log) and the
// fingerprint a user pastes to trust a certificate.
//
// Input: 0 failure (modulo 9, as SecureFailure), 1 language (one of six), 2 bit 0 trusted by
// fingerprint, bit 1 handshake failed; then Subject, Issuer, ValidFrom, ValidUntil,
// Fingerprint, Protocol, Cipher, Detail (byte length, bytes each); then the fingerprint the
// user typed (the rest).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check/connection_security.h"
#include "check/secure_failure_text.h"
#include "check/secure_start.h"
#include "fuzz_input.h"
#include "text/display_text.h"
#include "text/text_encoding.h"

namespace postvane::fuzz {
namespace {

constexpr std::size_t kFingerprintDigits = 64;

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

void CheckNormalized(const std::string& normalized) {
  if (normalized.empty()) return;
  POSTVANE_FUZZ_CHECK(normalized.size() == kFingerprintDigits);
  for (const char c : normalized) POSTVANE_FUZZ_CHECK(IsUpperHex(c));
  // As people read it, and back.
  POSTVANE_FUZZ_CHECK_EQ(NormalizeFingerprint(FingerprintWithColons(normalized)), normalized);
}

// What a window shows of a text from the server: valid UTF-8, no control that could move or
// hide text.
void CheckShown(const std::string& text) {
  const std::string shown = DisplayText(text);
  POSTVANE_FUZZ_CHECK(IsValidUtf8(shown));
  for (std::size_t i = 0; i < shown.size();) {
    std::size_t length = 0;
    POSTVANE_FUZZ_CHECK(!IsDisplayControl(CodePointAt(shown, i, length)));
    i += length;
  }
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane;
  using namespace postvane::fuzz;
  FuzzInput in(data, size);
  const auto failure = static_cast<SecureFailure>(in.Byte() % 9);
  static constexpr int16_t kLanguageBases[] = {300, 700, 900, 1000, 1600, 1900};
  const int16_t languageBase = kLanguageBases[in.Byte() % 6];
  const uint8_t flags = in.Byte();

  TlsHandshake handshake;
  TlsCertificate& certificate = handshake.Certificate;
  certificate.Subject = in.ShortText();
  certificate.Issuer = in.ShortText();
  certificate.ValidFrom = in.ShortText();
  certificate.ValidUntil = in.ShortText();
  certificate.Fingerprint = in.ShortText();
  handshake.Protocol = in.ShortText();
  handshake.Cipher = in.ShortText();
  handshake.Detail = in.ShortText();
  handshake.TrustedByFingerprint = (flags & 1) != 0;
  handshake.Failure = (flags & 2) != 0 ? TlsFailure::Untrusted : TlsFailure::None;
  const std::string typed = in.Rest();

  const std::string status = SecureFailureText(languageBase, failure, certificate);
  POSTVANE_FUZZ_CHECK(failure == SecureFailure::None || !status.empty());
  CheckShown(status);

  const std::vector<std::string> details = CertificateDetails(languageBase, certificate);
  POSTVANE_FUZZ_CHECK(details.empty() == certificate.Fingerprint.empty());
  if (!details.empty()) {
    // The server's names are shown whole, each on the line of its label.
    POSTVANE_FUZZ_CHECK(details.size() == 5);
    POSTVANE_FUZZ_CHECK(details[0].ends_with(certificate.Subject));
    POSTVANE_FUZZ_CHECK(details[1].ends_with(certificate.Issuer));
  }
  for (const std::string& line : details) CheckShown(line);

  const std::string logged = HandshakeLogText(handshake);
  POSTVANE_FUZZ_CHECK(
      Contains(logged, handshake.Succeeded() ? handshake.Cipher : handshake.Detail));
  POSTVANE_FUZZ_CHECK(logged.size() <= 64 + 4 * 256 + 3 * certificate.Fingerprint.size());

  // The fingerprint a user pastes, compared with the one the server showed.
  const std::string normalized = NormalizeFingerprint(typed);
  CheckNormalized(normalized);
  CheckNormalized(NormalizeFingerprint(certificate.Fingerprint));
  const bool match = FingerprintsMatch(typed, certificate.Fingerprint);
  POSTVANE_FUZZ_CHECK(match == FingerprintsMatch(certificate.Fingerprint, typed));
  POSTVANE_FUZZ_CHECK(!match || (!normalized.empty() &&
                                 normalized == NormalizeFingerprint(certificate.Fingerprint)));
  POSTVANE_FUZZ_CHECK(FingerprintsMatch(typed, typed) == !normalized.empty());
  return 0;
}
