// Texts for secure connections.
#include "check/secure_failure_text.h"

#include "check/connection_security.h"
#include "ui/string_table.h"

namespace postvane {

namespace {
constexpr int kStringNotReady = 58;
}

std::string SecureFailureText(int16_t languageBase, SecureFailure failure,
                              const TlsCertificate& certificate) {
  const std::string fingerprint = FingerprintWithColons(certificate.Fingerprint);
  switch (failure) {
    case SecureFailure::None:
      return {};
    case SecureFailure::GreetingRefused:
      // The same outcome as on a plain connection.
      return LocalString(languageBase, kStringNotReady);
    case SecureFailure::StlsNotOffered:
      return "The server does not offer STARTTLS";
    case SecureFailure::StlsRefused:
      return "The server refused STARTTLS";
    case SecureFailure::Injection:
      return "The server sent data before the secure connection began";
    case SecureFailure::Untrusted:
      return "Certificate not trusted (SHA-256 " + fingerprint + ")";
    case SecureFailure::NameMismatch:
      return "The certificate is for another server name";
    case SecureFailure::Expired:
      return "The certificate has expired or is not yet valid";
    case SecureFailure::Handshake:
      break;
  }
  return "Secure connection failed";
}

std::string HandshakeLogText(const TlsHandshake& result) {
  std::string text = result.Succeeded() ? "TLS " + result.Protocol + " " + result.Cipher
                                        : "TLS failed: " + result.Detail;
  if (result.TrustedByFingerprint) text += " (trusted by fingerprint)";
  if (!result.Certificate.Fingerprint.empty()) {
    text += "; " + result.Certificate.Subject + "; SHA-256 " +
            FingerprintWithColons(result.Certificate.Fingerprint);
  }
  return text;
}

}  // namespace postvane
