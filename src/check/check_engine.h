// The check engine: the cycle over the enabled mailboxes, each checked by a session of its
// protocol over one connection. It owns everything of a cycle but the mailbox table and
// reports through its hooks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_state.h"
#include "check/cycle_hooks.h"
#include "check/mailbox_session.h"
#include "check/receive_log.h"
#include "ports/charset_converter.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/socket.h"
#include "ports/timer.h"
#include "text/string_id.h"

namespace postvane {

// The local port of every first connection attempt; raised by 1 after each address-in-use.
constexpr int32_t kFirstLocalPort = 20000;
constexpr int32_t kHighestPort = 65535;

// Close-and-retry rounds ContinueCycle grants a socket that keeps reporting "not closed".
constexpr int kInvalidStateRetries = 3;

class CheckEngine : public SocketListener, private SessionOutput {
 public:
  // Registers itself as the socket's listener and as the tick handler of both timers.
  CheckEngine(CheckState& state, Socket& socket, Timer& timeout, Timer& timerQuit, Clock& clock,
              FileSystem& files, CycleHooks& hooks, ReceiveLogTarget log,
              ConnectFailurePolicy connectPolicy = ConnectFailurePolicy::RestUntilNextCycle);
  ~CheckEngine() override;
  CheckEngine(const CheckEngine&) = delete;
  CheckEngine& operator=(const CheckEngine&) = delete;

  // Starts a cycle from mailbox 0; a running cycle is abandoned.
  void StartCycle();
  // Goes on from CurrentMailbox.
  void ContinueCycle();
  // Ends the cycle where it stands, reporting nothing: the socket is closed, both timers
  // stop, and whatever the old connection still delivers changes nothing. Checks waiting
  // for their turn are dropped.
  void StopCycle();
  // Checks mailbox `index` (0..9) alone, out of turn, as a cycle of one mailbox: its
  // MailboxFinished, then CycleEnded. While a cycle runs it waits and starts right after that
  // cycle ends, unless the running cycle has yet to reach the mailbox anyway.
  void CheckMailboxNow(int16_t index);
  // A cycle, whole or of one mailbox, is under way and will end with CycleEnded. False again
  // once it ended, was stopped, or rests after a connect request that failed at once.
  bool CycleRunning() const { return cycleRunning_; }
  // Mailboxes waiting for their out-of-turn check, in the order they were asked for.
  const std::vector<int16_t>& WaitingChecks() const { return waiting_; }

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
  const std::vector<std::string>& ServerCapabilities() const;

  // Lowers the reply bounds, so that tests reach them with little data.
  void SetBufferLimits(std::size_t uidlLimit, std::size_t headerLimit);

  // The dialogue's collected replies and the message whose header is due, for tests and
  // checks from outside; only the engine changes them.
  const std::string& UidlBuffer() const;
  const std::string& HeaderBuffer() const;
  int16_t CurrentMessage() const;

 private:
  enum class ConnectOutcome { Requested, Rests, InvalidState };

  // Starts the first waiting check when no cycle runs; true when one started.
  bool StartWaitingCheck();
  ConnectOutcome ConnectMailbox();
  // After a connect request that failed at once: rests or fails, as the policy says.
  void SettleFailedConnect();
  // The record at CurrentMailbox when that is a user mailbox (0..9), else null.
  MailboxRecord* Current();
  const MailboxRecord* Current() const;
  void Report(const MailboxOutcome& outcome);
  void Advance();
  // Ends the connection and its session; a session whose code is still running is dropped
  // once the event that ended it is over.
  void CloseSocket();
  void RaiseLocalPort();
  void AbandonMailbox(const std::string& description);
  // Entered by every event and call from outside; sessions ended meanwhile are dropped when the
  // outermost one returns.
  class EventScope;

  // SessionOutput: what the current session asks for.
  bool Write(std::string_view bytes) override;
  bool StartTls(const TlsRequest& request) override;
  void Log(int16_t code, std::string_view text) override;
  void StopConnectTimeout() override;
  void StartQuitWait() override;
  void StopQuitWait() override;
  void Finish(const MailboxOutcome& outcome) override;

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

  // The dialogue over the connection a successful connect request opened; null once it is
  // closed, so events of a connection the engine already gave up reach nothing.
  std::unique_ptr<MailboxSession> session_;
  // Sessions ended while their own code was still running.
  std::vector<std::unique_ptr<MailboxSession>> ended_;
  int eventDepth_ = 0;
  // What the last connect request said at once.
  SocketError lastConnectError_;

  bool cycleRunning_ = false;
  // The one mailbox of an out-of-turn check; -1 in a whole cycle.
  int16_t onlyMailbox_ = -1;
  std::vector<int16_t> waiting_;

  // Per mailbox: a header fetch began and has not ended yet.
  std::array<bool, kMailboxSlots> headerFetchUnfinished_{};

  std::size_t uidlLimit_ = kUidlBufferLimit;
  std::size_t headerLimit_ = kHeaderBufferLimit;
};

}  // namespace postvane
