// The certificate authorities a secure connection trusts: mail servers and OAuth providers.
#pragma once

#include <QList>
#include <QSslCertificate>

namespace postvane {

// The system's authorities plus those a site or a test names in SSL_CERT_FILE and SSL_CERT_DIR.
QList<QSslCertificate> TrustedAuthorities();

}  // namespace postvane
