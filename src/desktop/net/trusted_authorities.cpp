// Authorities from the system's store and the usual variables.
#include "desktop/net/trusted_authorities.h"

#include <QSslConfiguration>
#include <QString>

namespace postvane {

QList<QSslCertificate> TrustedAuthorities() {
  // The system's store is read once: parsing it takes most of a second.
  static const QList<QSslCertificate> kSystem = QSslConfiguration::systemCaCertificates();
  QList<QSslCertificate> authorities = kSystem;
  const QString file = qEnvironmentVariable("SSL_CERT_FILE");
  if (!file.isEmpty()) authorities += QSslCertificate::fromPath(file, QSsl::Pem);
  const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
  for (const QString& folder : folders.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    authorities += QSslCertificate::fromPath(folder + QStringLiteral("/*"), QSsl::Pem,
                                             QSslCertificate::PatternSyntax::Wildcard);
  }
  return authorities;
}

}  // namespace postvane
