// The program's TCP client socket on Winsock 2, its events delivered through the message loop.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ports/socket.h"
#include "win32/address_lookup.h"
#include "win32/hidden_window.h"
#include "win32/schannel_tls.h"

namespace postvane {

// Error numbers are Winsock's own (10048 address in use, 10061 refused, 11001 host not found,
// ...) with the system's texts; 40020 for a request the socket's state does not allow.
// The local port is bound plainly, without address reuse: a port that any socket still holds,
// our own closed connections included, is taken (10048 at the connect request), and the cycle
// walks on to the next one. A bound port whose pair with the server is already in use (10049 from
// connect) is reported as 10048 too. Names are looked up on a thread of their own (IPv4 and IPv6,
// through a dual-stack socket).
// Every event reaches the listener from the message loop, never inside a call on this socket;
// events of a connection that was closed or replaced are dropped.
class Win32Socket : public Socket {
 public:
  Win32Socket();
  ~Win32Socket() override;
  Win32Socket(const Win32Socket&) = delete;
  Win32Socket& operator=(const Win32Socket&) = delete;

  void SetListener(SocketListener* listener) override { listener_ = listener; }
  // Outside 0..65535 the system chooses the port, like 0.
  void SetLocalPort(int32_t port) override { localPort_ = port; }
  int32_t LocalPort() const override { return localPort_; }
  void SetRemoteHost(const std::string& host) override { remoteHost_ = host; }
  void SetRemotePort(int32_t port) override { remotePort_ = port; }
  SocketError Connect() override;
  SocketError SendData(const std::string& bytes) override;
  bool GetData(std::string& bytes) override;
  // Schannel (schannel_tls.h): until the handshake's outcome has been reported nothing is
  // sent but the handshake itself; a failed handshake ends the connection.
  SocketError StartTls(const TlsRequest& request) override;
  void Close() override;

 private:
  static constexpr UINT kLookupMessage = WM_APP + 1;
  static constexpr UINT kFailMessage = WM_APP + 2;
  static constexpr UINT kTlsMessage = WM_APP + 3;
  // Each connection's events come under a message number of their own: a new socket often
  // gets the handle of the one just closed, whose events may still wait in the queue.
  static constexpr UINT kFirstSocketMessage = WM_APP + 16;
  static constexpr UINT kSocketMessages = 0x1000;

  UINT SocketMessage() const {
    return kFirstSocketMessage + static_cast<UINT>(generation_ % kSocketMessages);
  }

  void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnSocketEvent(WPARAM wParam, LPARAM lParam);
  void OnLookupDone(WPARAM wParam, LPARAM lParam);
  void StartConnect(const SocketAddress& address);
  // A connect failure as the listener gets it.
  int ConnectErrorNumber(int number) const;
  // Reports an error from the message loop, once per connection.
  void PostFailure(int number);
  void EndWithError(int number);
  void SendPending();
  // Everything the connection has for us now, read at once.
  std::string ReadAvailable();
  // FD_READ and FD_CLOSE once TLS has begun; false when the connection ended.
  bool OnTlsBytes();
  void FinishHandshake(TlsHandshake result);

  bool winsockReady_ = false;
  SocketListener* listener_ = nullptr;
  int32_t localPort_ = 0;
  std::string remoteHost_;
  int32_t remotePort_ = 0;
  SOCKET socket_ = INVALID_SOCKET;
  // A name lookup for this connection is running.
  bool looking_ = false;
  std::string pending_;
  std::unique_ptr<SchannelTls> tls_;
  bool handshaking_ = false;
  TlsRequest tlsRequest_;
  // A handshake that could not begin, reported from the message loop.
  TlsHandshake failedStart_;
  // Decrypted bytes not yet taken by GetData.
  std::string plain_;
  // Counts connections; a posted failure carries the count of the connection it belongs to.
  WPARAM generation_ = 0;
  bool ended_ = false;
  // The connection's socket is bound to a port of our choosing, not one the system picked.
  bool chosenPort_ = false;
  HiddenWindow window_;
};

}  // namespace postvane
