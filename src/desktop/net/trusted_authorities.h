// Which authorities a TLS connection trusts: the system's store, looked up on demand by the TLS
// library, plus any others that SSL_CERT_FILE and SSL_CERT_DIR name, read once per process.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <optional>

namespace postvane {

// The folders and bundles the system's store is made of (Qt reads the same ones when asked for
// the whole store, and looks certificates up in the folders by their hashed names otherwise).
QStringList SystemAuthorityFolders();
QStringList SystemAuthorityBundles();

// The files whose certificates SSL_CERT_FILE (`file`) and SSL_CERT_DIR (`folders`, separated by
// ':'; every file directly in each, as "folder/*" reads them) add to the system's store: each
// file once however many names lead to it, and none that the system's store already holds
// (`systemFiles`, canonical paths). Files that do not exist are left out.
QStringList ExtraAuthorityFiles(const QString& file, const QString& folders,
                                const QStringList& systemFiles);

// The canonical paths of the certificate files in the system's store.
QStringList SystemAuthorityFiles();

// The PEM certificate blocks in `text`, each rewritten without line breaks in its base64, so
// that the same certificate gives the same bytes in whatever file and layout it comes.
QList<QByteArray> PemCertificates(const QByteArray& text);

// Collects the certificates of several files, each distinct one decoded once.
class AuthorityReader {
 public:
  void Read(const QStringList& files);
  const QList<QSslCertificate>& Certificates() const { return certificates_; }

 private:
  QSet<QByteArray> seen_;
  QList<QSslCertificate> certificates_;
};

// The authorities for a connection, worked out when the variables change (in practice once):
// nothing when the system's store is all (the connection keeps the TLS library's lookup on
// demand), otherwise the whole list to trust. The system's store is then read in full, once,
// since a connection given a list of authorities no longer looks any up by itself.
class TrustedAuthorities {
 public:
  std::optional<QList<QSslCertificate>> ForConnection();

 private:
  bool known_ = false;
  QString file_;
  QString folders_;
  std::optional<QList<QSslCertificate>> list_;
};

// Shared by every secure connection of the process (mail servers and OAuth providers), so the
// extra authorities are read once.
TrustedAuthorities& ProcessAuthorities();

}  // namespace postvane
