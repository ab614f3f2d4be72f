// Web mail from the tray: the menu's entries and the mailbox a click on the notice opens.
#pragma once

#include <string>
#include <vector>

#include "app/program_state.h"

namespace postvane {

struct WebMailEntry {
  int Index = 0;
  std::string Caption;  // plain text
  bool operator==(const WebMailEntry&) const = default;
};

// One entry per mailbox with a usable address, in mailbox order: "Open web mail" and, when
// more than one mailbox has one, the mailbox's name.
std::vector<WebMailEntry> WebMailEntries(const ProgramState& state);

// The mailbox whose web mail a click on the notice opens: of those with new mail and a usable
// address, the one checked last (the lowest on a tie); -1 when there is none.
int WebMailForNotice(const ProgramState& state);

}  // namespace postvane
