// The POP3 dialogue with one server over one connection: the secure start, login, counts,
// listing, header fetch and QUIT, step by step as the connection's events arrive.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/mailbox_session.h"
#include "check/pop3_oauth_login.h"
#include "check/reply_reader.h"
#include "check/secure_start.h"
#include "check/top_pipeline.h"
#include "text/string_id.h"

namespace postvane {

class Pop3Session : public MailboxSession {
 public:
  explicit Pop3Session(const SessionSetup& setup);

  void OnConnected() override;
  void OnData(std::string_view bytes) override;
  void OnHandshake(const TlsHandshake& result) override;
  void OnTlsNotStarted() override;
  bool Securing() const override { return secure_.Active(); }
  void OnSecureTimeout() override;
  void OnQuitWaitOver() override;

  const std::vector<std::string>& ServerCapabilities() const override {
    return secure_.Capabilities();
  }
  const std::string& ListingBuffer() const override;
  const std::string& HeaderBuffer() const override;
  int16_t CurrentMessage() const override { return currentMessage_; }

 private:
  // The dialogue's steps; each shows as one of the record's states.
  enum class Step {
    Connecting,  // the connection or TLS from the first byte is being set up
    Greeting,    // waiting for the greeting, or STARTTLS under way
    User,
    Pass,
    Auth,  // AUTH with an OAuth access token, shown as the password step
    Stat,
    Last,
    Uidl,
    Top,
    Quit,
    Ended,  // the check ended early; the record is back at Idle
  };
  static MailboxState Shown(Step step);
  void Enter(Step step);

  int16_t Code() const { return StateCode(record_.State); }
  // False when the connection was given up while sending.
  bool Send(const std::string& line, std::string_view logText);
  void SendQuit();
  void FailWith(StringId id);
  void EndLocked();
  // Ends the check early: the record goes back to Idle and the outcome is reported.
  void EndMailbox(const MailboxOutcome& outcome);
  // Ends a dialogue that got as far as QUIT: the counts stand.
  void FinishCounted();

  void StartHandshake();
  void ApplySecure(const SecureStart::Action& action);
  void FailSecure(SecureFailure failure);
  void SendUser();
  void StartOAuth();
  void ApplyOAuth(const Pop3OAuthLogin::Action& action);

  void OnGreeting(std::string_view reply);
  void OnUserReply(std::string_view reply);
  void OnPassReply(std::string_view reply);
  void OnStatReply(std::string_view reply);
  void OnLastReply(std::string_view reply);
  void OnQuitReply(std::string_view reply);
  // The listing is whole, or (none) passed the bound.
  void OnListing(const std::optional<Reply>& reply);
  void DecideHeaders();
  // The server listed PIPELINING in its reply to CAPA.
  bool ServerPipelines() const;
  void OnHeaderData(std::string_view bytes);
  void ApplyPipelineEvents(const std::vector<PipelineEvent>& events);
  // The fetch ran as far as this server allows: nothing is left to fetch next time.
  void EndHeaderFetch();

  MailboxRecord& record_;
  SessionOutput& out_;
  int16_t languageBase_;
  const CharsetConverter* charsets_;
  std::size_t uidlLimit_;
  std::size_t headerLimit_;
  bool& headerFetchUnfinished_;

  Step step_ = Step::Connecting;
  SecureStart secure_;
  std::optional<Pop3OAuthLogin> oauth_;
  // The replies of the steps in lock step; the header fetch reads its own.
  ReplyReader reader_;
  int16_t currentMessage_ = 0;
  // The header fetch: TOP commands in a window, of one command unless the server pipelines.
  std::optional<TopPipeline> pipeline_;
  // With a window of one the receive log holds each block as it came; with many replies in a
  // block, each reply.
  bool pipelined_ = false;
  // A TOP was refused: the replies still in flight are only logged, then QUIT goes.
  bool pipelineEnding_ = false;
};

}  // namespace postvane
