// Certificates made at run time with the openssl tool: a test authority and the server
// certificates the TLS tests need, in a temporary folder removed with the object.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fakes/temp_folder.h"

namespace postvane::test {

// Name fields made of markup, each in its own field of the Marked certificate's subject
// (and, as it signs itself, its issuer): a bold text, a link, a comment opener that would hide
// what follows, an image and a coloured text.
inline const std::vector<std::pair<std::string, std::string>> kMarkupNames = {
    {"ST", "<b>st</b>"},
    {"L", "<a href=\"http://x\">l</a>"},
    {"O", "<!--"},
    {"OU", "<img src=x>"},
    {"CN", "<font color=red>cn</font>"}};

struct CertificateFiles {
  std::string Certificate;  // PEM
  std::string Key;          // PEM, unencrypted
  std::string Fingerprint;  // SHA-256 as the openssl tool prints it ("AB:CD:...")
};

class TestCertificates {
 public:
  TestCertificates();

  // False with a reason in Failure() when the openssl tool is missing or failed.
  bool Ready() const { return failure_.empty(); }
  const std::string& Failure() const { return failure_; }

  // The test authority's certificate, to be named by SSL_CERT_FILE.
  const std::string& AuthorityFile() const { return authority_.Certificate; }
  // Signed by the authority for localhost and 127.0.0.1, valid now.
  const CertificateFiles& Good() const { return good_; }
  // Signed by the authority for another name only.
  const CertificateFiles& WrongName() const { return wrongName_; }
  // Signed by the authority for localhost and 127.0.0.1, expired years ago.
  const CertificateFiles& Expired() const { return expired_; }
  // For localhost and 127.0.0.1, signed by itself.
  const CertificateFiles& SelfSigned() const { return selfSigned_; }
  // Signed by itself, with kMarkupNames as its name fields.
  const CertificateFiles& Marked() const { return marked_; }

 private:
  bool Make();
  bool Run(const std::vector<std::string>& arguments);
  bool Issue(const std::string& name, const std::string& altNames, const std::string& start,
             const std::string& end, CertificateFiles& files);
  bool ReadFingerprint(CertificateFiles& files);

  TempFolder folder_;
  std::string failure_;
  std::string lastOutput_;
  CertificateFiles authority_;
  CertificateFiles good_;
  CertificateFiles wrongName_;
  CertificateFiles expired_;
  CertificateFiles selfSigned_;
  CertificateFiles marked_;
};

// Sets SSL_CERT_FILE for the life of the object and restores what was there before.
class TrustedAuthorityScope {
 public:
  explicit TrustedAuthorityScope(const std::string& file);
  ~TrustedAuthorityScope();
  TrustedAuthorityScope(const TrustedAuthorityScope&) = delete;
  TrustedAuthorityScope& operator=(const TrustedAuthorityScope&) = delete;

 private:
  bool hadValue_ = false;
  std::string oldValue_;
};

}  // namespace postvane::test
