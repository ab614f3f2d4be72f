// The steps between the TCP connection and the login for a mailbox that asks for TLS: the
// handshake at once, or greeting, CAPA, STLS, handshake and CAPA again. No step ever leads to
// USER or PASS over a connection that is not encrypted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "check/connection_security.h"
#include "check/reply_reader.h"
#include "ports/tls_handshake.h"

namespace postvane {

// Why a secure start failed; the certificate reasons come from the TLS layer.
enum class SecureFailure {
  None,
  GreetingRefused,  // the greeting was not "+OK"
  StlsNotOffered,   // CAPA did not list STLS (or was refused)
  StlsRefused,      // STLS was answered with anything but "+OK"
  Injection,        // bytes followed "+OK" to STLS before the handshake
  Untrusted,
  NameMismatch,
  Expired,
  Handshake,  // no TLS agreed, or the handshake did not end in time
};

SecureFailure FailureOf(TlsFailure failure);

// A CAPA reply far beyond any real one is not waited for.
inline constexpr std::size_t kCapaReplyLimit = std::size_t{64} * 1024;

class SecureStart {
 public:
  enum class Step {
    Plain,      // nothing to do: plain POP3, or the secure part is over
    Handshake,  // TLS from the first byte: handshake under way
    Greeting,   // STARTTLS: waiting for the greeting
    Capa,       // STARTTLS: collecting the reply to CAPA
    Stls,       // STARTTLS: waiting for the reply to STLS
    Upgrade,    // STARTTLS: handshake under way
    Recapa,     // STARTTLS: collecting the reply to CAPA over TLS
  };

  struct Action {
    enum class Kind {
      Wait,      // collect more
      Send,      // send Line
      StartTls,  // begin the handshake
      Greeted,   // TLS from the first byte is up: the usual greeting comes next
      Login,     // STARTTLS is up: go on with USER
      Fail,      // end the mailbox with Failure
    };
    Kind What = Kind::Wait;
    std::string Line;
    SecureFailure Failure = SecureFailure::None;
  };

  // A new connection. For Tls the caller starts the handshake right after the connect.
  void Begin(SecurityMode mode);

  Step Current() const { return step_; }
  // The connection is up but its secure part is not done: data belongs to OnData.
  bool Active() const { return step_ != Step::Plain; }
  bool Handshaking() const { return step_ == Step::Handshake || step_ == Step::Upgrade; }

  Action OnData(std::string_view block);
  Action OnHandshake(const TlsHandshake& result);
  // TLS from the first byte, after the greeting: asks the server what it can do; the reply
  // ends in Login whatever it says.
  Action AskCapabilities();

  // Keywords of the last CAPA reply that arrived over TLS (upper case), for callers that
  // adapt to the server; empty for plain connections and before the upgrade.
  const std::vector<std::string>& Capabilities() const { return capabilities_; }
  // The SASL mechanisms that CAPA listed over TLS (upper case), for the token sign-in.
  const std::vector<std::string>& SaslMechanisms() const { return saslMechanisms_; }

 private:
  Action OnGreeting(std::string_view block);
  Action OnCapaBlock(std::string_view block, bool secure);
  Action OnStlsReply(std::string_view block);
  // The step's next command goes out: its reply is read as `end` says.
  Action SendExpecting(std::string line, ReplyEnd end);

  Step step_ = Step::Plain;
  ReplyReader reader_;
  std::vector<std::string> capabilities_;
  std::vector<std::string> saslMechanisms_;
};

// Capability keywords of a complete CAPA reply, upper case; empty for "-ERR".
std::vector<std::string> ParseCapabilities(std::string_view reply);
// The names after "SASL" in a complete CAPA reply, upper case; empty without such a line.
std::vector<std::string> ParseSaslMechanisms(std::string_view reply);

}  // namespace postvane
