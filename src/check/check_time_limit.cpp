// The overall limit of one mailbox check, counted in ticks of a fixed timer.
#include "check/check_time_limit.h"

#include <string_view>
#include <utility>

namespace postvane {

namespace {

// "TOP" commands at the start of a line; a pipelined write holds several.
int CountTopCommands(std::string_view bytes) {
  int count = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.substr(at).starts_with("TOP ")) ++count;
    const std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return count;
}

}  // namespace

CheckTimeLimit::CheckTimeLimit(Socket& inner, Timer& tickTimer,
                               std::function<std::string()> tooLongText)
    : inner_(inner), tickTimer_(tickTimer), tooLongText_(std::move(tooLongText)) {
  inner_.SetListener(this);
  tickTimer_.SetTickHandler([this] { OnTick(); });
}

CheckTimeLimit::~CheckTimeLimit() {
  tickTimer_.SetTickHandler({});
  inner_.SetListener(nullptr);
}

SocketError CheckTimeLimit::Connect() {
  tickTimer_.Stop();
  ticks_ = 0;
  limit_ = kCheckLimitBaseTicks;
  SocketError error = inner_.Connect();
  // A request refused at once starts no check.
  if (!error) tickTimer_.Start();
  return error;
}

SocketError CheckTimeLimit::SendData(const std::string& bytes) {
  limit_ += CountTopCommands(bytes);
  return inner_.SendData(bytes);
}

void CheckTimeLimit::Close() {
  tickTimer_.Stop();
  inner_.Close();
}

int CheckTimeLimit::TicksLeft() const { return tickTimer_.IsRunning() ? limit_ - ticks_ : 0; }

void CheckTimeLimit::OnConnect() {
  if (listener_ != nullptr) listener_->OnConnect();
}

void CheckTimeLimit::OnDataArrival() {
  if (listener_ != nullptr) listener_->OnDataArrival();
}

void CheckTimeLimit::OnSocketError(int number, const std::string& description) {
  tickTimer_.Stop();
  if (listener_ != nullptr) listener_->OnSocketError(number, description);
}

void CheckTimeLimit::OnSocketClose() {
  if (listener_ != nullptr) listener_->OnSocketClose();
}

void CheckTimeLimit::OnTlsHandshake(const TlsHandshake& result) {
  if (listener_ != nullptr) listener_->OnTlsHandshake(result);
}

void CheckTimeLimit::OnTick() {
  if (++ticks_ < limit_) return;
  tickTimer_.Stop();
  if (listener_ != nullptr) listener_->OnSocketError(kSocketCheckTooLong, tooLongText_());
}

}  // namespace postvane
