// The scripted POP3 server: POSIX sockets on a thread of its own, one connection at a time.
#include "support/scripted_pop3_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <utility>

namespace postvane::test {
namespace {

constexpr int kPollSliceMs = 20;

}  // namespace

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
        if (!ReadLine(fd, pending, line)) {
          clientClosed();
          ::close(fd);
          return;
        }
        session([&line](Session& s) { s.Received.push_back(line); });
        if (line != step.Text) {
          AddProblem("connection " + std::to_string(index) + ": expected \"" + step.Text +
                     "\", got \"" + line + "\"");
          ::close(fd);
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
          if (!SendAll(fd, step.Text.data() + start, cut - start)) {
            clientClosed();
            ::close(fd);
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
        while (ReadLine(fd, pending, line)) {
          session([&line](Session& s) { s.Received.push_back(line); });
        }
        if (!stopping_) clientClosed();
        ::close(fd);
        return;
      }
      case Pop3Script::Step::Kind::Drop:
        ::close(fd);
        session([](Session& s) { ++s.StepsDone; });
        return;
      case Pop3Script::Step::Kind::Reset: {
        const linger abortive{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(fd);
        session([](Session& s) { ++s.StepsDone; });
        return;
      }
    }
    session([](Session& s) { ++s.StepsDone; });
    if (stopping_) break;
  }
  ::close(fd);
}

bool ScriptedPop3Server::ReadLine(int fd, std::string& pending, std::string& line) {
  for (;;) {
    const std::size_t end = pending.find("\r\n");
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 2);
      return true;
    }
    if (stopping_) return false;
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, kPollSliceMs);
    if (polled < 0 && errno != EINTR) return false;
    if (polled <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(got));
  }
}

bool ScriptedPop3Server::SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
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
