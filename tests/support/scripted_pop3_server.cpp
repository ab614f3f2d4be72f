// The scripted POP3 server: POSIX sockets on a thread of its own, one connection at a time.
#include "support/scripted_pop3_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <utility>

namespace postvane::test {
namespace {

constexpr int kPollSliceMs = 20;

}  // namespace

struct ScriptedPop3Server::Connection {
  int Fd = -1;
  int Index = 0;
  SSL_CTX* Context = nullptr;
  SSL* Tls = nullptr;
  ~Connection() { Close(); }
  void Close() {
    if (Tls != nullptr) SSL_free(Tls);
    if (Context != nullptr) SSL_CTX_free(Context);
    if (Fd >= 0) ::close(Fd);
    Tls = nullptr;
    Context = nullptr;
    Fd = -1;
  }
};

Pop3Script& Pop3Script::StartTls(TlsServerSide side) {
  Step step;
  step.What = Step::Kind::StartTls;
  step.Tls = std::move(side);
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::Expect(std::string line) {
  Step step;
  step.What = Step::Kind::Expect;
  step.Text = std::move(line);
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::Send(std::string bytes) { return SendSplit(std::move(bytes), {}); }

Pop3Script& Pop3Script::SendSplit(std::string bytes, std::vector<std::size_t> cuts,
                                  Milliseconds pause) {
  Step step;
  step.What = Step::Kind::Send;
  step.Text = std::move(bytes);
  step.Cuts = std::move(cuts);
  step.Pause = pause;
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::SendBytewise(std::string bytes, Milliseconds pause) {
  std::vector<std::size_t> cuts;
  for (std::size_t i = 1; i < bytes.size(); ++i) cuts.push_back(i);
  return SendSplit(std::move(bytes), std::move(cuts), pause);
}

Pop3Script& Pop3Script::SendGarbage(std::size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(byte(random));
  return Send(std::move(bytes));
}

Pop3Script& Pop3Script::Stall(Milliseconds duration) {
  Step step;
  step.What = Step::Kind::Stall;
  step.Pause = duration;
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::Hold() {
  Step step;
  step.What = Step::Kind::Hold;
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::Drop() {
  Step step;
  step.What = Step::Kind::Drop;
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::Reset() {
  Step step;
  step.What = Step::Kind::Reset;
  steps_.push_back(std::move(step));
  return *this;
}

Pop3Script& Pop3Script::LoginThroughUidl(const std::string& user, const std::string& password,
                                         const std::vector<std::string>& uids,
                                         const std::string& lastReply) {
  return Send("+OK POP3 ready\r\n")
      .Expect("USER " + user)
      .Send("+OK\r\n")
      .Expect("PASS " + password)
      .Send("+OK Logged in.\r\n")
      .Expect("STAT")
      .Send("+OK " + std::to_string(uids.size()) + " " + std::to_string(1000 * uids.size()) +
            "\r\n")
      .Expect("LAST")
      .Send(lastReply)
      .Expect("UIDL")
      .Send(UidlListing(uids));
}

Pop3Script& Pop3Script::LoginUntilUidl(const std::string& user, const std::string& password,
                                       const std::string& statReply, const std::string& lastReply) {
  return Send("+OK ready\r\n")
      .Expect("USER " + user)
      .Send("+OK\r\n")
      .Expect("PASS " + password)
      .Send("+OK\r\n")
      .Expect("STAT")
      .Send(statReply)
      .Expect("LAST")
      .Send(lastReply)
      .Expect("UIDL");
}

Pop3Script& Pop3Script::Quit() { return Expect("QUIT").Send("+OK Logging out.\r\n"); }

std::string UidlListing(const std::vector<std::string>& uids) {
  std::string text = "+OK\r\n";
  for (std::size_t i = 0; i < uids.size(); ++i) {
    text += std::to_string(i + 1) + " " + uids[i] + "\r\n";
  }
  return text + ".\r\n";
}

std::string TopReply(const std::vector<std::string>& headerLines) {
  std::string text = "+OK\r\n";
  for (const std::string& line : headerLines) text += line + "\r\n";
  return text + "\r\n.\r\n";
}

ScriptedPop3Server::ScriptedPop3Server(ScriptSource scripts) : scripts_(std::move(scripts)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptedPop3Server::~ScriptedPop3Server() { Stop(); }

void ScriptedPop3Server::Stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
  }
}

std::vector<ScriptedPop3Server::Session> ScriptedPop3Server::Sessions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

std::vector<std::string> ScriptedPop3Server::Problems() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return problems_;
}

void ScriptedPop3Server::AddProblem(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  problems_.push_back(std::move(text));
}

void ScriptedPop3Server::Run() {
  // TLS writes go through write(2): a client that went away must not kill the test.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  while (!stopping_) {
    pollfd ready{listenFd_, POLLIN, 0};
    if (::poll(&ready, 1, kPollSliceMs) <= 0) continue;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    int index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = static_cast<int>(sessions_.size());
      Session session;
      session.PeerPort = ntohs(peer.sin_port);
      sessions_.push_back(session);
    }
    Serve(fd, index);
  }
}

void ScriptedPop3Server::Serve(int fd, int index) {
  const Pop3Script script = scripts_(index);
  Connection connection;
  connection.Fd = fd;
  connection.Index = index;
  std::string pending;
  auto session = [this, index](auto change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(sessions_[static_cast<std::size_t>(index)]);
  };
  auto clientClosed = [&] { session([](Session& s) { s.ClientClosed = true; }); };

  for (const Pop3Script::Step& step : script.Steps()) {
    switch (step.What) {
      case Pop3Script::Step::Kind::Expect: {
        std::string line;
        if (!ReadLine(connection, pending, line)) {
          clientClosed();
          return;
        }
        session([&line](Session& s) { s.Received.push_back(line); });
        if (line != step.Text) {
          AddProblem("connection " + std::to_string(index) + ": expected \"" + step.Text +
                     "\", got \"" + line + "\"");
          return;
        }
        break;
      }
      case Pop3Script::Step::Kind::Send: {
        std::size_t start = 0;
        std::vector<std::size_t> cuts = step.Cuts;
        cuts.push_back(step.Text.size());
        for (std::size_t cut : cuts) {
          cut = std::min(cut, step.Text.size());
          if (cut <= start) continue;
          if (start > 0 && !Sleep(step.Pause)) break;
          if (!SendAll(connection, step.Text.data() + start, cut - start)) {
            clientClosed();
            return;
          }
          start = cut;
        }
        break;
      }
      case Pop3Script::Step::Kind::Stall:
        Sleep(step.Pause);
        break;
      case Pop3Script::Step::Kind::Hold: {
        std::string line;
        while (ReadLine(connection, pending, line)) {
          session([&line](Session& s) { s.Received.push_back(line); });
        }
        if (!stopping_) clientClosed();
        return;
      }
      case Pop3Script::Step::Kind::Drop:
        connection.Close();
        session([](Session& s) { ++s.StepsDone; });
        return;
      case Pop3Script::Step::Kind::Reset: {
        const linger abortive{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        connection.Close();
        session([](Session& s) { ++s.StepsDone; });
        return;
      }
      case Pop3Script::Step::Kind::StartTls:
        // Bytes the client sent ahead of the handshake would be lost to it; a client that
        // does so is at fault, and the line reader keeps them for the test to see.
        if (!pending.empty()) {
          AddProblem("connection " + std::to_string(index) + ": data before the handshake");
        }
        if (!Handshake(connection, step.Tls)) return;
        session([](Session& s) { s.Encrypted = true; });
        break;
    }
    session([](Session& s) { ++s.StepsDone; });
    if (stopping_) break;
  }
}

bool ScriptedPop3Server::Handshake(Connection& connection, const TlsServerSide& side) {
  connection.Context = SSL_CTX_new(TLS_server_method());
  if (connection.Context == nullptr) return false;
  if (side.OnlyTls10) {
    // Old protocols are off at the default security level.
    SSL_CTX_set_security_level(connection.Context, 0);
    SSL_CTX_set_min_proto_version(connection.Context, TLS1_VERSION);
    SSL_CTX_set_max_proto_version(connection.Context, TLS1_VERSION);
    SSL_CTX_set_cipher_list(connection.Context, "DEFAULT:@SECLEVEL=0");
  }
  if (SSL_CTX_use_certificate_chain_file(connection.Context, side.Certificate.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(connection.Context, side.Key.c_str(), SSL_FILETYPE_PEM) != 1) {
    AddProblem("connection " + std::to_string(connection.Index) + ": cannot load " +
               side.Certificate);
    return false;
  }
  connection.Tls = SSL_new(connection.Context);
  if (connection.Tls == nullptr) return false;
  SSL_set_fd(connection.Tls, connection.Fd);
  // A short receive time-out lets the blocking handshake and reads notice Stop.
  const timeval slice{0, kPollSliceMs * 1000};
  ::setsockopt(connection.Fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
  for (;;) {
    ERR_clear_error();
    const int result = SSL_accept(connection.Tls);
    if (result == 1) return true;
    const int error = SSL_get_error(connection.Tls, result);
    if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || stopping_) {
      return false;
    }
  }
}

bool ScriptedPop3Server::ReadLine(Connection& connection, std::string& pending, std::string& line) {
  for (;;) {
    const std::size_t end = pending.find("\r\n");
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 2);
      return true;
    }
    if (stopping_) return false;
    char buffer[4096];
    if (connection.Tls != nullptr) {
      ERR_clear_error();
      const int got = SSL_read(connection.Tls, buffer, sizeof buffer);
      if (got > 0) {
        pending.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      const int error = SSL_get_error(connection.Tls, got);
      if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) continue;
      return false;
    }
    pollfd ready{connection.Fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, kPollSliceMs);
    if (polled < 0 && errno != EINTR) return false;
    if (polled <= 0) continue;
    const ssize_t got = ::recv(connection.Fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_[static_cast<std::size_t>(connection.Index)].ReceivedInClear.append(
        buffer, static_cast<std::size_t>(got));
  }
}

bool ScriptedPop3Server::SendAll(Connection& connection, const char* data, std::size_t size) {
  while (size > 0) {
    if (connection.Tls != nullptr) {
      ERR_clear_error();
      const int sent = SSL_write(connection.Tls, data, static_cast<int>(size));
      if (sent <= 0) {
        const int error = SSL_get_error(connection.Tls, sent);
        if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) continue;
        return false;
      }
      data += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    const ssize_t sent = ::send(connection.Fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool ScriptedPop3Server::Sleep(Milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (!stopping_) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(until - now, Milliseconds(kPollSliceMs)));
  }
  return false;
}

}  // namespace postvane::test
