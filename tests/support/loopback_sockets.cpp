// Raw loopback sockets for the awkward cases of the socket tests.
#include "support/loopback_sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace postvane::test {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

uint16_t BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

// How long a probe connection may take before the queue counts as full; a loopback
// connection that is taken completes in well under a millisecond.
constexpr int kProbeMs = 300;
constexpr int kMaxFillers = 8;

}  // namespace

RefusingPort::RefusingPort() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  sockaddr_in address = Loopback(0);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    port_ = BoundPort(fd_);
  }
}

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) ::close(fd_);
}

FullBacklogListener::FullBacklogListener() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return;
  sockaddr_in address = Loopback(0);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 0) != 0) {
    return;
  }
  port_ = BoundPort(listenFd_);
  address = Loopback(port_);
  // Connect until one stays pending; the pending ones stay too, retrying their SYN.
  for (int i = 0; i < kMaxFillers && !full_; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    fillers_.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
    if (errno != EINPROGRESS) return;
    pollfd done{fd, POLLOUT, 0};
    if (::poll(&done, 1, kProbeMs) == 0) full_ = true;
  }
}

FullBacklogListener::~FullBacklogListener() {
  for (int fd : fillers_) ::close(fd);
  if (listenFd_ >= 0) ::close(listenFd_);
}

PortOccupier::PortOccupier(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  // Our own connections that ended lately (TIME_WAIT) must not keep us from the port.
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, 1) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

PortOccupier::~PortOccupier() {
  if (fd_ >= 0) ::close(fd_);
}

PortHolder::PortHolder(uint16_t localPort, uint16_t serverPort) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(localPort);
  const sockaddr_in remote = Loopback(serverPort);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

PortHolder::~PortHolder() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace postvane::test
