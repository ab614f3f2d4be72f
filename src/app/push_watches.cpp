// Keeping the push watches in line with the mailbox table.
#include "app/push_watches.h"

#include <utility>

#include "check/auth_method.h"
#include "check/connection_security.h"
#include "check/mail_protocol.h"

namespace postvane {

std::optional<WatchTarget> PushTarget(const MailboxRecord& record, int16_t index) {
  if (record.Enabled == kFalse || record.Push == kFalse) return std::nullopt;
  if (EffectiveProtocol(record.Protocol) != MailProtocol::Imap) return std::nullopt;
  // The watch logs in with the password; a mailbox that signs in with OAuth is checked at the
  // interval only.
  if (EffectiveAuth(record.Auth) != AuthMethod::Password) return std::nullopt;
  const std::optional<SecurityMode> security = EffectiveSecurity(record.Security);
  // An unknown security setting fails closed, as the check does.
  if (!security) return std::nullopt;
  if (record.PasswordInKeyring != kFalse && record.PasswordUnknown) return std::nullopt;
  if (record.RemoteHost.empty()) return std::nullopt;
  WatchTarget target;
  target.Index = index;
  target.Host = record.RemoteHost;
  target.Port = record.RemotePort;
  target.Security = *security;
  target.User = record.User;
  target.Password = record.Password;
  target.Folder = record.Folder;
  target.TrustedFingerprint = record.CertFingerprint;
  return target;
}

int LongestRetryMs(int16_t interval) {
  const int minutes = (interval < 0 ? 0 : interval) + 1;
  return minutes * 60 * 1000;
}

PushWatches::PushWatches(const PushPlatform& platform, Events events)
    : platform_(platform), events_(std::move(events)) {}

PushWatches::~PushWatches() {
  for (Slot& slot : slots_) slot.Watcher.reset();
}

void PushWatches::Update(const MailboxTable& table, int16_t languageBase, int16_t interval) {
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    Slot& slot = slots_[static_cast<std::size_t>(i)];
    const std::optional<WatchTarget> target = PushTarget(table[static_cast<std::size_t>(i)], i);
    if (slot.Watcher && target && slot.Watcher->Target() == *target) continue;
    if (slot.Watcher) {
      slot.Watcher->Stop();
      slot.Watcher.reset();
    }
    if (!target) continue;
    if (!slot.Connection) slot.Connection = platform_.MakeSocket();
    if (!slot.Connection) continue;
    WatchTiming timing;
    timing.ReplyTimeoutMs = platform_.ReplyTimeoutMs;
    timing.LongestRetryMs = LongestRetryMs(interval);
    WatchEvents& events = *this;
    slot.Watcher = std::make_unique<ImapWatch>(*target, *slot.Connection, platform_.MakeTimer,
                                               timing, events, languageBase);
    slot.Watcher->Start();
  }
}

void PushWatches::StopAll() {
  for (Slot& slot : slots_) {
    if (!slot.Watcher) continue;
    slot.Watcher->Stop();
    slot.Watcher.reset();
  }
}

const ImapWatch* PushWatches::Watch(int index) const {
  if (index < 0 || index >= kUserMailboxes) return nullptr;
  return slots_[static_cast<std::size_t>(index)].Watcher.get();
}

void PushWatches::FolderChanged(int16_t index) {
  if (events_.CheckNow) events_.CheckNow(index);
}

void PushWatches::WatchLog(int16_t index, std::string_view text) {
  if (events_.Log) events_.Log(index, text);
}

void PushWatches::WatchLost(int16_t index, std::string_view reason, int retryMs) {
  if (events_.Lost) events_.Lost(index, reason, retryMs);
}

}  // namespace postvane
