// A private Dovecot POP3 server for tests: its own config, mail and sockets in a temporary
// folder, on a free 127.0.0.1 port, stopped with everything it started when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace postvane::test {

struct DovecotOptions {
  std::string User = "alice";
  std::string Password = "secret";
  // A second session of the user waits for the first one to end, then gives up.
  bool LockSession = false;
  // PEM files: with both set, STARTTLS on the plain port and a second, TLS-only port.
  std::string TlsCertificate;
  std::string TlsKey;
  // IMAP beside POP3: a plain (STARTTLS with TLS options) and, with TLS, a TLS-only port.
  bool Imap = false;
  // With an address, tokens are taken (XOAUTH2, OAUTHBEARER) and checked there, as an OAuth
  // provider's introspection answers (JSON with "active" and "email" equal to the user).
  std::string OAuthIntrospectionUrl;
};

class DovecotFixture {
 public:
  explicit DovecotFixture(DovecotOptions options = {});
  ~DovecotFixture();
  DovecotFixture(const DovecotFixture&) = delete;
  DovecotFixture& operator=(const DovecotFixture&) = delete;

  // False with a reason in Failure() when Dovecot is missing or did not come up.
  bool Running() const { return pid_ > 0 && port_ != 0; }
  const std::string& Failure() const { return failure_; }
  uint16_t Port() const { return port_; }
  // The TLS-only port; 0 without TLS options.
  uint16_t TlsPort() const { return tlsPort_; }
  // The IMAP ports; 0 without the Imap option (the TLS one also without TLS options).
  uint16_t ImapPort() const { return imapPort_; }
  uint16_t ImapTlsPort() const { return imapTlsPort_; }
  const DovecotOptions& Options() const { return options_; }

  // Puts a message into the user's Maildir the way a delivery agent does (written under
  // tmp/, then moved to new/). Line ends become CR LF. Messages sort in delivery order.
  bool Deliver(const std::string& message);
  // The server's own log, for failure messages.
  std::string ServerLog() const;

  void Stop();

 private:
  bool Start();
  bool WriteConfig();
  bool WaitUntilReady();
  bool HasTls() const { return !options_.TlsCertificate.empty() && !options_.TlsKey.empty(); }
  std::string TlsSettings() const;
  std::string ImapService(const std::string& chroot) const;

  DovecotOptions options_;
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  uint16_t tlsPort_ = 0;
  uint16_t imapPort_ = 0;
  uint16_t imapTlsPort_ = 0;
  uid_t mailUid_ = 0;
  gid_t mailGid_ = 0;
  int delivered_ = 0;
  std::string failure_;
};

// Where the dovecot program is, or empty when it is not installed.
std::string FindDovecot();

}  // namespace postvane::test
