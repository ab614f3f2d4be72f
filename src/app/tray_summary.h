// The tray summary: what the ten tray icons show for the state of the ten mailboxes.
#pragma once

#include <string>
#include <string_view>

#include "app/program_state.h"
#include "ports/date_text.h"
#include "ports/tray_icons.h"
#include "text/replace_hash.h"

namespace postvane {

inline constexpr std::string_view kProductName = "Postvane";

// Icon resource ids.
constexpr int kIconIdle = 101;
constexpr int kIconError = 103;  // also the base of the count pictures 104..123
constexpr int kIconCountMax = 123;
constexpr int kIconMarkerBase = 124;  // mailbox i: 124 + i
constexpr int kIconAnimationBase = 134;

// 103 + n, held to the pictures that exist: 123 ("20") above 20.
int CountPicture(long long count);

// The tray changes by itself: a check animates its icon, or (one icon per mailbox) a mailbox
// with new mail blinks. Otherwise a refresh shows the same as the one before.
bool TrayAnimates(const ProgramState& state);

// Runs every 1.5 s and after each change of a mailbox's check state. Flips BlinkPhase on
// every call; TrayType 0 shows one summary icon, 1 one icon per mailbox, others change no icon.
void RefreshTray(ProgramState& state, TrayIcons& tray, const DateText& dateText);

}  // namespace postvane
