// The check engine: the cycle over the enabled mailboxes and the POP3 dialogue with each
// server. It owns everything of a cycle but the mailbox table and reports through its hooks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_state.h"
#include "check/cycle_hooks.h"
#include "check/receive_log.h"
#include "check/reply_watch.h"
#include "ports/charset_converter.h"
#include "check/secure_start.h"
#include "check/top_pipeline.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/socket.h"
#include "ports/timer.h"
#include "text/string_id.h"

namespace postvane {

// Far above any real reply; a server that sends more ends the listing or header fetch.
inline constexpr std::size_t kUidlBufferLimit = std::size_t{64} * 1024 * 1024;
inline constexpr std::size_t kHeaderBufferLimit = std::size_t{1} * 1024 * 1024;
// What is kept of a header block past kHeaderBufferLimit: its header lines that fit whole.
inline constexpr std::size_t kKeptHeaderBytes = std::size_t{64} * 1024;
// The rest of such a reply is skipped up to this many times the header bound; a reply longer
// still is a flood, and the fetch ends there.
inline constexpr std::size_t kSkippedReplyFactor = 16;

// The local port of every first connection attempt; raised by 1 after each address-in-use.
constexpr int32_t kFirstLocalPort = 20000;
constexpr int32_t kHighestPort = 65535;

// Close-and-retry rounds CheckNow grants a socket that keeps reporting "not closed".
constexpr int kInvalidStateRetries = 3;

class CheckEngine : public SocketListener {
 public:
  // Registers itself as the socket's listener and as the tick handler of both timers.
  CheckEngine(CheckState& state, Socket& socket, Timer& timeout, Timer& timerQuit, Clock& clock,
              FileSystem& files, CycleHooks& hooks, ReceiveLogTarget log,
              ConnectFailurePolicy connectPolicy = ConnectFailurePolicy::RestUntilNextCycle);
  ~CheckEngine() override;
  CheckEngine(const CheckEngine&) = delete;
  CheckEngine& operator=(const CheckEngine&) = delete;

  // Starts a cycle from mailbox 0; a running cycle is abandoned.
  void mnuCheckNow_Click();
  // Goes on from CurrentMailbox.
  void CheckNow();
  // Ends the cycle where it stands, reporting nothing: the socket is closed, both timers
  // stop, and whatever the old connection still delivers changes nothing.
  void StopCycle();

  void OnConnect() override;
  void OnDataArrival() override;
  void OnSocketError(int number, const std::string& description) override;
  void OnSocketClose() override;
  void OnTlsHandshake(const TlsHandshake& result) override;
  void OnTimeout();
  void OnQuitTimer();

  void WriteReceiveLog(int16_t stateCode, std::string_view text);

  // True while some mailbox's connection or dialogue is under way.
  bool DialogueRunning() const;

  // Header texts in charsets beyond the built-in ones are converted by this from now on.
  void SetCharsetConverter(const CharsetConverter& charsets) { charsets_ = &charsets; }
  // What the current server said it can do, learnt over TLS; empty on plain connections.
  const std::vector<std::string>& ServerCapabilities() const { return secure_.Capabilities(); }

  // Lowers the reply bounds, so that tests reach them with little data.
  void SetBufferLimits(std::size_t uidlLimit, std::size_t headerLimit);

  // The dialogue's collected replies and the message whose header is due, for tests and
  // checks from outside; only the engine changes them.
  const std::string& UidlBuffer() const { return uidlBuffer_; }
  const std::string& HeaderBuffer() const { return headerBuffer_; }
  int16_t CurrentMessage() const { return currentMessage_; }

 private:
  enum class ConnectOutcome { Requested, Rests, InvalidState };

  ConnectOutcome ConnectMailbox();
  // After a connect request that failed at once: rests or fails, as the policy says.
  void SettleFailedConnect();
  // The record at CurrentMailbox when that is a user mailbox (0..9), else null.
  MailboxRecord* Current();
  const MailboxRecord* Current() const;
  // False when the dialogue was given up while sending.
  bool Send(const std::string& line, std::string_view logText);
  void SendQuit();
  void SendTop();
  void FailWith(StringId id);
  void EndLocked(MailboxRecord& record);
  // Ends the dialogue early: the outcome is reported, then the cycle moves on.
  void EndMailbox(const MailboxOutcome& outcome);
  // Ends a dialogue that got as far as QUIT: the counts stand.
  void FinishCounted();
  void Report(const MailboxOutcome& outcome);
  void Advance();
  void CloseSocket();
  void RaiseLocalPort();
  void AbandonMailbox(const std::string& description);

  void OnGreeting(MailboxRecord& record, const std::string& reply);
  void SendUser(MailboxRecord& record);
  void ApplySecure(MailboxRecord& record, const SecureStart::Action& action);
  void StartHandshake(MailboxRecord& record);
  void FailSecure(MailboxRecord& record, SecureFailure failure);
  void OnUserReply(MailboxRecord& record, const std::string& reply);
  void OnPassReply(MailboxRecord& record, const std::string& reply);
  void OnStatReply(MailboxRecord& record, const std::string& reply);
  void OnLastReply(MailboxRecord& record, const std::string& reply);
  void OnCollectedBlock(MailboxRecord& record);
  // The buffer already ends with the new bytes; oldSize is its size before them.
  void OnUidlBlock(MailboxRecord& record, std::size_t oldSize);
  void OnTopBlock(MailboxRecord& record, std::size_t oldSize);
  // The current TOP reply is done with: the next message's goes out, or QUIT after the last.
  void NextTop(MailboxRecord& record);
  void OnQuitReply(const std::string& reply);
  void DecideHeaders(MailboxRecord& record);
  // The server listed PIPELINING in its reply to CAPA.
  bool ServerPipelines() const;
  void OnPipelinedData(MailboxRecord& record);
  void ApplyPipelineEvents(MailboxRecord& record, const std::vector<PipelineEvent>& events);
  // The fetch ran as far as this server allows: nothing is left to fetch next time.
  void EndHeaderFetch();

  CheckState& state_;
  Socket& socket_;
  Timer& timeout_;
  Timer& timerQuit_;
  Clock& clock_;
  FileSystem& files_;
  CycleHooks& hooks_;
  const CharsetConverter* charsets_ = nullptr;
  ReceiveLogTarget log_;
  ConnectFailurePolicy connectPolicy_;

  // Set by a successful connect request, cleared by every Close: events that arrive for a
  // connection the engine already gave up are stale and change nothing.
  bool socketInUse_ = false;
  // What the last connect request said at once.
  SocketError lastConnectError_;

  // Per mailbox: a header fetch began and has not ended yet.
  std::array<bool, kMailboxSlots> headerFetchUnfinished_{};

  std::string uidlBuffer_;
  std::string headerBuffer_;
  int16_t currentMessage_ = 0;
  // The header fetch of a server that pipelines; empty for one TOP at a time.
  std::optional<TopPipeline> pipeline_;
  // The current TOP reply passed the bound: its headers are taken, the rest is skipped.
  bool topCut_ = false;
  std::size_t topSkipped_ = 0;
  // A TOP was refused: the replies still in flight are only logged, then QUIT goes.
  bool pipelineEnding_ = false;

  SecureStart secure_;

  std::size_t uidlLimit_ = kUidlBufferLimit;
  std::size_t headerLimit_ = kHeaderBufferLimit;

  // Completion tests of the collected replies, fed only with what each block added.
  ReplyWatch uidlTerminator_{"\r\n.\r\n", CaseRule::Exact};
  ReplyWatch uidlError_{"-ERR", CaseRule::IgnoreCaseAtLineStart};
  ReplyWatch uidlLineEnd_{"\r\n", CaseRule::Exact};
  ReplyWatch topError_{"-ERR", CaseRule::Exact};
  ReplyWatch topTerminator_{"\r\n.\r\n", CaseRule::Exact};
};

}  // namespace postvane
