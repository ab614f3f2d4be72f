// The program's TCP client socket: a QTcpSocket, moved into a QSslSocket at StartTls.
#pragma once

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QSslError>
#include <cstdint>
#include <functional>
#include <string>

#include "ports/socket.h"

class QSslSocket;
class QSslCertificate;
class QTcpSocket;

namespace postvane {

// Error numbers: address in use 10048 and invalid state 40020 are what the check cycle tells
// apart. The rest follow the Windows socket numbers where one fits (refused 10061, timed out
// 10060, host not found 11001, ...; see ErrorNumber), otherwise 30000 + Qt's error code.
// Descriptions are Qt's own texts.
//
// The local port is bound with address reuse (on Unix): a port that only our own finished
// connections still hold is free again, as on Windows, while a port some other socket holds
// without sharing (a listener, a plain bind) is taken: 10048 at the connect request. A
// connection to the same server from a port whose previous connection there is still
// winding down fails in the kernel's connect instead; that also counts as 10048 (as an
// error event), so the cycle walks on to the next local port.
//
// Every event reaches the listener from the event loop, never from inside a call on this
// socket: a loopback connect may complete inside connectToHost, and the cycle must have
// finished its connect request before it hears of the connection. Such an event is queued
// and goes round the event loop once; every other one (data, a close, an error seen by the
// event loop) reaches the listener at once, unless queued events are still waiting, which it
// then follows in order. Events of a connection that was closed (or replaced) are dropped,
// so a closed connection never speaks again.
//
// TLS: TLS 1.2 or newer, verified against the system's authorities plus those in the files
// SSL_CERT_FILE and SSL_CERT_DIR name (see TrustedAuthorities). A mailbox without TLS never
// loads the TLS library. A failed handshake is reported once, as
// OnTlsHandshake, in place of the socket error that Qt raises with it.
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
  // Binds the local port first: a taken port gives 10048 here, synchronously. An address
  // given as digits is bound in its own family; a host name, still to be looked up, gets
  // a dual-stack socket. A socket that was not closed since its last Connect gives 40020.
  // Everything after the bind (lookup, refusal, ...) arrives as OnSocketError; a local port
  // that another socket already uses towards the same server arrives as 10048 too.
  SocketError Connect() override;
  SocketError SendData(const std::string& bytes) override;
  bool GetData(std::string& bytes) override;
  bool AppendData(std::string& buffer) override;
  SocketError StartTls(const TlsRequest& request) override;
  void Close() override;

  static int ErrorNumber(QAbstractSocket::SocketError error);

 private:
  // Marks a call on this socket: events raised inside it are queued.
  class CallScope {
   public:
    explicit CallScope(QtSocket& socket) : socket_(socket) { ++socket_.calls_; }
    ~CallScope() { --socket_.calls_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

   private:
    QtSocket& socket_;
  };

  // Connect failures that mean "this local port already has a connection to that server".
  bool LocalPortCollides(QAbstractSocket::SocketError error) const;
  // Direct when nothing is under way on this socket and nothing waits in the queue.
  bool MayDeliverNow() const { return calls_ == 0 && queued_ == 0; }
  void Deliver(std::function<void(SocketListener&)> event);
  void Post(std::function<void(SocketListener&)> event);
  void Watch(QTcpSocket* socket);
  // The connection as a QSslSocket, moved into one if it began plain; null if it cannot be.
  QSslSocket* TakeOverForTls();
  void OnSslErrors(QSslSocket* socket, const QList<QSslError>& errors);
  void OnEncrypted(QSslSocket* socket);
  void EndHandshake(TlsHandshake result);
  void PostEnd(std::function<void(SocketListener&)> event);

  // Receiver of the queued events and parent of the sockets; goes first, so it goes last.
  QObject context_;
  SocketListener* listener_ = nullptr;
  int32_t localPort_ = 0;
  std::string remoteHost_;
  int32_t remotePort_ = 0;
  // A QTcpSocket until StartTls, a QSslSocket from then on.
  QTcpSocket* socket_ = nullptr;
  // Between StartTls and the handshake's end.
  bool handshaking_ = false;
  TlsRequest tlsRequest_;
  // What verification found, kept until Qt ends the handshake with its error.
  TlsHandshake verification_;
  uint16_t boundPort_ = 0;
  bool established_ = false;
  // Counts connections; a queued event carries the count of the connection it came from.
  uint64_t generation_ = 0;
  // The current connection already reported its error or close.
  bool ended_ = false;
  // Calls on this socket under way (a listener may call in while an event is delivered).
  int calls_ = 0;
  // Events posted and not yet run.
  int queued_ = 0;
};

}  // namespace postvane
