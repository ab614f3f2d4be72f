// Status texts for a secure connection that failed, and the receive log's handshake record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/secure_start.h"
#include "ports/tls_handshake.h"

namespace postvane {

// The reason in the user's language; a certificate that was not trusted is named by its
// fingerprint, so the user can compare it with the one the provider publishes.
std::string SecureFailureText(int16_t languageBase, SecureFailure failure,
                              const TlsCertificate& certificate);

// Subject, issuer, validity and fingerprint, one labelled line each; none for an empty one.
std::vector<std::string> CertificateDetails(int16_t languageBase,
                                            const TlsCertificate& certificate);

// One line: protocol, cipher, subject and fingerprint, or the failure and the TLS layer's words.
std::string HandshakeLogText(const TlsHandshake& result);

}  // namespace postvane
