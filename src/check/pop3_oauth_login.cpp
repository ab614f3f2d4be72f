// AUTH with a bearer token, one reply line at a time.
#include "check/pop3_oauth_login.h"

#include "text/own_text.h"

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

std::string ServerRefusedSignInText(int16_t languageBase, std::string_view reason) {
  std::string text = OwnString(languageBase, OwnText::ServerRefusedSignIn);
  const std::size_t at = text.find('#');
  if (at != std::string::npos) text.replace(at, 1, reason);
  return text;
}

Pop3OAuthLogin::Pop3OAuthLogin(SaslMechanism mechanism, std::string_view user,
                               std::string_view accessToken, std::string_view host, int port)
    : mechanism_(mechanism), response_(InitialResponse(mechanism, user, accessToken, host, port)) {}

Pop3OAuthLogin::Action Pop3OAuthLogin::Start() {
  const std::string command = "AUTH " + std::string(MechanismName(mechanism_));
  if (command.size() + 1 + response_.size() <= kPop3AuthLineLimit) {
    responseSent_ = true;
    return {Action::Kind::Send, command + " " + response_, command + " xxxxx", {}};
  }
  return {Action::Kind::Send, command, command, {}};
}

Pop3OAuthLogin::Action Pop3OAuthLogin::OnData(std::string_view bytes) {
  buffer_.append(bytes);
  const std::size_t end = buffer_.find(kLineEnd);
  if (end == std::string::npos) {
    if (buffer_.size() > kPop3AuthReplyLimit) {
      return {
          Action::Kind::Refused, {}, {}, ServerReason(std::string_view(buffer_).substr(0, 512))};
    }
    return {};
  }
  // One reply at a time: the server says nothing more until it has our next line.
  const std::string line = buffer_.substr(0, end);
  buffer_.clear();
  return OnLine(line);
}

Pop3OAuthLogin::Action Pop3OAuthLogin::OnLine(std::string_view line) {
  if (line.starts_with("+OK")) return {Action::Kind::LoggedIn, {}, {}, {}};
  if (line.starts_with("-ERR")) {
    if (Contains(line, "[IN-USE]") || Contains(line, "lock")) {
      return {Action::Kind::Locked, {}, {}, {}};
    }
    // The challenge's reason says more than the server's closing words.
    return {
        Action::Kind::Refused, {}, {}, reason_.empty() ? ServerReason(line.substr(4)) : reason_};
  }
  if (line.starts_with("+")) {
    std::string_view challenge = line.substr(1);
    while (challenge.starts_with(" ")) challenge.remove_prefix(1);
    // An empty challenge asks for the response: after a bare AUTH, or from a server that did
    // not take it on the command line.
    if (challenge.empty() && !responseRepeated_) {
      responseRepeated_ = responseSent_;
      responseSent_ = true;
      return {Action::Kind::Send, response_, "xxxxx", {}};
    }
    // A challenge after the token was sent is the error challenge: it is answered once, and
    // the server then ends the exchange with -ERR.
    if (!challengeAnswered_) {
      challengeAnswered_ = true;
      reason_ = ServerReason(ErrorChallengeReason(challenge).value_or(std::string(challenge)));
      const std::string answer(ErrorChallengeAnswer(mechanism_));
      return {Action::Kind::Send, answer, answer, {}};
    }
  }
  return {Action::Kind::Refused, {}, {}, ServerReason(line)};
}

}  // namespace postvane
