// New-mail notification once per check cycle: sound, status window, mail program, desktop
// notice.
#pragma once

#include "app/program_state.h"
#include "ports/desktop_notifier.h"
#include "ports/forms.h"
#include "ports/program_starter.h"
#include "ports/sound_player.h"

namespace postvane {

// Notifies when some mailbox's non-zero count changed since it last took part in a decision
// (with ReplaySound on: whenever some mailbox has new mail). NotifiedCount follows the counts.
void NotifyNewMail(ProgramState& state, SoundPlayer& sound, Forms& forms, ProgramStarter& programs,
                   DesktopNotifier& desktop);

// Starts MailProgram without waiting; an empty command line starts nothing.
void RunMailProgram(const ProgramState& state, ProgramStarter& programs);

}  // namespace postvane
