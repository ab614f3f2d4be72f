// Quiet hours: a daily span, possibly across midnight, in which new mail makes no noise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ports/local_date_time.h"
#include "settings/general_settings.h"

namespace postvane {

constexpr int16_t kNoQuietTime = -1;
constexpr int kMinutesPerDay = 24 * 60;

// A stored QuietFrom/QuietTo: whole minutes after midnight, 0 to 1439. Anything else (empty,
// text, out of range) reads as no time, and quiet hours are then off.
int16_t ReadQuietMinutes(std::string_view text);

// What the dialog's box holds: "22:30" or "7:05" gives minutes after midnight; an empty box
// gives kNoQuietTime; anything else is no time at all (nullopt) and leaves the setting alone.
std::optional<int16_t> ParseClockTime(std::string_view text);

// "07:05" for 425; empty for kNoQuietTime.
std::string ClockTimeText(int16_t minutes);

// Both ends set and different, and `now` lies in [from, to), where to may be on the next day.
bool InQuietHours(const GeneralSettings& general, const LocalDateTime& now);

}  // namespace postvane
