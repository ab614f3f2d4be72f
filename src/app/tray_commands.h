// What a click or a double click on a tray icon does, and the MDaemon menu command.
#pragma once

#include "app/app_actions.h"
#include "app/program_state.h"
#include "ports/forms.h"

namespace postvane {

// DoubleClick actions.
constexpr int16_t kDoubleClickMailProgram = 0;
constexpr int16_t kDoubleClickStatus = 1;
constexpr int16_t kDoubleClickCheckMail = 2;

// Takes over NewestUidl as the acknowledged position (saved at once) and zeroes NewCount and
// NotifiedCount. Without a NewestUidl the stored position is kept rather than erased.
// Indices outside 0..9 do nothing.
void AcknowledgeMailbox(ProgramState& state, UidlStore& uidls, int index);

// Acknowledges every mailbox with new mail.
void AcknowledgeAll(ProgramState& state, UidlStore& uidls);

// TrayType 0: all mailboxes with new mail; 1: the clicked icon's mailbox; others: nothing.
void OnTrayClick(ProgramState& state, UidlStore& uidls, int index);

// Acknowledges (except for "show status"), then runs the DoubleClick action. "Check mail"
// leaves a check under way alone and runs one minute tick out of turn.
void OnTrayDoubleClick(ProgramState& state, Forms& forms, AppActions& actions);

// Asks for an MDaemon run; the tray timer's poll carries it out.
void RequestMDaemon(ProgramState& state);

}  // namespace postvane
