// WSAAsyncSelect and WSAAsyncGetHostByName behind the core's Socket interface.
#include "win32/win32_socket.h"

#include <ws2tcpip.h>

#include <cstring>

#include "win32/address_lookup.h"
#include "win32/wide_text.h"

namespace postvane {
namespace {

constexpr char kInvalidStateText[] = "Invalid operation at current state";
constexpr char kClosedInHandshakeText[] = "The server closed the connection during the handshake";

}  // namespace

Win32Socket::Win32Socket()
    : window_([this](UINT message, WPARAM wParam, LPARAM lParam) {
        OnMessage(message, wParam, lParam);
      }) {
  WSADATA data{};
  winsockReady_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32Socket::~Win32Socket() {
  listener_ = nullptr;
  Close();
  if (winsockReady_) WSACleanup();
}

SocketError Win32Socket::Connect() {
  if (socket_ != INVALID_SOCKET || looking_) {
    return {kSocketInvalidState, kInvalidStateText};
  }
  ++generation_;
  ended_ = false;
  chosenPort_ = false;
  pending_.clear();
  tls_.reset();
  handshaking_ = false;
  plain_.clear();

  // An address in digits gets a socket of its own family. A name is looked up only after the
  // bind, whose failure must come back from here: a dual-stack socket then takes IPv4 and IPv6
  // addresses alike; IPv4 alone where the system has no IPv6.
  const auto port =
      static_cast<uint16_t>(remotePort_ >= 1 && remotePort_ <= 65535 ? remotePort_ : 0);
  const std::optional<SocketAddress> literal = LiteralAddress(remoteHost_, port);
  int family = literal ? literal->Family() : AF_INET6;
  socket_ = socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == INVALID_SOCKET && !literal) {
    family = AF_INET;
    socket_ = socket(family, SOCK_STREAM, IPPROTO_TCP);
  }
  if (socket_ == INVALID_SOCKET) {
    const int number = WSAGetLastError();
    return {number, SystemErrorText(static_cast<unsigned long>(number))};
  }
  const auto localPort =
      htons(localPort_ >= 0 && localPort_ <= 65535 ? static_cast<u_short>(localPort_) : 0);
  sockaddr_storage local{};
  int localLength = 0;
  if (family == AF_INET6) {
    if (!literal) {
      const DWORD both = 0;
      setsockopt(socket_, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&both),
                 sizeof(both));
    }
    auto* any = reinterpret_cast<sockaddr_in6*>(&local);
    any->sin6_family = AF_INET6;
    any->sin6_addr = in6addr_any;
    any->sin6_port = localPort;
    localLength = sizeof(sockaddr_in6);
  } else {
    auto* any = reinterpret_cast<sockaddr_in*>(&local);
    any->sin_family = AF_INET;
    any->sin_addr.s_addr = htonl(INADDR_ANY);
    any->sin_port = localPort;
    localLength = sizeof(sockaddr_in);
  }
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), localLength) == SOCKET_ERROR) {
    // The socket stays "not closed" until Close, so the cycle can close it and try the next port.
    const int number = WSAGetLastError();
    ended_ = true;
    return {number, SystemErrorText(static_cast<unsigned long>(number))};
  }
  chosenPort_ = localPort != 0;
  // From here on the socket is non-blocking and speaks only through the message loop.
  WSAAsyncSelect(socket_, window_.Handle(), SocketMessage(),
                 FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
  if (port == 0) {
    PostFailure(WSAEADDRNOTAVAIL);
    return {};
  }
  if (literal) {
    StartConnect(*literal);
    return {};
  }
  looking_ = StartAddressLookup(remoteHost_, port, window_.Handle(), kLookupMessage, generation_);
  if (!looking_) PostFailure(WSAENOBUFS);
  return {};
}

void Win32Socket::StartConnect(const SocketAddress& address) {
  if (connect(socket_, address.Get(), address.Length) == SOCKET_ERROR) {
    const int number = WSAGetLastError();
    if (number != WSAEWOULDBLOCK) PostFailure(ConnectErrorNumber(number));
  }
}

int Win32Socket::ConnectErrorNumber(int number) const {
  // "Address not available" from connect after a good bind of our port, towards a valid remote
  // port (checked before connecting): another socket on this port already talks to the same
  // server, ours closed a moment ago or another program's. The next port is the way out.
  return number == WSAEADDRNOTAVAIL && chosenPort_ ? kSocketAddressInUse : number;
}

void Win32Socket::PostFailure(int number) {
  PostMessageW(window_.Handle(), kFailMessage, generation_, static_cast<LPARAM>(number));
}

void Win32Socket::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= kFirstSocketMessage) {
    if (message == SocketMessage()) OnSocketEvent(wParam, lParam);
    return;
  }
  switch (message) {
    case kLookupMessage:
      OnLookupDone(wParam, lParam);
      break;
    case kTlsMessage:
      if (wParam == generation_ && socket_ != INVALID_SOCKET && listener_ != nullptr) {
        listener_->OnTlsHandshake(failedStart_);
      }
      break;
    case kFailMessage:
      if (wParam == generation_ && socket_ != INVALID_SOCKET)
        EndWithError(static_cast<int>(lParam));
      break;
    default:
      break;
  }
}

void Win32Socket::OnLookupDone(WPARAM wParam, LPARAM lParam) {
  const std::unique_ptr<LookupResult> result = TakeLookupResult(lParam);
  // Results of a connection that was closed or replaced meanwhile are dropped.
  if (!looking_ || wParam != generation_ || socket_ == INVALID_SOCKET) return;
  looking_ = false;
  if (result->Error != 0) {
    EndWithError(result->Error);
    return;
  }
  sockaddr_storage local{};
  int length = sizeof(local);
  getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length);
  for (const SocketAddress& address : result->Addresses) {
    // The first address the socket can reach: any on a dual-stack one, IPv4 on the other.
    if (local.ss_family == AF_INET6) {
      StartConnect(AsIpv6(address));
      return;
    }
    if (address.Family() == AF_INET) {
      StartConnect(address);
      return;
    }
  }
  EndWithError(WSAHOST_NOT_FOUND);
}

void Win32Socket::OnSocketEvent(WPARAM wParam, LPARAM lParam) {
  // Messages still queued for a socket that was closed name a handle that is no longer ours.
  if (socket_ == INVALID_SOCKET || static_cast<SOCKET>(wParam) != socket_ || ended_) return;
  const int number = WSAGETSELECTERROR(lParam);
  switch (WSAGETSELECTEVENT(lParam)) {
    case FD_CONNECT:
      if (number != 0) {
        EndWithError(ConnectErrorNumber(number));
      } else {
        const BOOL noDelay = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof(noDelay));
        if (listener_ != nullptr) listener_->OnConnect();
      }
      break;
    case FD_READ:
      if (tls_) {
        OnTlsBytes();
      } else if (listener_ != nullptr) {
        listener_->OnDataArrival();
      }
      break;
    case FD_WRITE:
      SendPending();
      break;
    case FD_CLOSE:
      // What came before the close is read and reported first.
      if (tls_ && !OnTlsBytes()) break;
      if (tls_ && handshaking_) {
        TlsHandshake result;
        result.Failure = TlsFailure::Handshake;
        result.Detail = kClosedInHandshakeText;
        FinishHandshake(std::move(result));
        break;
      }
      if (number != 0 && number != WSAECONNRESET && number != WSAECONNABORTED) {
        EndWithError(number);
      } else {
        ended_ = true;
        if (listener_ != nullptr) listener_->OnSocketClose();
      }
      break;
    default:
      break;
  }
}

void Win32Socket::EndWithError(int number) {
  if (ended_) return;
  ended_ = true;
  if (listener_ != nullptr) {
    listener_->OnSocketError(number, SystemErrorText(static_cast<unsigned long>(number)));
  }
}

SocketError Win32Socket::SendData(const std::string& bytes) {
  if (socket_ == INVALID_SOCKET || ended_ || handshaking_) {
    return {kSocketInvalidState, kInvalidStateText};
  }
  if (tls_ && !tls_->Encrypt(bytes, pending_)) return {kSocketInvalidState, tls_->FailureText()};
  if (!tls_) pending_ += bytes;
  SendPending();
  return {};
}

void Win32Socket::SendPending() {
  while (!pending_.empty() && socket_ != INVALID_SOCKET) {
    const int sent = send(socket_, pending_.data(), static_cast<int>(pending_.size()), 0);
    if (sent == SOCKET_ERROR) {
      // The rest goes out at the next FD_WRITE; other failures show up as FD_CLOSE.
      if (WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAENOTCONN) return;
      pending_.clear();
      return;
    }
    pending_.erase(0, static_cast<std::size_t>(sent));
  }
}

bool Win32Socket::GetData(std::string& bytes) {
  bytes.clear();
  if (socket_ == INVALID_SOCKET) return false;
  if (tls_) {
    bytes.swap(plain_);
    return true;
  }
  char buffer[8192];
  for (;;) {
    const int received = recv(socket_, buffer, sizeof(buffer), 0);
    if (received > 0) {
      bytes.append(buffer, static_cast<std::size_t>(received));
      continue;
    }
    if (received == 0) return true;
    return WSAGetLastError() == WSAEWOULDBLOCK || !bytes.empty();
  }
}

SocketError Win32Socket::StartTls(const TlsRequest& request) {
  if (socket_ == INVALID_SOCKET || ended_ || tls_) return {kSocketInvalidState, kInvalidStateText};
  // Bytes that are already waiting go into the handshake as the server's first message: text
  // in clear cannot pass for one, so a server that speaks before TLS fails the handshake. (The
  // engine itself refuses what came with the reply to STLS.)
  tls_ = std::make_unique<SchannelTls>();
  tlsRequest_ = request;
  std::string hello;
  if (tls_->Start(request.HostName, hello) == SchannelTls::Step::Failed) {
    // Nothing of this connection reaches the listener after the failed handshake.
    ended_ = true;
    pending_.clear();
    failedStart_ = {};
    failedStart_.Failure = TlsFailure::Handshake;
    failedStart_.Detail = tls_->FailureText();
    PostMessageW(window_.Handle(), kTlsMessage, generation_, 0);
    return {};
  }
  handshaking_ = true;
  pending_ += hello;
  SendPending();
  return {};
}

std::string Win32Socket::ReadAvailable() {
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const int received = recv(socket_, buffer, sizeof(buffer), 0);
    if (received <= 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(received));
  }
}

bool Win32Socket::OnTlsBytes() {
  const WPARAM generation = generation_;
  std::string received = ReadAvailable();
  if (handshaking_) {
    std::string answer;
    const SchannelTls::Step step = tls_->Handshake(received, answer);
    if (!answer.empty()) {
      pending_ += answer;
      SendPending();
    }
    if (step == SchannelTls::Step::Continue) return true;
    if (step == SchannelTls::Step::Failed) {
      TlsHandshake result;
      result.Failure = TlsFailure::Handshake;
      result.Detail = tls_->FailureText();
      FinishHandshake(std::move(result));
      return false;
    }
    FinishHandshake(tls_->Verify(tlsRequest_));
    // The listener may have closed or replaced the connection meanwhile.
    if (ended_ || generation != generation_) return false;
    // The handshake kept what came after it; that is decrypted now.
    received.clear();
  }
  bool closed = false;
  if (!tls_->Decrypt(received, plain_, closed)) {
    EndWithError(WSAECONNABORTED);
    return false;
  }
  if (!plain_.empty() && listener_ != nullptr) listener_->OnDataArrival();
  if (ended_ || generation != generation_) return false;
  if (closed) {
    ended_ = true;
    if (listener_ != nullptr) listener_->OnSocketClose();
    return false;
  }
  return true;
}

void Win32Socket::FinishHandshake(TlsHandshake result) {
  handshaking_ = false;
  // After a failure the connection is over: no other event of it follows.
  if (!result.Succeeded()) {
    ended_ = true;
    pending_.clear();
  }
  if (listener_ != nullptr) listener_->OnTlsHandshake(result);
}

void Win32Socket::Close() {
  ++generation_;
  ended_ = true;
  pending_.clear();
  tls_.reset();
  handshaking_ = false;
  plain_.clear();
  // A lookup still running posts its result for a connection that no longer exists.
  looking_ = false;
  if (socket_ == INVALID_SOCKET) return;
  WSAAsyncSelect(socket_, window_.Handle(), 0, 0);
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

}  // namespace postvane
