// Bounds the whole check of one mailbox, however the server spaces its bytes: a trickle that
// never trips the silence time-out still cannot hold the cycle.
#pragma once

#include <functional>
#include <string>

#include "ports/socket.h"
#include "ports/timer.h"

namespace postvane {

// The limit ticks in steps of this; the programs give the timer this interval.
constexpr int kCheckLimitTickMs = 10000;
// Five minutes for every check, and one step more for each message whose headers are asked for.
constexpr int kCheckLimitBaseTicks = 30;
// The error number a check past its limit fails with; the text says what happened.
constexpr int kSocketCheckTooLong = 40061;

// Stands between the check cycle and its socket. Each connect request starts the count; every
// "TOP" command sent raises the limit by one tick. When the count reaches the limit, the cycle
// gets a socket error with the text `tooLongText` gives, fails that mailbox and goes on with
// the next. Closing the socket stops the count.
class CheckTimeLimit : public Socket, public SocketListener {
 public:
  // `tickTimer` ticks every kCheckLimitTickMs in the programs.
  CheckTimeLimit(Socket& inner, Timer& tickTimer, std::function<std::string()> tooLongText);
  ~CheckTimeLimit() override;
  CheckTimeLimit(const CheckTimeLimit&) = delete;
  CheckTimeLimit& operator=(const CheckTimeLimit&) = delete;

  void SetListener(SocketListener* listener) override { listener_ = listener; }
  void SetLocalPort(int32_t port) override { inner_.SetLocalPort(port); }
  int32_t LocalPort() const override { return inner_.LocalPort(); }
  void SetRemoteHost(const std::string& host) override { inner_.SetRemoteHost(host); }
  void SetRemotePort(int32_t port) override { inner_.SetRemotePort(port); }
  SocketError Connect() override;
  SocketError SendData(const std::string& bytes) override;
  bool GetData(std::string& bytes) override { return inner_.GetData(bytes); }
  bool AppendData(std::string& buffer) override { return inner_.AppendData(buffer); }
  SocketError StartTls(const TlsRequest& request) override { return inner_.StartTls(request); }
  void Close() override;

  void OnConnect() override;
  void OnDataArrival() override;
  void OnSocketError(int number, const std::string& description) override;
  void OnSocketClose() override;
  void OnTlsHandshake(const TlsHandshake& result) override;

  // Ticks the running check may still take before it fails; 0 when none is running.
  int TicksLeft() const;

 private:
  void OnTick();

  Socket& inner_;
  Timer& tickTimer_;
  std::function<std::string()> tooLongText_;
  SocketListener* listener_ = nullptr;
  int ticks_ = 0;
  int limit_ = 0;
};

}  // namespace postvane
