// The tray summary in its two display modes.
#include "app/tray_summary.h"

#include <array>
#include <cstdint>

#include "app/first_use.h"
#include "text/display_text.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

int AdvanceAnimation(ProgramState& state) {
  state.AnimationFrame = static_cast<int16_t>(state.AnimationFrame + 1);
  // Any value out of 0..3 restarts the frames, so a damaged frame never picks a foreign icon.
  if (state.AnimationFrame > 3 || state.AnimationFrame < 0) state.AnimationFrame = 0;
  return kIconAnimationBase + state.AnimationFrame;
}

LocalDateTime NewestCheck(const ProgramState& state) {
  LocalDateTime newest;
  for (int i = 0; i < kUserMailboxes; ++i) {
    if (state.Mailboxes[i].LastCheck > newest) newest = state.Mailboxes[i].LastCheck;
  }
  return newest;
}

// A count stays as it was when a later check fails; the failure follows it, so an old count
// never reads as a working mailbox.
std::string FailureAfterCount(const ProgramState& state, const std::string& failure) {
  if (failure.empty()) return std::string();
  return " - " + OwnString(state.LanguageBase, OwnText::LastCheckFailed) + " " + failure;
}

// The steady idle and error texts are rewritten only when they change.
void WriteIfChanged(TrayIcons& tray, int index, int picture, const std::string& text) {
  if (tray.GetTrayToolTip(index) != text) {
    tray.SetTrayPicture(index, picture);
    tray.SetTrayToolTip(index, text);
  }
}

// With nothing to check yet, the idle tool tip tells how to set up a mailbox instead.
std::string IdleText(const ProgramState& state, const DateText& dateText) {
  const std::string idle = dateText.Format(NewestCheck(state)) + " - " + std::string(kProductName);
  // A file we cannot read says so first: the set-up hint would only invite overwriting it.
  if (state.SettingsWithoutMailbox) {
    return idle + ": " + OwnString(state.LanguageBase, OwnText::NoMailboxSection);
  }
  if (!AnyMailboxEnabled(state.Mailboxes)) return NoMailboxToolTip(state.LanguageBase);
  return idle;
}

void RefreshPerMailbox(ProgramState& state, TrayIcons& tray, const DateText& dateText) {
  std::array<bool, kMailboxSlots> shown{};
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& mailbox = state.Mailboxes[i];
    const std::string time = dateText.Format(mailbox.LastCheck);
    if (IsChecking(mailbox)) {
      tray.SetTrayPicture(i, AdvanceAnimation(state));
      tray.SetTrayToolTip(i, time + " - " + LocalString(state.LanguageBase, StringId::Checking));
      shown[i] = true;
    } else if (mailbox.NewCount != 0) {
      shown[i] = true;
      const bool failed = !mailbox.StatusText.empty();
      tray.SetTrayToolTip(
          i, time + " - " + DisplayText(mailbox.Name) + " " +
                 ReplaceHash(LocalString(state.LanguageBase, StringId::MailboxHasNew),
                             mailbox.NewCount) +
                 FailureAfterCount(state, failed ? DisplayText(mailbox.StatusText) : ""));
      // A failed mailbox blinks between its count and the error marker instead of its own.
      const int other = failed ? kIconError : kIconMarkerBase + i;
      tray.SetTrayPicture(i, state.BlinkPhase == 0 ? CountPicture(mailbox.NewCount) : other);
    } else if (!mailbox.StatusText.empty()) {
      shown[i] = true;
      WriteIfChanged(
          tray, i, kIconError,
          time + " - " + DisplayText(mailbox.Name) + ": " + DisplayText(mailbox.StatusText));
    } else {
      WriteIfChanged(tray, i, kIconIdle, IdleText(state, dateText));
    }
  }

  // Icon 0 stands in for the program when no other icon shows; otherwise only for news.
  bool anyOtherShown = false;
  for (int k = 1; k < kUserMailboxes; ++k) anyOtherShown = anyOtherShown || shown[k];
  if (!anyOtherShown) {
    shown[0] = true;
  } else {
    shown[0] = !state.Mailboxes[0].StatusText.empty() || state.Mailboxes[0].NewCount != 0;
  }

  for (int k = 0; k < kTrayIcons; ++k) {
    if (tray.GetTrayVisible(k) != shown[k]) tray.SetTrayVisible(k, shown[k]);
  }
}

void RefreshSingleIcon(ProgramState& state, TrayIcons& tray, const DateText& dateText) {
  long long total = 0;  // ten 16-bit counts never overflow this
  std::string errorLine;
  bool checking = false;
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& mailbox = state.Mailboxes[i];
    total += mailbox.NewCount;
    if (errorLine.empty() && !mailbox.StatusText.empty()) {
      errorLine = DisplayText(mailbox.Name) + ": " + DisplayText(mailbox.StatusText);
    }
    checking = checking || IsChecking(mailbox);
  }

  if (checking) {
    // Visibility stays as it is while a check runs.
    tray.SetTrayPicture(0, AdvanceAnimation(state));
    tray.SetTrayToolTip(0, LocalString(state.LanguageBase, StringId::Checking));
    return;
  }

  const std::string time = dateText.Format(NewestCheck(state));
  if (total > 0) {
    // With a failure the count alternates with the error marker; otherwise it stays still.
    const bool showError = !errorLine.empty() && state.BlinkPhase == 1;
    tray.SetTrayPicture(0, showError ? kIconError : CountPicture(total));
    const std::string count =
        total == 1 ? LocalString(state.LanguageBase, StringId::OneNewMessage)
                   : ReplaceHash(LocalString(state.LanguageBase, StringId::ManyNewMessages), total);
    tray.SetTrayToolTip(0, time + " - " + count + FailureAfterCount(state, errorLine));
  } else if (!errorLine.empty()) {
    WriteIfChanged(tray, 0, kIconError, time + " - " + errorLine);
  } else {
    WriteIfChanged(tray, 0, kIconIdle, IdleText(state, dateText));
  }

  tray.SetTrayVisible(0, true);
  for (int k = 1; k < kTrayIcons; ++k) tray.SetTrayVisible(k, false);
}

}  // namespace

int CountPicture(long long count) {
  if (count > 20) return kIconCountMax;
  if (count < 0) return kIconError;
  return kIconError + static_cast<int>(count);
}

bool TrayAnimates(const ProgramState& state) {
  bool anyNew = false;
  bool anyFailed = false;
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& mailbox = state.Mailboxes[i];
    if (IsChecking(mailbox)) return true;
    if (state.General.TrayType == 1 && mailbox.NewCount != 0) return true;
    anyNew = anyNew || mailbox.NewCount > 0;
    anyFailed = anyFailed || !mailbox.StatusText.empty();
  }
  // The single icon blinks only to show a failure behind its count.
  return state.General.TrayType == 0 && anyNew && anyFailed;
}

void RefreshTray(ProgramState& state, TrayIcons& tray, const DateText& dateText) {
  state.BlinkPhase = state.BlinkPhase != 1 ? 1 : 0;
  if (state.General.TrayType == 1) {
    RefreshPerMailbox(state, tray, dateText);
  } else if (state.General.TrayType == 0) {
    RefreshSingleIcon(state, tray, dateText);
  }
}

}  // namespace postvane
