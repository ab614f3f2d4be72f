// Starting, seeding and stopping a private Dovecot instance.
#include "support/dovecot_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "support/pop3_raw_client.h"

namespace postvane::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Dovecot refuses to open mail as root; nobody reads the mail when the tests run as root.
constexpr uid_t kNobody = 65534;
constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kStopLimit = std::chrono::seconds(10);
constexpr int kStartAttempts = 3;

uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

fs::path MakeFolder() {
  std::random_device device;
  std::mt19937_64 random((static_cast<uint64_t>(device()) << 32) ^ device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() / ("postvane-dovecot-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      // The login and mail processes run as other users and must reach into it.
      fs::permissions(candidate,
                      fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec,
                      error);
      return candidate;
    }
  }
  return {};
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

void ChownTree(const fs::path& root, uid_t uid, gid_t gid) {
  if (::lchown(root.c_str(), uid, gid) != 0) return;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (::lchown(it->path().c_str(), uid, gid) != 0) return;
  }
}

}  // namespace

std::string FindDovecot() {
  for (const char* candidate : {"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"}) {
    if (::access(candidate, X_OK) == 0) return candidate;
  }
  return {};
}

DovecotFixture::DovecotFixture(DovecotOptions options) : options_(std::move(options)) {
  if (FindDovecot().empty() || ::access("/usr/lib/dovecot/pop3", X_OK) != 0 ||
      (options_.Imap && ::access("/usr/lib/dovecot/imap", X_OK) != 0)) {
    failure_ =
        "Dovecot with its POP3 and IMAP servers is not installed (Debian packages dovecot-core, "
        "dovecot-pop3d and dovecot-imapd; scripts/install-deps.sh installs them)";
    return;
  }
  folder_ = MakeFolder();
  if (folder_.empty()) {
    failure_ = "cannot create a temporary folder for Dovecot";
    return;
  }
  if (::geteuid() == 0) {
    mailUid_ = kNobody;
    mailGid_ = kNobody;
  } else {
    mailUid_ = ::geteuid();
    mailGid_ = ::getegid();
  }
  std::error_code error;
  const fs::path maildir = folder_ / "mail" / options_.User;
  for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(maildir / sub, error);
  if (error) {
    failure_ = "cannot create the Maildir: " + error.message();
    return;
  }
  for (int attempt = 0; attempt < kStartAttempts && !Running(); ++attempt) {
    if (Start()) break;
  }
}

DovecotFixture::~DovecotFixture() {
  Stop();
  if (!folder_.empty()) {
    std::error_code error;
    fs::remove_all(folder_, error);
  }
}

std::string DovecotFixture::TlsSettings() const {
  if (!HasTls()) return "ssl = no\n";
  return "ssl = yes\nssl_cert = <" + options_.TlsCertificate + "\nssl_key = <" + options_.TlsKey +
         "\nssl_dh = </usr/share/dovecot/dh.pem\n";
}

std::string DovecotFixture::ImapService(const std::string& chroot) const {
  if (!options_.Imap) return {};
  // The TLS-only listener must exist in any case, or Dovecot takes port 993 for it.
  return "service imap-login {\n" + chroot + "  inet_listener imap {\n    address = 127.0.0.1\n" +
         "    port = " + std::to_string(imapPort_) + "\n  }\n  inet_listener imaps {\n" +
         "    address = 127.0.0.1\n    port = " + std::to_string(imapTlsPort_) + "\n  }\n}\n";
}

bool DovecotFixture::WriteConfig() {
  const std::string t = folder_.string();
  std::ostringstream conf;
  conf << "base_dir = " << t << "/run\n"
       << "state_dir = " << t << "/state\n"
       << "log_path = " << t << "/dovecot.log\n"
       << "protocols = pop3" << (options_.Imap ? " imap" : "") << "\n"
       // IDLE news within a second even where inotify cannot see the delivery.
       << "mailbox_idle_check_interval = 1 secs\n"
       << "listen = 127.0.0.1\n"
       << TlsSettings() << "disable_plaintext_auth = no\n"
       << "auth_mechanisms = plain login"
       << (options_.OAuthIntrospectionUrl.empty() ? "" : " xoauth2 oauthbearer") << "\n"
       << "auth_failure_delay = 0\n"
       << "mail_location = maildir:" << t << "/mail/%u\n"
       << "pop3_lock_session = " << (options_.LockSession ? "yes" : "no") << "\n";
  if (!options_.OAuthIntrospectionUrl.empty()) {
    // Tokens go to the provider; passwords only to the users file.
    conf << "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " << t
         << "/oauth2.conf\n}\n";
    std::ofstream oauth(folder_ / "oauth2.conf", std::ios::binary | std::ios::trunc);
    oauth << "introspection_mode = auth\nintrospection_url = " << options_.OAuthIntrospectionUrl
          << "\nusername_attribute = email\nactive_attribute = active\nactive_value = true\n";
  }
  conf << "passdb {\n  driver = passwd-file\n"
       << (options_.OAuthIntrospectionUrl.empty() ? "" : "  mechanisms = plain login\n")
       << "  args = scheme=PLAIN username_format=%u " << t << "/users\n}\n"
       << "userdb {\n  driver = passwd-file\n  args = username_format=%u " << t << "/users\n}\n";
  std::string chroot;
  if (::geteuid() != 0) {
    // Without root the whole instance runs as the current user, with no chroot.
    const passwd* user = ::getpwuid(::geteuid());
    const group* grp = ::getgrgid(::getegid());
    if (user == nullptr || grp == nullptr) return false;
    conf << "default_internal_user = " << user->pw_name << "\n"
         << "default_login_user = " << user->pw_name << "\n"
         << "default_internal_group = " << grp->gr_name << "\n";
    chroot = "  chroot =\n";
  }
  conf << "service pop3-login {\n"
       << chroot << "  inet_listener pop3 {\n"
       << "    address = 127.0.0.1\n    port = " << port_ << "\n  }\n"
       << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << tlsPort_
       << "\n  }\n}\n"
       << ImapService(chroot) << "service anvil {\n"
       << chroot << "  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
  std::ofstream confFile(folder_ / "dovecot.conf", std::ios::binary | std::ios::trunc);
  confFile << conf.str();
  std::ofstream users(folder_ / "users", std::ios::binary | std::ios::trunc);
  users << options_.User << ":{PLAIN}" << options_.Password << ":" << mailUid_ << ":" << mailGid_
        << "::" << t << "/mail/" << options_.User << "::\n";
  return confFile.good() && users.good();
}

bool DovecotFixture::Start() {
  port_ = FreeLoopbackPort();
  tlsPort_ = HasTls() ? FreeLoopbackPort() : 0;
  imapPort_ = options_.Imap ? FreeLoopbackPort() : 0;
  imapTlsPort_ = options_.Imap && HasTls() ? FreeLoopbackPort() : 0;
  // Every listener asked for gets a port of its own (0 keeps one closed).
  std::vector<uint16_t> wanted{port_};
  if (HasTls()) wanted.push_back(tlsPort_);
  if (options_.Imap) wanted.push_back(imapPort_);
  if (options_.Imap && HasTls()) wanted.push_back(imapTlsPort_);
  const std::set<uint16_t> distinct(wanted.begin(), wanted.end());
  if (distinct.size() != wanted.size() || distinct.count(0) != 0) {
    failure_ = "no free loopback port";
    return false;
  }
  std::error_code error;
  // Stale sockets of an earlier run cost a five-second auth delay.
  fs::remove_all(folder_ / "run", error);
  fs::create_directories(folder_ / "state", error);
  if (!WriteConfig()) {
    failure_ = "cannot write the Dovecot config";
    port_ = 0;
    return false;
  }
  if (::geteuid() == 0) ChownTree(folder_ / "mail", mailUid_, mailGid_);

  const std::string program = FindDovecot();
  const std::string conf = (folder_ / "dovecot.conf").string();
  const std::string output = (folder_ / "dovecot.out").string();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    failure_ = "fork failed";
    port_ = 0;
    return false;
  }
  if (pid == 0) {
    // Its own process group, so that stopping reaches every process it started; and it goes
    // when the test process dies without cleaning up.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    ::execl(program.c_str(), "dovecot", "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  pid_ = pid;
  if (WaitUntilReady()) return true;
  failure_ = "Dovecot did not come up on port " + std::to_string(port_) + ":\n" + ServerLog();
  Stop();
  port_ = 0;
  return false;
}

bool DovecotFixture::WaitUntilReady() {
  const auto deadline = Clock::now() + kStartLimit;
  while (Clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    Pop3RawClient probe;
    probe.TimeoutMs = 2000;
    Pop3RawClient imapProbe;
    imapProbe.TimeoutMs = 2000;
    if (probe.Connect(port_) && probe.ReadLine().starts_with("+OK") &&
        (!options_.Imap ||
         (imapProbe.Connect(imapPort_) && imapProbe.ReadLine().starts_with("* OK")))) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void DovecotFixture::Stop() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = Clock::now() + kStopLimit;
  bool reaped = false;
  while (Clock::now() < deadline) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || done < 0) {
      reaped = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Whatever is left of the group, the master included when it did not listen.
  ::kill(-pid_, SIGKILL);
  if (!reaped) {
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

bool DovecotFixture::Deliver(const std::string& message) {
  if (folder_.empty()) return false;
  ++delivered_;
  // Dovecot numbers new messages by the time stamp at the start of the name.
  const std::string name = std::to_string(1700000000 + delivered_) + ".M" +
                           std::to_string(delivered_) + "P" + std::to_string(::getpid()) +
                           ".postvane";
  const fs::path maildir = folder_ / "mail" / options_.User;
  const fs::path temporary = maildir / "tmp" / name;
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << WithCrLf(message);
    if (!file.good()) return false;
  }
  if (::geteuid() == 0 && ::chown(temporary.c_str(), mailUid_, mailGid_) != 0) return false;
  std::error_code error;
  fs::rename(temporary, maildir / "new" / name, error);
  return !error;
}

std::string DovecotFixture::ServerLog() const {
  std::string text;
  for (const char* name : {"dovecot.out", "dovecot.log"}) {
    std::ifstream file(folder_ / name, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    text += content.str();
  }
  return text;
}

}  // namespace postvane::test
