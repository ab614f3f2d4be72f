// Gives up on a server that accepted the connection and then stays silent, in the dialogue or
// in the TLS handshake.
#pragma once

#include <functional>
#include <string>

#include "ports/socket.h"
#include "ports/timer.h"

namespace postvane {

// How long a connected server may send nothing at all before its mailbox fails.
constexpr int kReplyTimeoutMs = 60000;
// Set to 100..60000, this environment variable shortens the reply time-out of both programs,
// so that tests of a silent server do not wait a minute.
inline constexpr const char* kReplyTimeoutVariable = "POSTVANE_REPLY_TIMEOUT_MS";
// The error number a silent server's mailbox fails with; the text says what happened.
constexpr int kSocketNoAnswer = 40060;

// Stands between the check cycle and its socket. From the connect event on, every arriving
// block restarts the timer; when it runs out, the cycle gets a socket error with the text
// `noAnswerText` gives, fails that mailbox and goes on with the next. A closed socket stops
// the timer, so the QUIT wait and the connect time-out stay the cycle's own.
// The reply time-out for the value of kReplyTimeoutVariable (null when unset): anything but a
// whole number from 100 to kReplyTimeoutMs means kReplyTimeoutMs.
int ReplyTimeoutMs(const char* setting);

class SilentServerGuard : public Socket, public SocketListener {
 public:
  // `replyTimer` ticks after the reply time-out (kReplyTimeoutMs in the programs).
  SilentServerGuard(Socket& inner, Timer& replyTimer, std::function<std::string()> noAnswerText);
  ~SilentServerGuard() override;
  SilentServerGuard(const SilentServerGuard&) = delete;
  SilentServerGuard& operator=(const SilentServerGuard&) = delete;

  void SetListener(SocketListener* listener) override { listener_ = listener; }
  void SetLocalPort(int32_t port) override { inner_.SetLocalPort(port); }
  int32_t LocalPort() const override { return inner_.LocalPort(); }
  void SetRemoteHost(const std::string& host) override { inner_.SetRemoteHost(host); }
  void SetRemotePort(int32_t port) override { inner_.SetRemotePort(port); }
  SocketError Connect() override;
  SocketError SendData(const std::string& bytes) override { return inner_.SendData(bytes); }
  bool GetData(std::string& bytes) override { return inner_.GetData(bytes); }
  // The handshake gets the whole time-out too: its bytes never show as arriving data.
  SocketError StartTls(const TlsRequest& request) override;
  void Close() override;

  void OnConnect() override;
  void OnDataArrival() override;
  void OnSocketError(int number, const std::string& description) override;
  void OnSocketClose() override;
  void OnTlsHandshake(const TlsHandshake& result) override;

 private:
  void OnSilence();

  Socket& inner_;
  Timer& replyTimer_;
  std::function<std::string()> noAnswerText_;
  SocketListener* listener_ = nullptr;
};

}  // namespace postvane
