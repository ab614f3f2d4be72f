// The program's TCP client socket on QTcpSocket.
#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "check/socket.h"

class QTcpSocket;

namespace postvane {

// Error numbers: address in use 10048 and invalid state 40020 are what the check cycle tells
// apart. The rest follow the Windows socket numbers where one fits (refused 10061, timed out
// 10060, host not found 11001, ...; see ErrorNumber), otherwise 30000 + Qt's error code.
// Descriptions are Qt's own texts.
//
// Every event reaches the listener from the event loop, never from inside a call on this
// socket: a loopback connect may complete inside connectToHost, and the cycle must have
// finished its connect request before it hears of the connection. Events of a connection
// that was closed (or replaced) are dropped, so a closed connection never speaks again.
class QtSocket : public Socket {
 public:
  QtSocket();
  ~QtSocket() override;
  QtSocket(const QtSocket&) = delete;
  QtSocket& operator=(const QtSocket&) = delete;

  void SetListener(SocketListener* listener) override;
  // Outside 0..65535 the system chooses the port, like 0.
  void SetLocalPort(int32_t port) override;
  int32_t LocalPort() const override;
  void SetRemoteHost(const std::string& host) override;
  void SetRemotePort(int32_t port) override;
  // Binds the local port first: a taken port gives 10048 here, synchronously. A socket that
  // was not closed since its last Connect gives 40020. Everything after the bind (lookup,
  // refusal, ...) arrives as OnSocketError.
  SocketError Connect() override;
  SocketError SendData(const std::string& bytes) override;
  bool GetData(std::string& bytes) override;
  void Close() override;

  static int ErrorNumber(QAbstractSocket::SocketError error);

 private:
  void Post(std::function<void(SocketListener&)> event);
  void Watch(QTcpSocket* socket);
  void PostEnd(std::function<void(SocketListener&)> event);

  // Receiver of the queued events and parent of the sockets; goes first, so it goes last.
  QObject context_;
  SocketListener* listener_ = nullptr;
  int32_t localPort_ = 0;
  std::string remoteHost_;
  int32_t remotePort_ = 0;
  QTcpSocket* socket_ = nullptr;
  // Counts connections; a queued event carries the count of the connection it came from.
  uint64_t generation_ = 0;
  // The current connection already reported its error or close.
  bool ended_ = false;
};

}  // namespace postvane
