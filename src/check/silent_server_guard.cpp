// The reply time-out: a timer restarted by every block the server sends.
#include "check/silent_server_guard.h"

#include <charconv>
#include <cstring>
#include <utility>

namespace postvane {

int ReplyTimeoutMs(const char* setting) {
  if (setting == nullptr) return kReplyTimeoutMs;
  const char* end = setting + std::strlen(setting);
  int value = 0;
  const auto [stop, error] = std::from_chars(setting, end, value);
  const bool whole = error == std::errc() && stop == end;
  return whole && value >= 100 && value <= kReplyTimeoutMs ? value : kReplyTimeoutMs;
}

SilentServerGuard::SilentServerGuard(Socket& inner, Timer& replyTimer,
                                     std::function<std::string()> noAnswerText)
    : inner_(inner), replyTimer_(replyTimer), noAnswerText_(std::move(noAnswerText)) {
  inner_.SetListener(this);
  replyTimer_.SetTickHandler([this] { OnSilence(); });
}

SilentServerGuard::~SilentServerGuard() {
  replyTimer_.SetTickHandler({});
  inner_.SetListener(nullptr);
}

SocketError SilentServerGuard::Connect() {
  replyTimer_.Stop();
  return inner_.Connect();
}

SocketError SilentServerGuard::StartTls(const TlsRequest& request) {
  replyTimer_.Stop();
  replyTimer_.Start();
  return inner_.StartTls(request);
}

void SilentServerGuard::Close() {
  replyTimer_.Stop();
  inner_.Close();
}

void SilentServerGuard::OnConnect() {
  replyTimer_.Stop();
  replyTimer_.Start();
  if (listener_ != nullptr) listener_->OnConnect();
}

void SilentServerGuard::OnDataArrival() {
  replyTimer_.Stop();
  replyTimer_.Start();
  if (listener_ != nullptr) listener_->OnDataArrival();
}

void SilentServerGuard::OnSocketError(int number, const std::string& description) {
  replyTimer_.Stop();
  if (listener_ != nullptr) listener_->OnSocketError(number, description);
}

void SilentServerGuard::OnSocketClose() {
  replyTimer_.Stop();
  if (listener_ != nullptr) listener_->OnSocketClose();
}

void SilentServerGuard::OnTlsHandshake(const TlsHandshake& result) {
  replyTimer_.Stop();
  replyTimer_.Start();
  if (listener_ != nullptr) listener_->OnTlsHandshake(result);
}

void SilentServerGuard::OnSilence() {
  replyTimer_.Stop();
  if (listener_ != nullptr) listener_->OnSocketError(kSocketNoAnswer, noAnswerText_());
}

}  // namespace postvane
