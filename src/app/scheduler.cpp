// Start-up sequence and the two timers that keep the program going.
#include "app/scheduler.h"

#include "check/mailbox_table.h"
#include "text/string_table.h"

namespace postvane {

void StartUp(ProgramState& state, Forms& forms, AppActions& actions, uint16_t windowsLanguageId) {
  // SelectLanguage answers at most 19, so the product fits 16 bits; clamp all the same.
  const int base = SelectLanguage(windowsLanguageId) * 100;
  state.LanguageBase = static_cast<int16_t>(base < 0 ? 0 : (base > 32767 ? 32767 : base));

  forms.LocalizeMainCaptions();

  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    actions.LoadMailbox(i);
    state.Mailboxes[i].Headers.assign(1, MessageHeader{});
  }

  actions.LoadGeneral();
  forms.SetMDaemonMenuVisible(state.General.MDaemonActivate != 0);
  actions.StartCycle();
  actions.RefreshTray();
}

void OnMinuteTimer(ProgramState& state, CycleControl& cycle) {
  if (state.MinuteCount < state.General.Interval) {
    ++state.MinuteCount;  // below Interval, so it stays within 16 bits
    return;
  }
  state.MinuteCount = 0;
  cycle.StartCycle();
}

void OnTrayTimer(AppActions& actions) {
  actions.RefreshTray();
  actions.PollMDaemon();
}

}  // namespace postvane
