// Raw 127.0.0.1 sockets that set up awkward conditions for a client: a port nobody listens
// on, a listener that never completes a connection, a local port that is taken or already
// connected to the server.
#pragma once

#include <cstdint>
#include <vector>

namespace postvane::test {

// Bound but not listening: connections to it are refused for as long as it lives, and no
// one else can take the port meanwhile.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A listener whose accept queue is full and that never accepts: the kernel drops further
// connection requests, so a client's connect neither completes nor fails.
class FullBacklogListener {
 public:
  FullBacklogListener();
  ~FullBacklogListener();
  FullBacklogListener(const FullBacklogListener&) = delete;
  FullBacklogListener& operator=(const FullBacklogListener&) = delete;
  uint16_t Port() const { return port_; }
  // True once a probe connection stayed pending: the queue is known to be full.
  bool Full() const { return full_; }

 private:
  int listenFd_ = -1;
  std::vector<int> fillers_;
  uint16_t port_ = 0;
  bool full_ = false;
};

// Listens on 0.0.0.0:port so that no client can bind that local port. Taken() is false when
// something else already holds the port.
class PortOccupier {
 public:
  explicit PortOccupier(uint16_t port);
  ~PortOccupier();
  PortOccupier(const PortOccupier&) = delete;
  PortOccupier& operator=(const PortOccupier&) = delete;
  bool Taken() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// A connection from local port `localPort` (bound with address reuse, as a second check
// program would) to 127.0.0.1:serverPort, held open while it lives. Held() is false when the
// port could not be bound or the connection failed.
class PortHolder {
 public:
  PortHolder(uint16_t localPort, uint16_t serverPort);
  ~PortHolder();
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace postvane::test
