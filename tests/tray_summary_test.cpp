// The tray summary: pictures, tool tips and visibility in both display modes.
#include "app/tray_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/first_use.h"
#include "fakes/fake_date_text.h"
#include "fakes/fake_tray_icons.h"
#include "text/own_text.h"
#include "text/string_id.h"
#include "text/string_table.h"

namespace postvane {
namespace {

using What = FakeTrayIcons::What;

LocalDateTime At(int hour, int minute, int second) { return {2026, 12, 7, hour, minute, second}; }

class TraySummaryTest : public ::testing::Test {
 protected:
  TraySummaryTest() {
    state.LanguageBase = 900;  // English
    for (int i = 0; i < kUserMailboxes; ++i) state.Mailboxes[i].Name = "Box" + std::to_string(i);
    // Set up as in everyday use; the first start has its own tests.
    state.Mailboxes[0].Enabled = kTrue;
  }

  void Refresh() { RefreshTray(state, tray, dates); }
  void RefreshFresh() {
    tray.Writes.clear();
    Refresh();
  }
  MailboxRecord& Box(int i) { return state.Mailboxes[i]; }

  ProgramState state;
  FakeTrayIcons tray;
  FakeDateText dates;
};

// ---- Single icon (TrayType 0)

TEST_F(TraySummaryTest, SingleIconAfterStartUpWithNothingToReport) {
  state.General.TrayType = 0;
  Refresh();
  EXPECT_EQ(tray.Picture[0], 101);
  EXPECT_EQ(tray.ToolTip[0], "00:00:00 - Postvane");
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{0});

  std::vector<FakeTrayIcons::Write> expected = {
      FakeTrayIcons::PictureWrite(0, 101), FakeTrayIcons::ToolTipWrite(0, "00:00:00 - Postvane"),
      FakeTrayIcons::VisibleWrite(0, true)};
  for (int k = 1; k < kTrayIcons; ++k) expected.push_back(FakeTrayIcons::VisibleWrite(k, false));
  EXPECT_EQ(tray.Writes, expected);
}

struct TotalCase {
  const char* Name;
  std::vector<int16_t> Counts;  // mailboxes 0.. in order
  int Picture;
  std::string Text;
};

class SingleIconTotals : public TraySummaryTest, public ::testing::WithParamInterface<TotalCase> {};

TEST_P(SingleIconTotals, PictureAndToolTip) {
  state.General.TrayType = 0;
  const TotalCase& c = GetParam();
  for (size_t i = 0; i < c.Counts.size(); ++i) {
    Box(static_cast<int>(i)).NewCount = c.Counts[i];
    Box(static_cast<int>(i)).LastCheck = At(9, static_cast<int>(i), 0);
  }
  Box(8).LastCheck = At(10, 0, 0);  // the newest check, though idle
  Refresh();
  EXPECT_EQ(tray.Picture[0], c.Picture);
  EXPECT_EQ(tray.ToolTip[0], "2026-12-07 10:00:00 - " + c.Text);
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleIconTotals,
    ::testing::Values(TotalCase{"One", {0, 0, 1}, 104, "There is one new message!"},
                      TotalCase{"Seven", {3, 0, 0, 4}, 110, "There are 7 new messages!"},
                      TotalCase{"Twenty", {20}, 123, "There are 20 new messages!"},
                      TotalCase{"TwentyFive", {20, 5}, 123, "There are 25 new messages!"},
                      TotalCase{
                          "AboveSixteenBits",
                          {32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767},
                          123,
                          "There are 327670 new messages!"}),
    [](const ::testing::TestParamInfo<TotalCase>& info) { return std::string(info.param.Name); });

// ---- A failed check behind an old count (both modes, every language)

struct FailedBehindCountCase {
  const char* Name;
  int16_t TrayType;
  int16_t LanguageBase;
  int Icon;                 // the icon that carries the count
  std::string CountText;    // what the tool tip says before the failure, in that language
  std::string FailureText;  // how it names the failing mailbox
};

class FailedBehindCount : public TraySummaryTest,
                          public ::testing::WithParamInterface<FailedBehindCountCase> {
 protected:
  FailedBehindCount() {
    const FailedBehindCountCase& c = GetParam();
    state.General.TrayType = c.TrayType;
    state.LanguageBase = c.LanguageBase;
    Box(3).NewCount = 11;
    Box(3).StatusText = "-ERR [AUTH] Authentication failed.";
  }
  std::vector<int> Pictures(int icon, int refreshes) {
    std::vector<int> pictures;
    for (int n = 0; n < refreshes; ++n) {
      Refresh();
      pictures.push_back(tray.Picture[icon]);
    }
    return pictures;
  }
};

TEST_P(FailedBehindCount, ToolTipNamesTheFailureAfterTheCount) {
  const FailedBehindCountCase& c = GetParam();
  Refresh();
  EXPECT_EQ(tray.ToolTip[c.Icon], "00:00:00 - " + c.CountText + " - " +
                                      OwnString(c.LanguageBase, OwnText::LastCheckFailed) + " " +
                                      c.FailureText);
}

TEST_P(FailedBehindCount, IconAlternatesCountAndErrorMarkerUntilACheckSucceeds) {
  const FailedBehindCountCase& c = GetParam();
  EXPECT_TRUE(TrayAnimates(state));
  EXPECT_EQ(Pictures(c.Icon, 4), (std::vector<int>{kIconError, 114, kIconError, 114}));

  Box(3).StatusText.clear();  // the next check succeeded; the count is still unacknowledged
  const std::vector<int> after = Pictures(c.Icon, 4);
  EXPECT_EQ(std::count(after.begin(), after.end(), kIconError), 0);
  EXPECT_EQ(tray.ToolTip[c.Icon].find(OwnString(c.LanguageBase, OwnText::LastCheckFailed)),
            std::string::npos);
}

const int16_t kLanguageBases[] = {300, 700, 900, 1000, 1600, 1900};

std::vector<FailedBehindCountCase> FailedBehindCountCases() {
  std::vector<FailedBehindCountCase> cases;
  for (int16_t base : kLanguageBases) {
    const std::string many = ReplaceHash(LocalString(base, StringId::ManyNewMessages), 11);
    const std::string perBox =
        "Box3 " + ReplaceHash(LocalString(base, StringId::MailboxHasNew), 11);
    cases.push_back({"Single", 0, base, 0, many, "Box3: -ERR [AUTH] Authentication failed."});
    cases.push_back({"PerMailbox", 1, base, 3, perBox, "-ERR [AUTH] Authentication failed."});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedBehindCount, ::testing::ValuesIn(FailedBehindCountCases()),
                         [](const ::testing::TestParamInfo<FailedBehindCountCase>& info) {
                           return std::string(info.param.Name) +
                                  std::to_string(info.param.LanguageBase);
                         });

TEST_F(TraySummaryTest, SingleIconNamesTheFirstFailureWhenAnotherMailboxHasTheCount) {
  state.General.TrayType = 0;
  Box(2).NewCount = 2;
  Box(5).StatusText = "Mailserver not ready!";
  Box(7).StatusText = "Password is wrong!";
  Refresh();
  EXPECT_EQ(
      tray.ToolTip[0],
      "00:00:00 - There are 2 new messages! - last check failed: Box5: Mailserver not ready!");
}

TEST_F(TraySummaryTest, SingleIconNamesTheLowestErroringMailbox) {
  state.General.TrayType = 0;
  Box(3).StatusText = "Password is wrong!";
  Box(6).StatusText = "Mailserver not ready!";
  Box(6).LastCheck = At(8, 30, 5);
  Refresh();
  EXPECT_EQ(tray.Picture[0], 103);
  EXPECT_EQ(tray.ToolTip[0], "2026-12-07 08:30:05 - Box3: Password is wrong!");
}

TEST_F(TraySummaryTest, SingleIconAnimatesWithoutTimeAndLeavesVisibilityAlone) {
  state.General.TrayType = 0;
  Box(4).State = MailboxState::UidlSent;
  Box(2).NewCount = 5;  // a running check outranks new mail
  tray.Visible[3] = true;
  std::vector<int> pictures;
  for (int n = 0; n < 5; ++n) {
    RefreshFresh();
    pictures.push_back(tray.Picture[0]);
    EXPECT_EQ(tray.ToolTip[0], "Checking....");
    EXPECT_EQ(tray.CountWrites(What::Visible), 0);
  }
  EXPECT_EQ(pictures, (std::vector<int>{135, 136, 137, 134, 135}));
  EXPECT_EQ(tray.VisibleIcons(), (std::vector<int>{0, 3}));
}

TEST_F(TraySummaryTest, CheckingMeansStatesOneToEight) {
  state.General.TrayType = 0;
  for (int code = 0; code <= 9; ++code) {
    Box(1).State = static_cast<MailboxState>(code);
    RefreshFresh();
    const bool checking = code > 0 && code < 9;
    EXPECT_EQ(tray.ToolTip[0] == "Checking....", checking) << "state " << code;
  }
}

TEST_F(TraySummaryTest, SingleIconSteadyIdleAndErrorAreNotRewritten) {
  state.General.TrayType = 0;
  Refresh();
  RefreshFresh();
  EXPECT_EQ(tray.CountWrites(What::Picture), 0);
  EXPECT_EQ(tray.CountWrites(What::ToolTip), 0);
  EXPECT_EQ(tray.CountWrites(What::Visible), 10);  // written on every call in this mode

  Box(1).StatusText = "Username unknown!";
  RefreshFresh();
  EXPECT_EQ(tray.CountWrites(What::Picture), 1);
  EXPECT_EQ(tray.Picture[0], 103);
  RefreshFresh();
  EXPECT_EQ(tray.CountWrites(What::Picture), 0);
  EXPECT_EQ(tray.CountWrites(What::ToolTip), 0);
}

TEST_F(TraySummaryTest, SingleIconNewMailIsWrittenOnEveryCallWithoutBlinking) {
  state.General.TrayType = 0;
  Box(0).NewCount = 3;
  for (int n = 0; n < 3; ++n) {
    RefreshFresh();
    EXPECT_EQ(tray.Writes[0], FakeTrayIcons::PictureWrite(0, 106));
    EXPECT_EQ(tray.Writes[1],
              FakeTrayIcons::ToolTipWrite(0, "00:00:00 - There are 3 new messages!"));
  }
}

TEST_F(TraySummaryTest, IdleTextTakesTheNewestCheckAndTheDateTextRules) {
  state.General.TrayType = 0;
  Box(1).LastCheck = At(9, 0, 0);
  Box(7).LastCheck = At(11, 15, 0);
  Box(3).LastCheck = At(10, 0, 0);
  Refresh();
  EXPECT_EQ(tray.ToolTip[0], "2026-12-07 11:15:00 - Postvane");

  Box(7).LastCheck = {2026, 12, 8, 0, 0, 0};  // midnight: the date alone
  Refresh();
  EXPECT_EQ(tray.ToolTip[0], "2026-12-08 - Postvane");
}

// ---- No mailbox enabled yet (both modes)

class NoMailboxEnabled : public TraySummaryTest,
                         public ::testing::WithParamInterface<std::tuple<int16_t, int16_t>> {
 protected:
  NoMailboxEnabled() {
    state.Mailboxes[0].Enabled = kFalse;
    state.General.TrayType = std::get<0>(GetParam());
    state.LanguageBase = std::get<1>(GetParam());
  }
};

TEST_P(NoMailboxEnabled, IdleToolTipSaysHowToSetOneUpNamingTheMenuEntry) {
  Refresh();
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{0});
  EXPECT_EQ(tray.Picture[0], 101);
  const std::string tip = tray.ToolTip[0];
  EXPECT_EQ(tip.rfind("Postvane: ", 0), 0u) << tip;
  EXPECT_EQ(tip.find("00:00:00"), std::string::npos) << "no check has run; no time to show";
  const std::string menuEntry = LocalString(state.LanguageBase, StringId::MenuConfiguration);
  ASSERT_FALSE(menuEntry.empty());
  EXPECT_NE(tip.find(menuEntry), std::string::npos) << tip;
  EXPECT_EQ(tip, "Postvane: " + OwnString(state.LanguageBase, OwnText::NoMailboxEnabled));
}

TEST_P(NoMailboxEnabled, EnablingAMailboxBringsBackTheTimeAndAnErrorStillShows) {
  Refresh();
  Box(3).Enabled = kTrue;
  Box(3).LastCheck = At(9, 30, 0);
  Refresh();
  EXPECT_EQ(tray.ToolTip[0], dates.Format(At(9, 30, 0)) + " - Postvane");

  Box(3).Enabled = kFalse;
  Box(3).StatusText = "Password is wrong!";
  Refresh();
  EXPECT_EQ(tray.Picture[state.General.TrayType == 0 ? 0 : 3], 103);
}

INSTANTIATE_TEST_SUITE_P(ModesAndLanguages, NoMailboxEnabled,
                         ::testing::Combine(::testing::Values<int16_t>(0, 1),
                                            ::testing::Values<int16_t>(300, 700, 900, 1000, 1600,
                                                                       1900)));

// UTF-16 code units, as the platforms count a tool tip's length.
std::size_t Utf16Units(const std::string& utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // a character starts here
    if ((byte & 0xF8) == 0xF0) ++units;  // beyond the first plane: a surrogate pair
  }
  return units;
}

TEST(NoMailboxToolTip, FitsTheShortestTrayToolTipInEveryLanguage) {
  // The notification area of Windows keeps 127 units of a tool tip and cuts the rest.
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    const std::string tip = NoMailboxToolTip(base);
    EXPECT_LE(Utf16Units(tip), 127u) << tip;
  }
}

TEST(NoMailboxToolTip, DiffersInEveryLanguage) {
  std::set<std::string> seen;
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    EXPECT_TRUE(seen.insert(OwnString(base, OwnText::NoMailboxEnabled)).second) << base;
  }
}

// ---- One icon per mailbox (TrayType 1)

TEST_F(TraySummaryTest, PerMailboxOnlyMailbox4BlinksBetweenCountAndMarker) {
  state.General.TrayType = 1;
  Box(4).NewCount = 3;
  Box(4).LastCheck = At(10, 0, 0);
  std::vector<int> pictures;
  for (int n = 0; n < 4; ++n) {
    Refresh();
    pictures.push_back(tray.Picture[4]);
    EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{4});
    EXPECT_EQ(tray.ToolTip[4], "2026-12-07 10:00:00 - Box4 has 3 new message(s)!");
  }
  // The first call flips BlinkPhase from 0 to 1: marker first.
  EXPECT_EQ(pictures, (std::vector<int>{128, 106, 128, 106}));
}

TEST_F(TraySummaryTest, PerMailboxNewMailWritesToolTipThenPicture) {
  state.General.TrayType = 1;
  Box(2).NewCount = 1;
  Refresh();
  EXPECT_EQ(tray.WritesTo(2),
            (std::vector<FakeTrayIcons::Write>{
                FakeTrayIcons::ToolTipWrite(2, "00:00:00 - Box2 has 1 new message(s)!"),
                FakeTrayIcons::PictureWrite(2, 126), FakeTrayIcons::VisibleWrite(2, true)}));
}

TEST_F(TraySummaryTest, PerMailboxNothingToReportShowsIconZeroAlone) {
  state.General.TrayType = 1;
  Box(5).LastCheck = At(7, 45, 0);
  Refresh();
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{0});
  EXPECT_EQ(tray.Picture[0], 101);
  EXPECT_EQ(tray.ToolTip[0], "2026-12-07 07:45:00 - Postvane");
  // Icon 0 was already visible and the others hidden: no visibility write at all.
  EXPECT_EQ(tray.CountWrites(What::Visible), 0);
}

TEST_F(TraySummaryTest, PerMailboxIconZeroHiddenWhileCheckingAndOthersShow) {
  state.General.TrayType = 1;
  Box(0).State = MailboxState::Connecting;
  Box(2).NewCount = 2;
  Refresh();
  EXPECT_EQ(tray.Picture[0], 135);
  EXPECT_EQ(tray.ToolTip[0], "00:00:00 - Checking....");
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{2});
}

TEST_F(TraySummaryTest, PerMailboxErrorOnZeroAndMailOnSevenShowBoth) {
  state.General.TrayType = 1;
  Box(0).StatusText = "Mailserver not avaiable!";
  Box(0).LastCheck = At(6, 0, 1);
  Box(7).NewCount = 1;
  Refresh();
  EXPECT_EQ(tray.VisibleIcons(), (std::vector<int>{0, 7}));
  EXPECT_EQ(tray.Picture[0], 103);
  EXPECT_EQ(tray.ToolTip[0], "2026-12-07 06:00:01 - Box0: Mailserver not avaiable!");
}

TEST_F(TraySummaryTest, PerMailboxErrorElsewhereHidesIdleIconZero) {
  state.General.TrayType = 1;
  Box(5).StatusText = "Password is wrong!";
  Refresh();
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{5});
  EXPECT_EQ(tray.Picture[5], 103);
}

TEST_F(TraySummaryTest, PerMailboxAnimationAdvancesOncePerCheckingMailbox) {
  state.General.TrayType = 1;
  Box(1).State = MailboxState::Connected;
  Box(3).State = MailboxState::TopSent;
  Box(3).NewCount = 4;  // checking outranks new mail
  Refresh();
  EXPECT_EQ(tray.Picture[1], 135);
  EXPECT_EQ(tray.Picture[3], 136);
  EXPECT_EQ(tray.ToolTip[3], "00:00:00 - Checking....");
  Refresh();
  EXPECT_EQ(tray.Picture[1], 137);
  EXPECT_EQ(tray.Picture[3], 134);
  EXPECT_EQ(tray.VisibleIcons(), (std::vector<int>{1, 3}));
}

TEST_F(TraySummaryTest, PerMailboxCountsTwentyAndAboveShowTwenty) {
  state.General.TrayType = 1;
  state.BlinkPhase = 1;  // the next call shows the count
  Box(1).NewCount = 20;
  Box(2).NewCount = 21;
  Box(3).NewCount = 19;
  Refresh();
  EXPECT_EQ(tray.Picture[1], 123);
  EXPECT_EQ(tray.Picture[2], 123);
  EXPECT_EQ(tray.Picture[3], 122);
}

TEST_F(TraySummaryTest, PerMailboxSteadyStateWritesNothing) {
  state.General.TrayType = 1;
  Box(3).StatusText = "Username unknown!";
  Refresh();
  RefreshFresh();
  EXPECT_TRUE(tray.Writes.empty());

  Box(3).StatusText = "Password is wrong!";
  RefreshFresh();
  EXPECT_EQ(tray.Writes,
            (std::vector<FakeTrayIcons::Write>{
                FakeTrayIcons::PictureWrite(3, 103),
                FakeTrayIcons::ToolTipWrite(3, "00:00:00 - Box3: Password is wrong!")}));
}

TEST_F(TraySummaryTest, PerMailboxVisibilityWrittenOnlyWhenItChanges) {
  state.General.TrayType = 1;
  Box(4).NewCount = 1;
  Refresh();
  EXPECT_EQ(tray.CountWrites(What::Visible), 2);  // 0 hidden, 4 shown
  RefreshFresh();
  EXPECT_EQ(tray.CountWrites(What::Visible), 0);
  Box(4).NewCount = 0;  // acknowledged
  RefreshFresh();
  EXPECT_EQ(tray.Writes.back(), FakeTrayIcons::VisibleWrite(4, false));
  EXPECT_EQ(tray.VisibleIcons(), std::vector<int>{0});
}

// ---- Other display modes and the state kept between calls

TEST_F(TraySummaryTest, OtherTrayTypesChangeNoIconButFlipTheBlinkPhase) {
  for (int16_t type : {int16_t{2}, int16_t{-1}, int16_t{32767}}) {
    state.General.TrayType = type;
    Box(2).NewCount = 3;
    Box(4).State = MailboxState::Connecting;
    const int16_t before = state.BlinkPhase;
    const int16_t frame = state.AnimationFrame;
    RefreshFresh();
    EXPECT_TRUE(tray.Writes.empty());
    EXPECT_NE(state.BlinkPhase, before);
    EXPECT_EQ(state.AnimationFrame, frame);
  }
}

TEST_F(TraySummaryTest, BlinkPhaseFlipsToOneFromAnythingButOne) {
  state.General.TrayType = 2;
  state.BlinkPhase = 0;
  Refresh();
  EXPECT_EQ(state.BlinkPhase, 1);
  Refresh();
  EXPECT_EQ(state.BlinkPhase, 0);
  state.BlinkPhase = 7;
  Refresh();
  EXPECT_EQ(state.BlinkPhase, 1);
}

TEST_F(TraySummaryTest, AnimationStopsOnTheFrameItReachedAndGoesOnFromThere) {
  state.General.TrayType = 0;
  Box(0).State = MailboxState::Connecting;
  Refresh();
  Refresh();
  EXPECT_EQ(state.AnimationFrame, 2);
  Box(0).State = MailboxState::QuitSent;
  Refresh();
  EXPECT_EQ(state.AnimationFrame, 2);
  Box(0).State = MailboxState::Connecting;
  Refresh();
  EXPECT_EQ(tray.Picture[0], 137);
}

TEST_F(TraySummaryTest, DamagedAnimationFrameRestartsTheSeries) {
  state.General.TrayType = 0;
  Box(0).State = MailboxState::Connecting;
  state.AnimationFrame = -5;
  Refresh();
  EXPECT_EQ(tray.Picture[0], 134);
}

TEST(TraySummaryHelpers, TrayAnimatesWhileCheckingOrBlinking) {
  struct Row {
    const char* what;
    int16_t trayType;
    MailboxState state;
    int16_t newCount;
    bool animates;
  };
  const Row rows[] = {
      {"idle, nothing new", 1, MailboxState::Idle, 0, false},
      {"per-mailbox icons blink for new mail", 1, MailboxState::Idle, 3, true},
      {"the single icon shows a steady count", 0, MailboxState::Idle, 3, false},
      {"connecting animates", 0, MailboxState::Connecting, 0, true},
      {"fetching headers animates", 1, MailboxState::TopSent, 0, true},
      {"the wait for the QUIT reply does not", 0, MailboxState::QuitSent, 0, false},
      {"other tray types show nothing", 2, MailboxState::Idle, 3, false},
  };
  for (const Row& row : rows) {
    ProgramState state;
    state.General.TrayType = row.trayType;
    state.Mailboxes[7].State = row.state;
    state.Mailboxes[7].NewCount = row.newCount;
    EXPECT_EQ(TrayAnimates(state), row.animates) << row.what;
  }
}

TEST(TraySummaryHelpers, CountPicture) {
  EXPECT_EQ(CountPicture(1), 104);
  EXPECT_EQ(CountPicture(7), 110);
  EXPECT_EQ(CountPicture(20), 123);
  EXPECT_EQ(CountPicture(21), 123);
  EXPECT_EQ(CountPicture(327670), 123);
  EXPECT_EQ(CountPicture(-3), 103);
}

TEST(TraySummaryHelpers, ReplaceHashReplacesEveryMark) {
  EXPECT_EQ(ReplaceHash("# of #", 12), "12 of 12");
  EXPECT_EQ(ReplaceHash("none", 5), "none");
  EXPECT_EQ(ReplaceHash("", 5), "");
}

}  // namespace
}  // namespace postvane
