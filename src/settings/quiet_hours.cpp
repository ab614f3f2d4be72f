// The quiet-hours times as stored, as typed, and the test against the clock.
#include "settings/quiet_hours.h"

#include <charconv>

namespace postvane {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Digits only, at most `width` of them.
std::optional<int> Digits(std::string_view text, std::size_t width) {
  if (text.empty() || text.size() > width) return std::nullopt;
  // from_chars would take a minus sign.
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool Valid(int16_t minutes) { return minutes >= 0 && minutes < kMinutesPerDay; }

}  // namespace

int16_t ReadQuietMinutes(std::string_view text) {
  const std::optional<int> value = Digits(Trimmed(text), 4);
  if (!value || *value >= kMinutesPerDay) return kNoQuietTime;
  return static_cast<int16_t>(*value);
}

std::optional<int16_t> ParseClockTime(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return kNoQuietTime;
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<int> hours = Digits(text.substr(0, colon), 2);
  const std::string_view minutePart = text.substr(colon + 1);
  if (minutePart.size() != 2) return std::nullopt;
  const std::optional<int> minutes = Digits(minutePart, 2);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  return static_cast<int16_t>(*hours * 60 + *minutes);
}

std::string ClockTimeText(int16_t minutes) {
  if (!Valid(minutes)) return {};
  const auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  return two(minutes / 60) + ":" + two(minutes % 60);
}

bool InQuietHours(const GeneralSettings& general, const LocalDateTime& now) {
  const int16_t from = general.QuietFrom;
  const int16_t to = general.QuietTo;
  if (!Valid(from) || !Valid(to) || from == to) return false;
  const int minute = now.Hour * 60 + now.Minute;
  if (from < to) return minute >= from && minute < to;
  return minute >= from || minute < to;  // across midnight
}

}  // namespace postvane
