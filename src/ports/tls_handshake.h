// What the check asks of a secure connection and what the TLS layer reports back; neutral
// of any toolkit, so each front end can supply its own TLS.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

// Why a handshake failed, in the reasons a user can act on.
enum class TlsFailure : int16_t {
  None = 0,
  Untrusted = 1,     // the chain does not lead to a trusted authority (self-signed, unknown CA)
  NameMismatch = 2,  // the certificate is not for the host we asked for
  Expired = 3,       // expired or not yet valid
  Handshake = 4,     // no TLS agreed: old protocol, no common cipher, not TLS at all, dropped
  Injection = 5,     // the server sent data before the handshake (after "+OK" to STLS)
};

struct TlsCertificate {
  std::string Subject;      // distinguished name, "CN=..., O=..."
  std::string Issuer;       // the same for the issuer
  std::string ValidFrom;    // UTC, "2026-01-31 12:00:00 UTC"
  std::string ValidUntil;   // UTC, same form
  std::string Fingerprint;  // SHA-256 of the DER form, 64 upper-case hex digits
  bool operator==(const TlsCertificate&) const = default;
};

// Handed to Socket::StartTls.
struct TlsRequest {
  std::string HostName;  // what the certificate must name; RemoteHost
  // A certificate with this SHA-256 fingerprint is accepted even when it fails verification.
  std::string TrustedFingerprint;
};

// The outcome of one handshake; certificate fields are empty when the server sent none.
struct TlsHandshake {
  TlsFailure Failure = TlsFailure::None;
  std::string Protocol;  // "TLSv1.3"
  std::string Cipher;
  TlsCertificate Certificate;
  // The certificate failed verification and was accepted by its fingerprint.
  bool TrustedByFingerprint = false;
  // The TLS layer's own words for a failure, for the receive log.
  std::string Detail;
  bool Succeeded() const { return Failure == TlsFailure::None; }
};

// The failures where the certificate itself was the reason, so that trusting it would help.
inline bool IsCertificateFailure(TlsFailure failure) {
  return failure == TlsFailure::Untrusted || failure == TlsFailure::NameMismatch ||
         failure == TlsFailure::Expired;
}

}  // namespace postvane
