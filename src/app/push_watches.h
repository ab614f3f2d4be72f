// The push watches of the tray program and of postvane-check --watch: one IMAP watch per
// mailbox that asks for push, kept in line with the mailbox table.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "check/imap_watch.h"
#include "check/mailbox_table.h"
#include "ports/socket.h"

namespace postvane {

// What a front end brings for the watches: a socket and timers per watch.
struct PushPlatform {
  std::function<std::unique_ptr<Socket>()> MakeSocket;
  TimerMaker MakeTimer;
  // The reply time-out of the checks, which a watch's NOOP gets too.
  int ReplyTimeoutMs = 60000;
};

// The watch target of a mailbox that asks for push and can have it (enabled IMAP, Push on, a
// known security setting, its password at hand); nothing otherwise.
std::optional<WatchTarget> PushTarget(const MailboxRecord& record, int16_t index);

// The longest back-off: the time between two interval checks (Interval + 1 minutes).
int LongestRetryMs(int16_t interval);

class PushWatches : private WatchEvents {
 public:
  struct Events {
    // The server reported a change: check that mailbox now.
    std::function<void(int16_t index)> CheckNow;
    // A line for the receive log.
    std::function<void(int16_t index, std::string_view text)> Log;
    // A watch connection was lost and connects again after `retryMs`; may be empty.
    std::function<void(int16_t index, std::string_view reason, int retryMs)> Lost;
  };

  PushWatches(const PushPlatform& platform, Events events);
  ~PushWatches() override;
  PushWatches(const PushWatches&) = delete;
  PushWatches& operator=(const PushWatches&) = delete;

  // Starts a watch for each mailbox that now asks for push, starts anew those whose server,
  // login or folder changed, and ends the others. Unchanged watches go on undisturbed.
  void Update(const MailboxTable& table, int16_t languageBase, int16_t interval);
  // Ends every watch (on exit).
  void StopAll();

  // The watch of that mailbox; null when it has none.
  const ImapWatch* Watch(int index) const;

 private:
  void FolderChanged(int16_t index) override;
  void WatchLog(int16_t index, std::string_view text) override;
  void WatchLost(int16_t index, std::string_view reason, int retryMs) override;

  struct Slot {
    std::unique_ptr<Socket> Connection;
    std::unique_ptr<ImapWatch> Watcher;
  };

  PushPlatform platform_;
  Events events_;
  std::array<Slot, kUserMailboxes> slots_;
};

}  // namespace postvane
