// Blocking POP3 client: POSIX sockets, reads bounded by a time-out.
#include "support/pop3_raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace postvane::test {

Pop3RawClient::~Pop3RawClient() { Close(); }

bool Pop3RawClient::Connect(uint16_t port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close();
    return false;
  }
  return true;
}

void Pop3RawClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pending_.clear();
}

bool Pop3RawClient::Fill() {
  if (fd_ < 0) return false;
  pollfd ready{fd_, POLLIN, 0};
  int polled = 0;
  do {
    polled = ::poll(&ready, 1, TimeoutMs);
  } while (polled < 0 && errno == EINTR);
  if (polled <= 0) return false;
  char buffer[16384];
  const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  pending_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

std::string Pop3RawClient::ReadLine() {
  for (;;) {
    const std::size_t end = pending_.find("\r\n");
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end + 2);
      pending_.erase(0, end + 2);
      return line;
    }
    if (!Fill()) return {};
  }
}

std::string Pop3RawClient::ReadMultiLine() {
  for (;;) {
    if (pending_.starts_with("-ERR")) return ReadLine();
    const std::size_t found = pending_.find("\r\n.\r\n");
    if (found != std::string::npos) {
      std::string reply = pending_.substr(0, found + 5);
      pending_.erase(0, found + 5);
      return reply;
    }
    if (!Fill()) return {};
  }
}

bool Pop3RawClient::SendLine(const std::string& line) {
  if (fd_ < 0) return false;
  const std::string bytes = line + "\r\n";
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

std::string Pop3RawClient::Command(const std::string& line) {
  if (!SendLine(line)) return {};
  return ReadLine();
}

}  // namespace postvane::test
