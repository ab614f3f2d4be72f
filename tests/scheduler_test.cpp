// Start-up order, the minute scheduler and the tray tick.
#include "app/scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/call_log.h"
#include "fakes/fake_app_actions.h"
#include "fakes/fake_forms.h"

namespace postvane {
namespace {

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() : forms(&log), actions(&log) {}

  ProgramState state;
  CallLog log;
  FakeForms forms;
  FakeAppActions actions;
};

TEST_F(StartUpTest, StepsRunInOrder) {
  StartUp(state, forms, actions, 0x0409);
  CallLog expected = {"LocalizeMainCaptions"};
  for (int i = 0; i < 10; ++i) expected.push_back("LoadMailbox(" + std::to_string(i) + ")");
  expected.insert(expected.end(),
                  {"LoadGeneral", "SetMDaemonMenuVisible(0)", "StartCycle", "RefreshTray"});
  EXPECT_EQ(log, expected);
}

TEST_F(StartUpTest, LanguageIsSetBeforeTheCaptionsAndTheSettings) {
  state.LanguageBase = 0;
  std::vector<int16_t> baseAtLoad;
  actions.OnLoadMailbox = [&](int16_t) { baseAtLoad.push_back(state.LanguageBase); };
  StartUp(state, forms, actions, 0x0407);  // German
  EXPECT_EQ(state.LanguageBase, 700);
  EXPECT_EQ(baseAtLoad, std::vector<int16_t>(10, 700));
}

TEST_F(StartUpTest, LanguageBaseFollowsTheUserLanguage) {
  struct Row {
    uint16_t Id;
    int16_t Base;
  };
  for (const Row& row : {Row{0x0403, 300}, Row{0x0807, 700}, Row{0x0809, 900}, Row{0x0C0A, 1000},
                         Row{0x0410, 1600}, Row{0x0413, 1900}, Row{0x040C, 900}, Row{0, 900}}) {
    StartUp(state, forms, actions, row.Id);
    EXPECT_EQ(state.LanguageBase, row.Base) << std::hex << row.Id;
  }
}

TEST_F(StartUpTest, EachMailboxGetsOneEmptyHeaderAfterItIsLoaded) {
  std::vector<int> sizeAtLoad;
  actions.OnLoadMailbox = [&](int16_t i) {
    sizeAtLoad.push_back(static_cast<int>(state.Mailboxes[i].Headers.size()));
    if (i > 0) {
      EXPECT_EQ(state.Mailboxes[i - 1].Headers.size(), 1u) << "mailbox " << i - 1;
    }
    // Whatever was there before is replaced.
    state.Mailboxes[i].Headers.resize(3, MessageHeader{"a", "b", "c", "d", "e"});
  };
  StartUp(state, forms, actions, 0x0409);
  EXPECT_EQ(sizeAtLoad, std::vector<int>(10, 0));
  for (int i = 0; i < kUserMailboxes; ++i) {
    ASSERT_EQ(HeadersUpperBound(state.Mailboxes[i]), 0) << i;
    EXPECT_TRUE(state.Mailboxes[i].Headers[0].From.empty());
    EXPECT_TRUE(state.Mailboxes[i].Headers[0].Priority.empty());
  }
  EXPECT_EQ(HeadersUpperBound(state.Mailboxes[kEndOfCycle]), -1);
}

TEST_F(StartUpTest, MDaemonMenuEntryFollowsTheLoadedSetting) {
  for (int16_t value : {int16_t{0}, int16_t{1}, int16_t{5}, int16_t{-1}}) {
    actions.OnLoadGeneral = [&] { state.General.MDaemonActivate = value; };
    StartUp(state, forms, actions, 0x0409);
    EXPECT_EQ(forms.MDaemonMenuVisible, value != 0) << value;
  }
}

struct IntervalCase {
  const char* Name;
  int16_t Interval;
  std::vector<int> CheckTicks;  // within the first 18 ticks
};

class MinuteTimerTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(MinuteTimerTest, ChecksOnEveryIntervalPlusOnethTick) {
  ProgramState state;
  FakeAppActions actions;
  state.General.Interval = GetParam().Interval;
  std::vector<int> ticks;
  for (int tick = 1; tick <= 18; ++tick) {
    const int before = actions.CheckCycles;
    OnMinuteTimer(state, actions);
    if (actions.CheckCycles != before) ticks.push_back(tick);
  }
  EXPECT_EQ(ticks, GetParam().CheckTicks);
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, MinuteTimerTest,
    ::testing::Values(
        IntervalCase{"Five", 5, {6, 12, 18}},
        IntervalCase{"One", 1, {2, 4, 6, 8, 10, 12, 14, 16, 18}},
        IntervalCase{"Zero", 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
        IntervalCase{
            "Negative", -4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
        IntervalCase{
            "Lowest", -32768, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}}),
    [](const ::testing::TestParamInfo<IntervalCase>& info) {
      return std::string(info.param.Name);
    });

TEST(MinuteTimer, LoweringTheIntervalTakesEffectAtTheNextTick) {
  ProgramState state;
  FakeAppActions actions;
  state.General.Interval = 10;
  for (int n = 0; n < 4; ++n) OnMinuteTimer(state, actions);
  EXPECT_EQ(state.MinuteCount, 4);
  state.General.Interval = 2;
  OnMinuteTimer(state, actions);
  EXPECT_EQ(actions.CheckCycles, 1);
  EXPECT_EQ(state.MinuteCount, 0);
}

TEST(MinuteTimer, HighestIntervalCountsUpWithoutOverflow) {
  ProgramState state;
  FakeAppActions actions;
  state.General.Interval = 32767;
  state.MinuteCount = 32766;
  OnMinuteTimer(state, actions);
  EXPECT_EQ(state.MinuteCount, 32767);
  EXPECT_EQ(actions.CheckCycles, 0);
  OnMinuteTimer(state, actions);
  EXPECT_EQ(state.MinuteCount, 0);
  EXPECT_EQ(actions.CheckCycles, 1);
}

TEST(MinuteTimer, ACountAboveTheIntervalStartsACycle) {
  ProgramState state;
  FakeAppActions actions;
  state.General.Interval = 3;
  state.MinuteCount = 9;
  OnMinuteTimer(state, actions);
  EXPECT_EQ(actions.CheckCycles, 1);
  EXPECT_EQ(state.MinuteCount, 0);
}

TEST(TrayTimer, RefreshesThenPollsMDaemon) {
  FakeAppActions actions;
  OnTrayTimer(actions);
  OnTrayTimer(actions);
  EXPECT_EQ(actions.Log(), (CallLog{"RefreshTray", "PollMDaemon", "RefreshTray", "PollMDaemon"}));
}

}  // namespace
}  // namespace postvane
