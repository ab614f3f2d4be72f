// The POP3 login with an OAuth access token: AUTH (RFC 5034) with XOAUTH2 or OAUTHBEARER, the
// initial response on the command line when it fits, the continuation form otherwise, and the
// server's error challenge answered as the mechanism requires.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check/sasl_oauth.h"

namespace postvane {

// RFC 5034: an AUTH command with its initial response stays within 255 octets; real tokens
// are far longer and go in the continuation.
inline constexpr std::size_t kPop3AuthLineLimit = 255;
// A reply line longer than this is no answer to AUTH.
inline constexpr std::size_t kPop3AuthReplyLimit = 16 * 1024;

class Pop3OAuthLogin {
 public:
  struct Action {
    enum class Kind {
      Wait,      // the reply line is not complete yet
      Send,      // send Line; log LogText, which never holds the token
      LoggedIn,  // "+OK": the mailbox is open
      Refused,   // the server refused; Reason is what it said, as plain text
      Locked,    // the token was good, but another session holds the maildrop
    };
    Kind What = Kind::Wait;
    std::string Line;
    std::string LogText;
    std::string Reason;
  };

  Pop3OAuthLogin(SaslMechanism mechanism, std::string_view user, std::string_view accessToken,
                 std::string_view host, int port);

  Action Start();
  // Bytes of the server's reply as they came.
  Action OnData(std::string_view bytes);

 private:
  Action OnLine(std::string_view line);

  SaslMechanism mechanism_;
  std::string response_;
  bool responseSent_ = false;
  bool responseRepeated_ = false;
  bool challengeAnswered_ = false;
  std::string reason_;
  std::string buffer_;
};

// "The server refused the sign-in: <reason>" in the user's language.
std::string ServerRefusedSignInText(int16_t languageBase, std::string_view reason);

}  // namespace postvane
