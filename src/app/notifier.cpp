// New-mail notification and the mail program start.
#include "app/notifier.h"

#include "app/desktop_notice.h"
#include "app/first_use.h"
#include "check/mailbox_table.h"
#include "settings/general_settings.h"

namespace postvane {

void NotifyNewMail(ProgramState& state, SoundPlayer& sound, Forms& forms, ProgramStarter& programs,
                   DesktopNotifier& desktop, DefaultMailClient* mailClient,
                   const std::function<bool()>& quiet) {
  bool notify = false;
  for (int i = 0; i < kUserMailboxes; ++i) {
    const int16_t count = state.Mailboxes[i].NewCount;
    if (count != 0) {
      if (count != state.NotifiedCount[i] || state.General.ReplaySound != 0) {
        state.NotifiedCount[i] = count;
        notify = true;
      }
    } else {
      // A count that fell to 0 notifies again when it comes back, even to the same value.
      state.NotifiedCount[i] = 0;
    }
  }
  // Mail that arrives in quiet hours is not announced afterwards either: the tray shows it.
  if (!notify || (quiet && quiet())) return;

  const int16_t kinds = state.General.NotifyType;
  if ((kinds & kNotifySound) != 0) sound.PlayAsync(state.General.SoundFile);
  if ((kinds & kNotifyPopUp) != 0) forms.ShowStatus();
  if ((kinds & kNotifyMailProgram) != 0) OpenMailReader(state, programs, mailClient, forms);
  if ((kinds & kNotifyDesktop) != 0) desktop.Show(MakeDesktopNotice(state));
}

void RunMailProgram(const ProgramState& state, ProgramStarter& programs) {
  if (state.General.MailProgram.empty()) return;
  // A failed start is not reported.
  programs.StartDetached(state.General.MailProgram);
}

void OpenMailReader(const ProgramState& state, ProgramStarter& programs,
                    DefaultMailClient* mailClient, Forms& forms) {
  if (MailProgramSet(state.General)) {
    RunMailProgram(state, programs);
  } else if (mailClient == nullptr || !mailClient->Start()) {
    forms.ShowStatus();
  }
}

}  // namespace postvane
