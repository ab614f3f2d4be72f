// The authorities a TLS connection trusts, worked out once per process.
#include "desktop/net/trusted_authorities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace postvane {

QStringList SystemAuthorityFolders() {
  return {QStringLiteral("/etc/ssl/certs/"),
          QStringLiteral("/usr/lib/ssl/certs/"),
          QStringLiteral("/usr/share/ssl/"),
          QStringLiteral("/etc/pki/ca-trust/extracted/pem/directory-hash/"),
          QStringLiteral("/usr/local/ssl/"),
          QStringLiteral("/var/ssl/certs/"),
          QStringLiteral("/usr/local/ssl/certs/"),
          QStringLiteral("/etc/openssl/certs/"),
          QStringLiteral("/opt/openssl/certs/"),
          QStringLiteral("/etc/ssl/")};
}

QStringList SystemAuthorityBundles() {
  return {QStringLiteral("/etc/pki/tls/certs/ca-bundle.crt"),
          QStringLiteral("/usr/local/share/certs/ca-root-nss.crt")};
}

QStringList SystemAuthorityFiles() {
  QStringList files;
  for (const QString& bundle : SystemAuthorityBundles()) {
    const QString canonical = QFileInfo(bundle).canonicalFilePath();
    if (!canonical.isEmpty()) files << canonical;
  }
  const QStringList patterns = {QStringLiteral("*.pem"), QStringLiteral("*.crt")};
  for (const QString& folder : SystemAuthorityFolders()) {
    const QFileInfoList entries = QDir(folder).entryInfoList(patterns, QDir::Files);
    for (const QFileInfo& entry : entries) {
      const QString canonical = entry.canonicalFilePath();
      if (!canonical.isEmpty()) files << canonical;
    }
  }
  return files;
}

QStringList ExtraAuthorityFiles(const QString& file, const QString& folders,
                                const QStringList& systemFiles) {
  QSet<QString> seen(systemFiles.begin(), systemFiles.end());
  QStringList extra;
  const auto take = [&](const QFileInfo& info) {
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !QFileInfo(canonical).isFile() || seen.contains(canonical)) return;
    seen.insert(canonical);
    extra << canonical;
  };
  if (!file.isEmpty()) take(QFileInfo(file));
  for (const QString& folder : folders.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files)) take(entry);
  }
  return extra;
}

QList<QByteArray> PemCertificates(const QByteArray& text) {
  static const QByteArray kBegin = "-----BEGIN CERTIFICATE-----";
  static const QByteArray kEnd = "-----END CERTIFICATE-----";
  QList<QByteArray> blocks;
  qsizetype from = 0;
  for (;;) {
    const qsizetype begin = text.indexOf(kBegin, from);
    if (begin < 0) break;
    const qsizetype end = text.indexOf(kEnd, begin + kBegin.size());
    if (end < 0) break;
    QByteArray body = text.mid(begin + kBegin.size(), end - begin - kBegin.size());
    body.replace('\r', QByteArray()).replace('\n', QByteArray()).replace(' ', QByteArray());
    blocks << kBegin + '\n' + body + '\n' + kEnd + '\n';
    from = end + kEnd.size();
  }
  return blocks;
}

void AuthorityReader::Read(const QStringList& files) {
  for (const QString& path : files) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& block : PemCertificates(file.readAll())) {
      if (seen_.contains(block)) continue;
      seen_.insert(block);
      certificates_ += QSslCertificate::fromData(block, QSsl::Pem);
    }
  }
}

std::optional<QList<QSslCertificate>> TrustedAuthorities::ForConnection() {
  const QString file = qEnvironmentVariable("SSL_CERT_FILE");
  const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
  if (known_ && file == file_ && folders == folders_) return list_;
  known_ = true;
  file_ = file;
  folders_ = folders;
  list_.reset();
  // Most systems point the variables at the system's own store: nothing to read then.
  if (file.isEmpty() && folders.isEmpty()) return list_;
  const QStringList systemFiles = SystemAuthorityFiles();
  const QStringList extraFiles = ExtraAuthorityFiles(file, folders, systemFiles);
  if (extraFiles.isEmpty()) return list_;
  // Each certificate is decoded once, however many files hold it (a bundle and a folder of
  // single files usually hold the same ones): decoding is what costs.
  AuthorityReader reader;
  reader.Read(systemFiles);
  const qsizetype systemCount = reader.Certificates().size();
  reader.Read(extraFiles);
  if (reader.Certificates().size() == systemCount) return list_;
  list_ = reader.Certificates();
  return list_;
}

TrustedAuthorities& ProcessAuthorities() {
  static TrustedAuthorities authorities;
  return authorities;
}

}  // namespace postvane
