// The secure part of a connection, driven by arriving data and the handshake's result.
#include "check/secure_start.h"

#include <algorithm>

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool Accepted(std::string_view reply) { return reply.starts_with("+OK"); }

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return out;
}

SecureStart::Action Fail(SecureFailure failure) {
  SecureStart::Action action;
  action.What = SecureStart::Action::Kind::Fail;
  action.Failure = failure;
  return action;
}

SecureStart::Action Send(std::string line) {
  SecureStart::Action action;
  action.What = SecureStart::Action::Kind::Send;
  action.Line = std::move(line);
  return action;
}

SecureStart::Action Do(SecureStart::Action::Kind kind) {
  SecureStart::Action action;
  action.What = kind;
  return action;
}

}  // namespace

SecureFailure FailureOf(TlsFailure failure) {
  switch (failure) {
    case TlsFailure::None:
      return SecureFailure::None;
    case TlsFailure::Untrusted:
      return SecureFailure::Untrusted;
    case TlsFailure::NameMismatch:
      return SecureFailure::NameMismatch;
    case TlsFailure::Expired:
      return SecureFailure::Expired;
    case TlsFailure::Injection:
      return SecureFailure::Injection;
    case TlsFailure::Handshake:
      break;
  }
  return SecureFailure::Handshake;
}

std::vector<std::string> ParseCapabilities(std::string_view reply) {
  std::vector<std::string> keywords;
  std::size_t end = reply.find(kLineEnd);
  if (!Accepted(reply) || end == std::string_view::npos) return keywords;
  std::size_t start = end + kLineEnd.size();
  while ((end = reply.find(kLineEnd, start)) != std::string_view::npos) {
    const std::string_view line = reply.substr(start, end - start);
    start = end + kLineEnd.size();
    if (line == ".") break;
    const std::string_view keyword = line.substr(0, line.find(' '));
    if (!keyword.empty()) keywords.push_back(Upper(keyword));
  }
  return keywords;
}

std::vector<std::string> ParseSaslMechanisms(std::string_view reply) {
  std::vector<std::string> names;
  for (const std::string& keyword : ParseCapabilities(reply)) {
    if (keyword != "SASL") continue;
    // The line itself, found again: ParseCapabilities keeps only its first word.
    const std::size_t at = Upper(reply).find("\r\nSASL ");
    if (at == std::string::npos) break;
    const std::size_t start = at + 7;
    const std::string_view line = reply.substr(start, reply.find(kLineEnd, start) - start);
    std::size_t from = 0;
    while (from < line.size()) {
      std::size_t to = line.find(' ', from);
      if (to == std::string_view::npos) to = line.size();
      if (to > from) names.push_back(Upper(line.substr(from, to - from)));
      from = to + 1;
    }
    break;
  }
  return names;
}

void SecureStart::Begin(SecurityMode mode) {
  reader_.Expect(ReplyEnd::Block);
  capabilities_.clear();
  saslMechanisms_.clear();
  switch (mode) {
    case SecurityMode::Tls:
      step_ = Step::Handshake;
      break;
    case SecurityMode::StartTls:
      step_ = Step::Greeting;
      break;
    case SecurityMode::None:
      step_ = Step::Plain;
      break;
  }
}

SecureStart::Action SecureStart::SendExpecting(std::string line, ReplyEnd end) {
  reader_.Expect(end, {.Bytes = kCapaReplyLimit});
  return Send(std::move(line));
}

SecureStart::Action SecureStart::OnData(std::string_view block) {
  switch (step_) {
    case Step::Greeting:
      return OnGreeting(block);
    case Step::Capa:
      return OnCapaBlock(block, false);
    case Step::Stls:
      return OnStlsReply(block);
    case Step::Recapa:
      return OnCapaBlock(block, true);
    case Step::Handshake:
    case Step::Upgrade:
      // The socket delivers nothing unencrypted once the handshake began.
      return Fail(SecureFailure::Injection);
    case Step::Plain:
      break;
  }
  return {};
}

SecureStart::Action SecureStart::OnGreeting(std::string_view block) {
  // As for a plain connection, the first block decides.
  reader_.Add(block);
  const std::optional<Reply> greeting = reader_.Take();
  if (!greeting || !greeting->Accepted) {
    step_ = Step::Plain;
    return Fail(SecureFailure::GreetingRefused);
  }
  step_ = Step::Capa;
  return SendExpecting("CAPA", ReplyEnd::Status);
}

SecureStart::Action SecureStart::OnCapaBlock(std::string_view block, bool secure) {
  reader_.Add(block);
  const std::optional<Reply> reply = reader_.Take();
  if (reader_.Overflowed()) {
    step_ = Step::Plain;
    if (!secure) return Fail(SecureFailure::StlsNotOffered);
    // Over TLS a useless reply costs nothing but the hints it would have given.
    reader_.Expect(ReplyEnd::Block);
    return Do(Action::Kind::Login);
  }
  if (!reply) return {};
  std::vector<std::string> keywords = ParseCapabilities(reply->Text);
  if (secure) saslMechanisms_ = ParseSaslMechanisms(reply->Text);
  reader_.Expect(ReplyEnd::Block);
  if (secure) {
    step_ = Step::Plain;
    capabilities_ = std::move(keywords);
    return Do(Action::Kind::Login);
  }
  // What the server said before TLS may have been rewritten on the way: only STLS counts.
  if (std::find(keywords.begin(), keywords.end(), "STLS") == keywords.end()) {
    step_ = Step::Plain;
    return Fail(SecureFailure::StlsNotOffered);
  }
  step_ = Step::Stls;
  return SendExpecting("STLS", ReplyEnd::Line);
}

SecureStart::Action SecureStart::OnStlsReply(std::string_view block) {
  reader_.Add(block);
  const std::optional<Reply> reply = reader_.Take();
  if (reader_.Overflowed()) {
    step_ = Step::Plain;
    return Fail(SecureFailure::StlsRefused);
  }
  if (!reply) return {};
  const bool accepted = reply->Accepted;
  const bool trailing = reader_.Held() > 0;
  reader_.Expect(ReplyEnd::Block);
  if (!accepted) {
    step_ = Step::Plain;
    return Fail(SecureFailure::StlsRefused);
  }
  if (trailing) {
    step_ = Step::Plain;
    return Fail(SecureFailure::Injection);
  }
  step_ = Step::Upgrade;
  return Do(Action::Kind::StartTls);
}

SecureStart::Action SecureStart::AskCapabilities() {
  step_ = Step::Recapa;
  capabilities_.clear();
  saslMechanisms_.clear();
  return SendExpecting("CAPA", ReplyEnd::Status);
}

SecureStart::Action SecureStart::OnHandshake(const TlsHandshake& result) {
  if (!Handshaking()) return {};
  const bool upgrade = step_ == Step::Upgrade;
  if (!result.Succeeded()) {
    step_ = Step::Plain;
    return Fail(FailureOf(result.Failure));
  }
  if (!upgrade) {
    step_ = Step::Plain;
    return Do(Action::Kind::Greeted);
  }
  step_ = Step::Recapa;
  return SendExpecting("CAPA", ReplyEnd::Status);
}

}  // namespace postvane
