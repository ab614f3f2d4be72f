// New-mail notification once per check cycle: sound, status window, mail program, desktop
// notice.
#pragma once

#include <functional>

#include "app/program_state.h"
#include "ports/default_mail_client.h"
#include "ports/desktop_notifier.h"
#include "ports/forms.h"
#include "ports/program_starter.h"
#include "ports/sound_player.h"

namespace postvane {

// Notifies when some mailbox's non-zero count changed since it last took part in a decision
// (with ReplaySound on: whenever some mailbox has new mail). NotifiedCount follows the counts.
// The mail program is opened as OpenMailReader does. While `quiet` answers true (quiet hours,
// the desktop's do-not-disturb) the counts are noted but nothing sounds, opens or is sent. It
// is asked only when a notification is due: asking the desktop costs a bus call and a program
// start, which a cycle with nothing to tell must not pay.
void NotifyNewMail(ProgramState& state, SoundPlayer& sound, Forms& forms, ProgramStarter& programs,
                   DesktopNotifier& desktop, DefaultMailClient* mailClient = nullptr,
                   const std::function<bool()>& quiet = {});

// Starts MailProgram without waiting; an empty command line starts nothing.
void RunMailProgram(const ProgramState& state, ProgramStarter& programs);

// MailProgram when one is set; otherwise the desktop's default mail client (none when
// `mailClient` is null); without either the status window, so that the user sees something.
void OpenMailReader(const ProgramState& state, ProgramStarter& programs,
                    DefaultMailClient* mailClient, Forms& forms);

}  // namespace postvane
