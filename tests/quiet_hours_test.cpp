// Quiet hours: the stored minutes, the dialog's clock times, and the span against the clock.
#include "settings/quiet_hours.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/fake_file_system.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"

namespace postvane {
namespace {

TEST(QuietHours, StoredMinutes) {
  const struct {
    const char* Text;
    int16_t Minutes;
  } rows[] = {{"0", 0},
              {"1439", 1439},
              {" 420 ", 420},
              {"1440", kNoQuietTime},
              {"", kNoQuietTime},
              {"-5", kNoQuietTime},
              {"7:00", kNoQuietTime},
              {"99999", kNoQuietTime},
              {"12a", kNoQuietTime}};
  for (const auto& row : rows) EXPECT_EQ(ReadQuietMinutes(row.Text), row.Minutes) << row.Text;
}

TEST(QuietHours, TypedClockTimes) {
  const struct {
    const char* Text;
    std::optional<int16_t> Minutes;
  } rows[] = {{"22:30", 1350},          {"7:05", 425},
              {" 00:00 ", 0},           {"23:59", 1439},
              {"", kNoQuietTime},       {"  ", kNoQuietTime},
              {"24:00", std::nullopt},  {"12:60", std::nullopt},
              {"12:5", std::nullopt},   {"1230", std::nullopt},
              {"ab:cd", std::nullopt},  {"-1:00", std::nullopt},
              {"123:00", std::nullopt}, {"12:00:00", std::nullopt}};
  for (const auto& row : rows) EXPECT_EQ(ParseClockTime(row.Text), row.Minutes) << row.Text;
}

TEST(QuietHours, ClockTimeTextReadsBackAsTheSameMinutes) {
  for (int16_t minutes : {0, 5, 425, 720, 1439}) {
    EXPECT_EQ(ParseClockTime(ClockTimeText(minutes)), minutes);
  }
  EXPECT_EQ(ClockTimeText(425), "07:05");
  EXPECT_EQ(ClockTimeText(kNoQuietTime), "");
  EXPECT_EQ(ClockTimeText(1440), "");
}

struct SpanCase {
  const char* Name;
  int16_t From;
  int16_t To;
  int Hour;
  int Minute;
  bool Quiet;
};

class QuietSpan : public ::testing::TestWithParam<SpanCase> {};

TEST_P(QuietSpan, AgainstTheClock) {
  GeneralSettings general;
  general.QuietFrom = GetParam().From;
  general.QuietTo = GetParam().To;
  const LocalDateTime now{2026, 12, 7, GetParam().Hour, GetParam().Minute, 30};
  EXPECT_EQ(InQuietHours(general, now), GetParam().Quiet);
}

INSTANTIATE_TEST_SUITE_P(Cases, QuietSpan,
                         ::testing::Values(SpanCase{"DayStart", 540, 1020, 9, 0, true},
                                           SpanCase{"DayInside", 540, 1020, 12, 0, true},
                                           SpanCase{"DayEndExcluded", 540, 1020, 17, 0, false},
                                           SpanCase{"DayBefore", 540, 1020, 8, 59, false},
                                           SpanCase{"NightEvening", 1320, 420, 22, 0, true},
                                           SpanCase{"NightMidnight", 1320, 420, 0, 0, true},
                                           SpanCase{"NightMorning", 1320, 420, 6, 59, true},
                                           SpanCase{"NightEndExcluded", 1320, 420, 7, 0, false},
                                           SpanCase{"NightNoon", 1320, 420, 12, 0, false},
                                           SpanCase{"EqualEndsAreEmpty", 600, 600, 10, 0, false},
                                           SpanCase{"FromEmpty", kNoQuietTime, 420, 3, 0, false},
                                           SpanCase{"ToEmpty", 1320, kNoQuietTime, 23, 0, false},
                                           SpanCase{"Damaged", 1320, 5000, 23, 0, false}),
                         [](const ::testing::TestParamInfo<SpanCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST(QuietHoursSettings, AbsentKeysAreOffAndStayAbsentWhenSaved) {
  FakeFileSystem files;
  files.Files["/p/Postvane.ini"] = "[General]\r\nInterval=9\r\n";
  SettingsStore store(files, "/p/Postvane.ini", "/p/NewMail.wav");
  GeneralSettings general;
  store.LoadGeneral(general);
  EXPECT_EQ(general.QuietFrom, kNoQuietTime);
  EXPECT_EQ(general.QuietTo, kNoQuietTime);
  store.SaveGeneral(general);
  const IniFile saved(files.Content("/p/Postvane.ini"));
  EXPECT_FALSE(saved.Read("General", "QuietFrom").has_value());
  EXPECT_FALSE(saved.Read("General", "QuietTo").has_value());
}

TEST(QuietHoursSettings, SavedAndReadBack) {
  FakeFileSystem files;
  SettingsStore store(files, "/p/Postvane.ini", "/p/NewMail.wav");
  GeneralSettings general;
  general.QuietFrom = 1350;
  general.QuietTo = 425;
  store.SaveGeneral(general);
  GeneralSettings read;
  store.LoadGeneral(read);
  EXPECT_EQ(read.QuietFrom, 1350);
  EXPECT_EQ(read.QuietTo, 425);
  // Switched off again: the keys go.
  read.QuietTo = kNoQuietTime;
  store.SaveGeneral(read);
  const IniFile saved(files.Content("/p/Postvane.ini"));
  EXPECT_EQ(saved.Read("General", "QuietFrom"), "1350");
  EXPECT_FALSE(saved.Read("General", "QuietTo").has_value());
}

}  // namespace
}  // namespace postvane
