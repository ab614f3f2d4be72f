// Making the test authority and server certificates with the openssl command-line tool.
#include "support/test_certificates.h"

#include <QDateTime>
#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace postvane::test {
namespace {

// P-256 keys: quick to make and accepted everywhere TLS 1.2 is.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};

// Our own configuration, so that the system's openssl.cnf plays no part.
const char kConfig[] = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $ENV::POSTVANE_TEST_ALT_NAMES
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
email_in_dn = no
[any]
commonName = supplied
)";

std::string Utc(const QDateTime& time) {
  return time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss'Z'")).toStdString();
}

}  // namespace

TestCertificates::TestCertificates() {
  if (folder_.Path().empty()) {
    failure_ = "no temporary folder";
    return;
  }
  if (!Make() && failure_.empty()) failure_ = "the openssl tool failed";
}

bool TestCertificates::Run(const std::vector<std::string>& arguments) {
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(folder_.Path().string()));
  process.setProcessChannelMode(QProcess::MergedChannels);
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  process.start(QStringLiteral("openssl"), list);
  if (!process.waitForStarted(10000)) {
    failure_ = "the openssl tool is not installed";
    return false;
  }
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    failure_ = "openssl did not finish";
    return false;
  }
  lastOutput_ = process.readAll().toStdString();
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    failure_ = "openssl " + arguments.front() + " failed: " + lastOutput_;
    return false;
  }
  return true;
}

bool TestCertificates::ReadFingerprint(CertificateFiles& files) {
  if (!Run({"x509", "-in", files.Certificate, "-noout", "-fingerprint", "-sha256"})) return false;
  const std::size_t equals = lastOutput_.find('=');
  if (equals == std::string::npos) return false;
  std::string fingerprint = lastOutput_.substr(equals + 1);
  while (!fingerprint.empty() && (fingerprint.back() == '\n' || fingerprint.back() == '\r')) {
    fingerprint.pop_back();
  }
  files.Fingerprint = fingerprint;
  return true;
}

bool TestCertificates::Issue(const std::string& name, const std::string& altNames,
                             const std::string& start, const std::string& end,
                             CertificateFiles& files) {
  const std::string base = (folder_.Path() / name).string();
  files.Certificate = base + ".pem";
  files.Key = base + ".key";
  std::vector<std::string> request = {"req", "-config", "openssl.cnf", "-new"};
  request.insert(request.end(), kNewKey.begin(), kNewKey.end());
  request.insert(request.end(),
                 {"-subj", "/CN=" + name, "-keyout", files.Key, "-out", base + ".csr"});
  if (!Run(request)) return false;
  ::setenv("POSTVANE_TEST_ALT_NAMES", altNames.c_str(), 1);
  const bool issued =
      Run({"ca", "-batch", "-config", "openssl.cnf", "-notext", "-extensions", "server", "-cert",
           authority_.Certificate, "-keyfile", authority_.Key, "-startdate", start, "-enddate", end,
           "-in", base + ".csr", "-out", files.Certificate});
  return issued && ReadFingerprint(files);
}

bool TestCertificates::Make() {
  const std::filesystem::path& folder = folder_.Path();
  {
    std::ofstream config(folder / "openssl.cnf");
    config << kConfig;
    std::ofstream(folder / "index.txt").flush();
    std::ofstream(folder / "serial") << "1000\n";
  }
  // The fixed alternative names are read even where a section does not use them.
  ::setenv("POSTVANE_TEST_ALT_NAMES", "DNS:localhost", 1);

  authority_.Certificate = (folder / "authority.pem").string();
  authority_.Key = (folder / "authority.key").string();
  std::vector<std::string> authority = {"req",   "-config", "openssl.cnf", "-x509",
                                        "-days", "2",       "-extensions", "authority"};
  authority.insert(authority.end(), kNewKey.begin(), kNewKey.end());
  authority.insert(authority.end(), {"-subj", "/O=Postvane Tests/CN=Postvane Test Authority",
                                     "-keyout", authority_.Key, "-out", authority_.Certificate});
  if (!Run(authority)) return false;

  const QDateTime now = QDateTime::currentDateTimeUtc();
  const std::string from = Utc(now.addDays(-1));
  const std::string until = Utc(now.addDays(2));
  const std::string local = "DNS:localhost,IP:127.0.0.1";
  if (!Issue("localhost", local, from, until, good_)) return false;
  if (!Issue("wrong.example", "DNS:wrong.example", from, until, wrongName_)) return false;
  if (!Issue("expired", local, Utc(now.addYears(-3)), Utc(now.addYears(-2)), expired_)) {
    return false;
  }

  selfSigned_.Certificate = (folder / "self-signed.pem").string();
  selfSigned_.Key = (folder / "self-signed.key").string();
  ::setenv("POSTVANE_TEST_ALT_NAMES", local.c_str(), 1);
  std::vector<std::string> self = {"req",   "-config", "openssl.cnf", "-x509",
                                   "-days", "2",       "-extensions", "server"};
  self.insert(self.end(), kNewKey.begin(), kNewKey.end());
  self.insert(self.end(), {"-subj", "/CN=localhost", "-keyout", selfSigned_.Key, "-out",
                           selfSigned_.Certificate});
  if (!Run(self) || !ReadFingerprint(selfSigned_)) return false;

  std::string subject;
  for (const auto& [field, value] : kMarkupNames) {
    subject += "/" + field + "=";
    // A slash inside a value is written escaped.
    for (const char c : value) subject += c == '/' ? std::string("\\/") : std::string(1, c);
  }
  marked_.Certificate = (folder / "marked.pem").string();
  marked_.Key = (folder / "marked.key").string();
  std::vector<std::string> marked = {"req",   "-config", "openssl.cnf", "-x509",
                                     "-days", "2",       "-extensions", "server"};
  marked.insert(marked.end(), kNewKey.begin(), kNewKey.end());
  marked.insert(marked.end(),
                {"-subj", subject, "-keyout", marked_.Key, "-out", marked_.Certificate});
  return Run(marked) && ReadFingerprint(marked_);
}

TrustedAuthorityScope::TrustedAuthorityScope(const std::string& file) {
  if (const char* old = std::getenv("SSL_CERT_FILE")) {
    hadValue_ = true;
    oldValue_ = old;
  }
  ::setenv("SSL_CERT_FILE", file.c_str(), 1);
}

TrustedAuthorityScope::~TrustedAuthorityScope() {
  if (hadValue_) {
    ::setenv("SSL_CERT_FILE", oldValue_.c_str(), 1);
  } else {
    ::unsetenv("SSL_CERT_FILE");
  }
}

}  // namespace postvane::test
