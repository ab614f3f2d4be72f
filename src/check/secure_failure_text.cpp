// Texts for secure connections.
#include "check/secure_failure_text.h"

#include "check/connection_security.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

namespace {

// The table's texts carry '#' where the value goes.
std::string WithValue(std::string text, const std::string& value) {
  const std::size_t at = text.find('#');
  if (at != std::string::npos) text.replace(at, 1, value);
  return text;
}

}  // namespace

std::string SecureFailureText(int16_t languageBase, SecureFailure failure,
                              const TlsCertificate& certificate) {
  switch (failure) {
    case SecureFailure::None:
      return {};
    case SecureFailure::GreetingRefused:
      // The same outcome as on a plain connection.
      return LocalString(languageBase, StringId::MailServerNotReady);
    case SecureFailure::StlsNotOffered:
      return OwnString(languageBase, OwnText::StlsNotOffered);
    case SecureFailure::StlsRefused:
      return OwnString(languageBase, OwnText::StlsRefused);
    case SecureFailure::Injection:
      return OwnString(languageBase, OwnText::DataBeforeTls);
    case SecureFailure::Untrusted:
      return WithValue(OwnString(languageBase, OwnText::CertificateNotTrusted),
                       FingerprintWithColons(certificate.Fingerprint));
    case SecureFailure::NameMismatch:
      return OwnString(languageBase, OwnText::CertificateNameMismatch);
    case SecureFailure::Expired:
      return OwnString(languageBase, OwnText::CertificateExpired);
    case SecureFailure::Handshake:
      break;
  }
  return OwnString(languageBase, OwnText::TlsHandshakeFailed);
}

std::vector<std::string> CertificateDetails(int16_t languageBase,
                                            const TlsCertificate& certificate) {
  if (certificate.Fingerprint.empty()) return {};
  return {
      OwnString(languageBase, OwnText::CertificateSubject) + " " + certificate.Subject,
      OwnString(languageBase, OwnText::CertificateIssuer) + " " + certificate.Issuer,
      OwnString(languageBase, OwnText::CertificateValidFrom) + " " + certificate.ValidFrom,
      OwnString(languageBase, OwnText::CertificateValidUntil) + " " + certificate.ValidUntil,
      OwnString(languageBase, OwnText::CertificateFingerprint) + " " +
          FingerprintWithColons(certificate.Fingerprint),
  };
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
