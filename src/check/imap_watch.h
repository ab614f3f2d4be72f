// The push watch of one IMAP mailbox: an extra connection that logs in as a check does,
// examines the folder and waits in IDLE, so that the server's word of a change brings an
// out-of-turn check. It reaches the world only through its socket and timers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check/connection_security.h"
#include "check/imap_reader.h"
#include "ports/socket.h"
#include "ports/timer.h"

namespace postvane {

// IDLE is left and entered again this often, with a NOOP between that proves the connection
// alive: well inside the 29 minutes a server may wait before it logs an idle client out, and
// short enough that a connection lost without a word (a sleep, a dropped NAT entry) is noticed
// within minutes.
constexpr int kIdleRenewMs = 10 * 60 * 1000;
// The first wait before a lost watch connects again; each loss in a row doubles it up to the
// check interval.
constexpr int kFirstWatchRetryMs = 30 * 1000;
// Far above any response the watch expects (capabilities, EXAMINE, untagged news).
inline constexpr ImapReaderLimits kWatchReaderLimits{.Text = std::size_t{256} * 1024,
                                                     .Literal = std::size_t{256} * 1024,
                                                     .Literals = std::size_t{256} * 1024};

// What the watch needs to know of its mailbox, copied when it starts: a change of any of it
// means a new watch.
struct WatchTarget {
  int16_t Index = 0;
  std::string Host;
  int32_t Port = 0;
  SecurityMode Security = SecurityMode::Tls;
  std::string User;
  std::string Password;
  // The folder's name in UTF-8, as the settings hold it; INBOX when empty.
  std::string Folder;
  std::string TrustedFingerprint;
  bool operator==(const WatchTarget&) const = default;
};

// What the watch tells its owner.
class WatchEvents {
 public:
  virtual ~WatchEvents() = default;
  // The server reported a change in the folder (or the watch came back after a loss, which
  // may have hidden one): the mailbox should be checked now.
  virtual void FolderChanged(int16_t index) = 0;
  // One line for the receive log; passwords never reach it.
  virtual void WatchLog(int16_t index, std::string_view text) = 0;
  // The watch connection was lost; it connects again after `retryMs`.
  virtual void WatchLost(int16_t index, std::string_view reason, int retryMs) = 0;
};

// Makes a timer that ticks every `milliseconds` once started.
using TimerMaker = std::function<std::unique_ptr<Timer>(int milliseconds)>;

struct WatchTiming {
  // No reply within this (connect, login, NOOP, any command) ends the connection.
  int ReplyTimeoutMs = 60000;
  // The back-off never grows past this: the check interval.
  int LongestRetryMs = 5 * 60 * 1000;
  int RenewMs = kIdleRenewMs;
  int FirstRetryMs = kFirstWatchRetryMs;
};

class ImapWatch : public SocketListener {
 public:
  enum class Step {
    Off,           // not started, or stopped
    Connecting,    // the connect request is under way
    Handshake,     // TLS from the first byte
    Greeting,      // waiting for the server's first words
    Capability,    // CAPABILITY sent (before login)
    StartTls,      // STARTTLS sent
    Upgrade,       // STARTTLS accepted, handshake under way
    Authenticate,  // AUTHENTICATE PLAIN sent, waiting for the continuation
    Login,         // LOGIN or the PLAIN credentials sent
    Capability2,   // CAPABILITY sent after the login
    Examine,       // EXAMINE sent
    IdleStart,     // IDLE sent, waiting for its continuation
    Idling,        // in IDLE: the server speaks when the folder changes
    Done,          // DONE sent, waiting for the end of IDLE
    Noop,          // NOOP sent
    Retrying,      // lost: waiting for the back-off to run out
    NoPush,        // the server does not offer IDLE: nothing to do, the checks poll
  };

  // Registers itself as the socket's listener. The owner must not destroy the watch inside
  // one of its events.
  ImapWatch(const WatchTarget& target, Socket& socket, const TimerMaker& makeTimer,
            const WatchTiming& timing, WatchEvents& events, int16_t languageBase);
  ~ImapWatch() override;
  ImapWatch(const ImapWatch&) = delete;
  ImapWatch& operator=(const ImapWatch&) = delete;

  // Connects; a watch that is already under way starts over.
  void Start();
  // Leaves IDLE and logs out where it can, then closes; nothing follows.
  void Stop();

  Step Current() const { return step_; }
  const WatchTarget& Target() const { return target_; }
  // The wait before the next connect after a loss from now on.
  int NextRetryMs() const { return retryMs_; }
  // What the server said it can do, upper case; the last list heard.
  const std::vector<std::string>& Capabilities() const { return capabilities_; }

  void OnConnect() override;
  void OnDataArrival() override;
  void OnSocketError(int number, const std::string& description) override;
  void OnSocketClose() override;
  void OnTlsHandshake(const TlsHandshake& result) override;

 private:
  void OnResponse(const ImapResponse& response);
  void OnTagged(const ImapResponse& response);
  void OnGreeting(const ImapStatus& status, const std::string& text);
  void SendLogin();
  void AfterLogin();
  bool Send(std::string_view command, std::string_view logText = {});
  bool SendTagged(std::string_view command, std::string_view logText = {});
  void EnterIdle();
  void Lose(const std::string& reason);
  void OnReplyTimeout();
  void OnRenew();
  // The timer of a back-off of that length, made on first use.
  Timer& RetryTimer(int milliseconds);
  void StopRetryTimers();
  void CloseConnection();
  void WaitForReply();
  bool Has(std::string_view capability) const;

  WatchTarget target_;
  Socket& socket_;
  WatchTiming timing_;
  WatchEvents& events_;
  int16_t languageBase_;
  std::unique_ptr<Timer> replyTimer_;
  std::unique_ptr<Timer> renewTimer_;
  TimerMaker makeTimer_;
  std::map<int, std::unique_ptr<Timer>> retryTimers_;

  Step step_ = Step::Off;
  ImapReader reader_{kWatchReaderLimits};
  // More of the server's bytes follow the response being handled.
  bool unread_ = false;
  std::vector<std::string> capabilities_;
  std::string tag_;  // of the command whose tagged reply is due
  int tagCount_ = 0;
  int retryMs_ = 0;
  // The last connection was lost: a change may have passed unheard meanwhile.
  bool afterLoss_ = false;
  // The TLS handshake succeeded on this connection.
  bool encrypted_ = false;
};

}  // namespace postvane
