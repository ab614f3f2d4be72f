// New-mail notification once per check cycle: sound, status window, mail program.
#pragma once

#include "app/program_state.h"
#include "ports/program_starter.h"
#include "ports/sound_player.h"
#include "ports/windows.h"

namespace postvane {

// Notifies when some mailbox's non-zero count changed since it last took part in a decision
// (with ReplaySound on: whenever some mailbox has new mail). NotifiedCount follows the counts.
void NotifyNewMail(ProgramState& state, SoundPlayer& sound, Windows& forms,
                   ProgramStarter& programs);

// Starts MailProgram without waiting; an empty command line starts nothing.
void RunMailProgram(const ProgramState& state, ProgramStarter& programs);

}  // namespace postvane
