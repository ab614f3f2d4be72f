// The one TCP client socket the check cycle talks through.
#pragma once

#include <cstdint>
#include <string>

#include "ports/tls_handshake.h"

namespace postvane {

// Error numbers the cycle tells apart; every other error keeps the socket layer's text.
constexpr int kSocketAddressInUse = 10048;
constexpr int kSocketInvalidState = 40020;

struct SocketError {
  int Number = 0;  // 0: no error
  std::string Description;
  explicit operator bool() const { return Number != 0; }
};

// Events the socket delivers, one at a time on the program's thread.
class SocketListener {
 public:
  virtual ~SocketListener() = default;
  virtual void OnConnect() = 0;
  virtual void OnDataArrival() = 0;
  virtual void OnSocketError(int number, const std::string& description) = 0;
  // The peer closed the connection.
  virtual void OnSocketClose() = 0;
  // The handshake that StartTls began has ended, either way. After a failure the connection
  // is over: no other event of it follows.
  virtual void OnTlsHandshake(const TlsHandshake& result) = 0;
};

class Socket {
 public:
  virtual ~Socket() = default;
  virtual void SetListener(SocketListener* listener) = 0;
  virtual void SetLocalPort(int32_t port) = 0;
  virtual int32_t LocalPort() const = 0;
  virtual void SetRemoteHost(const std::string& host) = 0;
  virtual void SetRemotePort(int32_t port) = 0;
  // Errors the connect request raises at once; later ones arrive as OnSocketError.
  virtual SocketError Connect() = 0;
  virtual SocketError SendData(const std::string& bytes) = 0;
  // Everything that has arrived, bytes as they came. False when the read fails.
  virtual bool GetData(std::string& bytes) = 0;
  // The same bytes added to the end of `buffer`: a socket that can reads them straight into
  // it, so a long reply collected there is copied once. False when the read fails.
  virtual bool AppendData(std::string& buffer) {
    std::string bytes;
    if (!GetData(bytes)) return false;
    buffer += bytes;
    return true;
  }
  // Begins the TLS handshake on the open connection: TLS 1.2 or newer, the chain verified
  // against the system's authorities, the name checked against request.HostName. The result
  // arrives as OnTlsHandshake; until then nothing may be sent. Errors here are immediate
  // (no connection, unread bytes waiting).
  virtual SocketError StartTls(const TlsRequest& request) = 0;
  virtual void Close() = 0;
};

}  // namespace postvane
