// New-mail notification: when it fires, what it does, in which order.
#include "app/notifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tray_commands.h"
#include "fakes/call_log.h"
#include "fakes/fake_app_actions.h"
#include "fakes/fake_default_mail_client.h"
#include "fakes/fake_desktop_notifier.h"
#include "fakes/fake_forms.h"
#include "fakes/fake_program_starter.h"
#include "fakes/fake_sound_player.h"

namespace postvane {
namespace {

class NotifierTest : public ::testing::Test {
 protected:
  NotifierTest() : sound(&log), forms(&log), programs(&log) {
    state.General.SoundFile = "/opt/postvane/NewMail.wav";
    state.General.MailProgram = "mailreader --inbox";
    state.General.NotifyType = kNotifySound;
  }

  void Cycle() { NotifyNewMail(state, sound, forms, programs, desktop); }
  MailboxRecord& Box(int i) { return state.Mailboxes[i]; }

  ProgramState state;
  CallLog log;
  FakeSoundPlayer sound;
  FakeForms forms;
  FakeProgramStarter programs;
  FakeDesktopNotifier desktop;
};

TEST_F(NotifierTest, FirstCycleWithNewMailPlaysTheSoundOnce) {
  Box(2).NewCount = 2;
  Cycle();
  EXPECT_EQ(sound.Played, std::vector<std::string>{"/opt/postvane/NewMail.wav"});
  EXPECT_EQ(state.NotifiedCount[2], 2);
  EXPECT_EQ(forms.StatusShown, 0);
  EXPECT_TRUE(programs.Started.empty());
}

TEST_F(NotifierTest, UnchangedCountIsQuietUnlessReplaySoundIsOn) {
  Box(2).NewCount = 2;
  Cycle();
  Cycle();
  EXPECT_EQ(sound.Played.size(), 1u);

  state.General.ReplaySound = kTrue;
  Cycle();
  Cycle();
  EXPECT_EQ(sound.Played.size(), 3u);
}

TEST_F(NotifierTest, ReplaySoundDoesNothingWithoutNewMail) {
  state.General.ReplaySound = kTrue;
  Cycle();
  EXPECT_TRUE(sound.Played.empty());
}

TEST_F(NotifierTest, RiseAndFallOfANonZeroCountBothNotify) {
  Box(4).NewCount = 2;
  Cycle();
  Box(4).NewCount = 3;
  Cycle();
  EXPECT_EQ(sound.Played.size(), 2u);
  Box(4).NewCount = 2;
  Cycle();
  EXPECT_EQ(sound.Played.size(), 3u);
  EXPECT_EQ(state.NotifiedCount[4], 2);
}

TEST_F(NotifierTest, FallToZeroResetsSoTheSameCountNotifiesAgain) {
  Box(1).NewCount = 2;
  Cycle();
  Box(1).NewCount = 0;
  Cycle();
  EXPECT_EQ(sound.Played.size(), 1u);
  EXPECT_EQ(state.NotifiedCount[1], 0);
  Box(1).NewCount = 2;
  Cycle();
  EXPECT_EQ(sound.Played.size(), 2u);
}

TEST_F(NotifierTest, AcknowledgingResetsSoOneNewMessageNotifies) {
  Box(5).NewCount = 1;
  Box(5).NewestUidl = "uid-7";
  Cycle();
  FakeAppActions actions;
  AcknowledgeMailbox(state, actions, 5);
  EXPECT_EQ(state.NotifiedCount[5], 0);
  Cycle();  // nothing new yet
  EXPECT_EQ(sound.Played.size(), 1u);
  Box(5).NewCount = 1;
  Cycle();
  EXPECT_EQ(sound.Played.size(), 2u);
}

TEST_F(NotifierTest, NotifyTypeSevenPlaysShowsAndStartsInThatOrder) {
  state.General.NotifyType = 7;
  Box(0).NewCount = 1;
  Cycle();
  EXPECT_EQ(log, (CallLog{"PlayAsync(/opt/postvane/NewMail.wav)", "ShowStatus",
                          "StartDetached(mailreader --inbox)"}));
}

TEST_F(NotifierTest, NotifyTypeSixWithReplayShowsAndStartsAfterEveryCycle) {
  state.General.NotifyType = 6;
  state.General.ReplaySound = kTrue;
  Box(3).NewCount = 4;
  for (int n = 0; n < 3; ++n) Cycle();
  EXPECT_TRUE(sound.Played.empty());
  EXPECT_EQ(forms.StatusShown, 3);
  EXPECT_EQ(programs.Started.size(), 3u);
}

TEST_F(NotifierTest, SeveralMailboxesInOneCycleNotifyOnce) {
  state.General.NotifyType = 7;
  Box(1).NewCount = 2;
  Cycle();
  log.clear();
  Box(3).NewCount = 1;  // mailbox 1 unchanged, mailbox 3 new
  Box(8).NewCount = 9;
  Cycle();
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(state.NotifiedCount[3], 1);
  EXPECT_EQ(state.NotifiedCount[8], 9);
}

TEST_F(NotifierTest, NotifyTypeZeroShowsNothingButKeepsTheCounts) {
  state.General.NotifyType = 0;
  Box(6).NewCount = 3;
  Cycle();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(state.NotifiedCount[6], 3);
}

TEST_F(NotifierTest, EachBitAlone) {
  struct Row {
    int16_t Type;
    CallLog Expected;
  };
  const std::vector<Row> rows = {
      {1, {"PlayAsync(/opt/postvane/NewMail.wav)"}},
      {2, {"ShowStatus"}},
      {4, {"StartDetached(mailreader --inbox)"}},
      {5, {"PlayAsync(/opt/postvane/NewMail.wav)", "StartDetached(mailreader --inbox)"}},
  };
  for (const Row& row : rows) {
    log.clear();
    state.NotifiedCount.fill(0);
    state.General.NotifyType = row.Type;
    Box(9).NewCount = 1;
    Cycle();
    EXPECT_EQ(log, row.Expected) << "NotifyType " << row.Type;
  }
}

TEST_F(NotifierTest, SpareSlotTakesNoPart) {
  state.Mailboxes[kEndOfCycle].NewCount = 3;
  Cycle();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(state.NotifiedCount[kEndOfCycle], 0);
}

// Without a mail program the notify choice opens the desktop's mail client, or else the status
// window: something visible always happens.
TEST_F(NotifierTest, EmptyMailProgramOpensTheDefaultClientOrTheStatus) {
  struct Row {
    const char* Program;
    const char* Client;  // empty: the desktop has none
    bool WithClientPort;
    CallLog Expected;
  };
  const Row rows[] = {
      {"", "Mail", true, {"PlayAsync(/opt/postvane/NewMail.wav)", "StartMailClient(Mail)"}},
      {"  ", "Mail", true, {"PlayAsync(/opt/postvane/NewMail.wav)", "StartMailClient(Mail)"}},
      {"", "", true, {"PlayAsync(/opt/postvane/NewMail.wav)", "ShowStatus"}},
      {"", "Mail", false, {"PlayAsync(/opt/postvane/NewMail.wav)", "ShowStatus"}},
      {"reader", "Mail", true, {"PlayAsync(/opt/postvane/NewMail.wav)", "StartDetached(reader)"}},
  };
  for (const Row& row : rows) {
    log.clear();
    state.NotifiedCount.fill(0);
    state.General.NotifyType = kNotifySound | kNotifyMailProgram;
    state.General.MailProgram = row.Program;
    FakeDefaultMailClient client(&log);
    client.ClientName = row.Client;
    Box(0).NewCount = 1;
    NotifyNewMail(state, sound, forms, programs, desktop, row.WithClientPort ? &client : nullptr);
    EXPECT_EQ(log, row.Expected) << "'" << row.Program << "' '" << row.Client << "'";
  }
}

TEST_F(NotifierTest, RunMailProgramStartsTheCommandLineAndIgnoresFailure) {
  programs.Succeeds = false;
  RunMailProgram(state, programs);
  EXPECT_EQ(programs.Started, std::vector<std::string>{"mailreader --inbox"});
  state.General.MailProgram.clear();
  RunMailProgram(state, programs);
  EXPECT_EQ(programs.Started.size(), 1u);
}

TEST_F(NotifierTest, DesktopNoticeOncePerNotifyingCycleAndOnlyWhenChosen) {
  struct Step {
    const char* Name;
    int16_t NotifyType;
    int16_t NewCount;
    std::size_t ExpectShown;  // notices so far
  };
  const Step steps[] = {{"NotChosen", kNotifySound, 1, 0},
                        {"ChosenAndCountChanged", kNotifySound | kNotifyDesktop, 2, 1},
                        {"SameCountQuiet", kNotifyDesktop, 2, 1},
                        {"MoreMail", kNotifyDesktop, 3, 2},
                        {"Acknowledged", kNotifyDesktop, 0, 2}};
  Box(0).Enabled = kTrue;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.Name);
    state.General.NotifyType = step.NotifyType;
    Box(0).NewCount = step.NewCount;
    Cycle();
    EXPECT_EQ(desktop.Shown.size(), step.ExpectShown);
  }
  EXPECT_NE(desktop.Shown.back().Summary.find(" 3 "), std::string::npos);
}

}  // namespace
}  // namespace postvane
