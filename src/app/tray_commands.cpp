// Tray events and the seven tray menu commands.
#include "app/tray_commands.h"

#include "app/mdaemon.h"
#include "check/mailbox_table.h"

namespace postvane {

void AcknowledgeMailbox(ProgramState& state, AppActions& actions, int index) {
  if (index < 0 || index >= kUserMailboxes) return;
  MailboxRecord& mailbox = state.Mailboxes[index];
  // No listing read since start-up: copying the empty id would erase the saved position.
  if (!mailbox.NewestUidl.empty()) {
    mailbox.UIDL = mailbox.NewestUidl;
    actions.SaveUidl(static_cast<int16_t>(index), mailbox.UIDL);
  }
  mailbox.NewCount = 0;
  state.NotifiedCount[index] = 0;
}

void AcknowledgeAll(ProgramState& state, AppActions& actions) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    if (state.Mailboxes[i].NewCount != 0) AcknowledgeMailbox(state, actions, i);
  }
}

void OnTrayClick(ProgramState& state, AppActions& actions, int index) {
  if (state.General.TrayType == 0) {
    AcknowledgeAll(state, actions);
  } else if (state.General.TrayType == 1) {
    if (index < 0 || index >= kUserMailboxes) return;
    if (state.Mailboxes[index].NewCount != 0) AcknowledgeMailbox(state, actions, index);
  }
}

void OnTrayMenuRequest(Windows& forms) { forms.ShowTrayMenu(); }

void OnTrayDoubleClick(ProgramState& state, Windows& forms, AppActions& actions) {
  const int16_t action = state.General.DoubleClick;
  if (action != kDoubleClickStatus) AcknowledgeAll(state, actions);

  if (action == kDoubleClickMailProgram) {
    actions.RunMailProgram();
  } else if (action == kDoubleClickStatus) {
    forms.ShowStatus();
  } else if (action == kDoubleClickCheckMail) {
    // Moving to the end-of-cycle slot under a running check would carry its dialogue into
    // the spare slot, or lose its QUIT reply, and drop the rest of the cycle with its
    // notification.
    if (!actions.CheckUnderWay()) state.CurrentMailbox = kEndOfCycle;
    actions.OnMinuteTimer();
  }
}

void mnuCheckNow_Click(AppActions& actions) { actions.mnuCheckNow_Click(); }
void mnuMailReader_Click(AppActions& actions) { actions.RunMailProgram(); }
void mnuStatus_Click(Windows& forms) { forms.ShowStatus(); }
void mnuMdaemon_Click(ProgramState& state) { state.MDaemonRequest = kMDaemonRequested; }
void mnuConfig_Click(Windows& forms) { forms.ShowConfig(); }
void mnuAbout_Click(Windows& forms) { forms.ShowAbout(); }
void mnuExit_Click(Windows& forms) { forms.ExitProgram(); }

}  // namespace postvane
