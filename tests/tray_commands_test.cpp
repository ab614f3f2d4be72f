// Tray clicks, double clicks, the menu request and the seven menu commands.
#include "app/tray_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fakes/call_log.h"
#include "fakes/fake_app_actions.h"
#include "fakes/fake_forms.h"

namespace postvane {
namespace {

using Saved = std::vector<std::pair<int16_t, std::string>>;

class TrayCommandsTest : public ::testing::Test {
 protected:
  TrayCommandsTest() : forms(&log), actions(&log) {
    for (int i = 0; i < kUserMailboxes; ++i) {
      Box(i).UIDL = "old-" + std::to_string(i);
      Box(i).Headers.assign(1, MessageHeader{});
    }
  }

  // Mailbox i has `count` new messages up to the unique-id "new-i".
  void GiveNewMail(int i, int16_t count) {
    Box(i).NewCount = count;
    Box(i).NewestUidl = "new-" + std::to_string(i);
    state.NotifiedCount[i] = count;
  }
  MailboxRecord& Box(int i) { return state.Mailboxes[i]; }

  ProgramState state;
  CallLog log;
  FakeForms forms;
  FakeAppActions actions;
};

TEST_F(TrayCommandsTest, AcknowledgeTakesOverTheNewestUidlAndSavesIt) {
  GiveNewMail(3, 2);
  Box(3).Headers.resize(3, MessageHeader{"f", "t", "s", "1", "d"});
  AcknowledgeMailbox(state, actions, 3);
  EXPECT_EQ(Box(3).UIDL, "new-3");
  EXPECT_EQ(actions.SavedUidls, (Saved{{3, "new-3"}}));
  EXPECT_EQ(Box(3).NewCount, 0);
  EXPECT_EQ(state.NotifiedCount[3], 0);
  EXPECT_EQ(HeadersUpperBound(Box(3)), 2);  // headers are left as they were
  EXPECT_EQ(Box(3).Headers[1].From, "f");
}

TEST_F(TrayCommandsTest, AcknowledgeWithoutANewestUidlKeepsTheSavedPosition) {
  Box(2).NewCount = 4;
  state.NotifiedCount[2] = 4;
  AcknowledgeMailbox(state, actions, 2);
  EXPECT_EQ(Box(2).UIDL, "old-2");
  EXPECT_TRUE(actions.SavedUidls.empty());
  EXPECT_EQ(Box(2).NewCount, 0);
  EXPECT_EQ(state.NotifiedCount[2], 0);
}

TEST_F(TrayCommandsTest, AcknowledgeOutsideTheUserMailboxesDoesNothing) {
  for (int index : {-1, 10, 11, 1000}) AcknowledgeMailbox(state, actions, index);
  EXPECT_TRUE(actions.SavedUidls.empty());
}

TEST_F(TrayCommandsTest, SingleIconClickAcknowledgesEveryMailboxWithNewMail) {
  state.General.TrayType = 0;
  GiveNewMail(1, 1);
  GiveNewMail(4, 6);
  Box(7).NewestUidl = "seen-but-not-new";
  OnTrayClick(state, actions, 0);
  EXPECT_EQ(actions.SavedUidls, (Saved{{1, "new-1"}, {4, "new-4"}}));
  EXPECT_EQ(Box(1).NewCount, 0);
  EXPECT_EQ(Box(4).NewCount, 0);
  EXPECT_EQ(Box(7).UIDL, "old-7");
}

TEST_F(TrayCommandsTest, SingleIconClickIgnoresTheIndex) {
  state.General.TrayType = 0;
  GiveNewMail(6, 2);
  OnTrayClick(state, actions, 9);
  EXPECT_EQ(actions.SavedUidls, (Saved{{6, "new-6"}}));
}

TEST_F(TrayCommandsTest, PerMailboxClickAcknowledgesOnlyTheClickedMailbox) {
  state.General.TrayType = 1;
  GiveNewMail(4, 1);
  GiveNewMail(6, 3);
  OnTrayClick(state, actions, 4);
  EXPECT_EQ(actions.SavedUidls, (Saved{{4, "new-4"}}));
  EXPECT_EQ(Box(6).NewCount, 3);
  EXPECT_EQ(state.NotifiedCount[6], 3);
}

TEST_F(TrayCommandsTest, PerMailboxClickOnAnIdleIconChangesNothing) {
  state.General.TrayType = 1;
  Box(0).NewestUidl = "new-0";
  GiveNewMail(5, 1);
  OnTrayClick(state, actions, 0);
  EXPECT_EQ(Box(0).UIDL, "old-0");
  EXPECT_TRUE(actions.SavedUidls.empty());
  for (int index : {-1, 10, 42}) OnTrayClick(state, actions, index);
  EXPECT_TRUE(actions.SavedUidls.empty());
}

TEST_F(TrayCommandsTest, OtherTrayTypesIgnoreTheClick) {
  state.General.TrayType = 2;
  GiveNewMail(0, 1);
  OnTrayClick(state, actions, 0);
  EXPECT_EQ(Box(0).NewCount, 1);
  EXPECT_TRUE(log.empty());
}

TEST_F(TrayCommandsTest, DoubleClickRunMailReaderAcknowledgesFirst) {
  state.General.DoubleClick = 0;
  state.General.TrayType = 1;  // the mode does not matter
  GiveNewMail(2, 1);
  GiveNewMail(8, 2);
  OnTrayDoubleClick(state, forms, actions);
  EXPECT_EQ(log, (CallLog{"SaveUidl(2,new-2)", "SaveUidl(8,new-8)", "RunMailProgram"}));
}

TEST_F(TrayCommandsTest, DoubleClickShowStatusAcknowledgesNothing) {
  state.General.DoubleClick = 1;
  GiveNewMail(2, 1);
  OnTrayDoubleClick(state, forms, actions);
  EXPECT_EQ(log, CallLog{"ShowStatus"});
  EXPECT_EQ(Box(2).NewCount, 1);
}

TEST_F(TrayCommandsTest, DoubleClickCheckMailBetweenCyclesMovesToTheEndAndTicks) {
  state.General.DoubleClick = 2;
  state.CurrentMailbox = 4;  // e.g. a cycle that was abandoned
  GiveNewMail(0, 3);
  OnTrayDoubleClick(state, forms, actions);
  EXPECT_EQ(state.CurrentMailbox, kEndOfCycle);
  EXPECT_EQ(log, (CallLog{"SaveUidl(0,new-0)", "OnMinuteTimer"}));
}

TEST_F(TrayCommandsTest, DoubleClickCheckMailLeavesACheckUnderWayAlone) {
  state.General.DoubleClick = 2;
  state.CurrentMailbox = 3;
  actions.UnderWay = true;
  OnTrayDoubleClick(state, forms, actions);
  EXPECT_EQ(state.CurrentMailbox, 3);
  EXPECT_EQ(log, CallLog{"OnMinuteTimer"});
}

TEST_F(TrayCommandsTest, DoubleClickWithAnUnknownActionOnlyAcknowledges) {
  for (int16_t action : {int16_t{3}, int16_t{-1}}) {
    log.clear();
    state.General.DoubleClick = action;
    GiveNewMail(1, 2);
    state.CurrentMailbox = 5;
    OnTrayDoubleClick(state, forms, actions);
    EXPECT_EQ(log, CallLog{"SaveUidl(1,new-1)"}) << action;
    EXPECT_EQ(state.CurrentMailbox, 5);
  }
}

TEST_F(TrayCommandsTest, MDaemonCommandRequestsProcessing) {
  RequestMDaemon(state);
  EXPECT_EQ(state.MDaemonRequest, 1);
  state.MDaemonRequest = 2;
  RequestMDaemon(state);
  EXPECT_EQ(state.MDaemonRequest, 1);
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace postvane

namespace postvane {
namespace {

// IMAP mailboxes: the acknowledgement saves the point the last check read, not a unique-id.
TEST(ImapAcknowledgeTest, SavesTheNewestPointOnlyWhenAFolderWasReadAndItMoved) {
  struct Row {
    const char* name;
    uint32_t savedValidity, savedUid, newestValidity, newestUid;
    bool saved;
  };
  const Row rows[] = {{"FirstPoint", 0, 0, 77, 9, true},
                      {"Moved", 77, 4, 77, 9, true},
                      {"NewValidity", 76, 40, 77, 2, true},
                      {"NoFolderReadYet", 77, 4, 0, 0, false},
                      {"Unchanged", 77, 9, 77, 9, false}};
  for (const Row& row : rows) {
    ProgramState state;
    CallLog log;
    FakeAppActions actions(&log);
    MailboxRecord& box = state.Mailboxes[4];
    box.Protocol = 1;
    box.UIDL = "pop-id";
    box.NewestUidl = "other-pop-id";
    box.ImapUidValidity = row.savedValidity;
    box.ImapLastUid = row.savedUid;
    box.NewestImapUidValidity = row.newestValidity;
    box.NewestImapUid = row.newestUid;
    box.NewCount = 3;
    AcknowledgeMailbox(state, actions, 4);
    EXPECT_EQ(box.NewCount, 0) << row.name;
    EXPECT_EQ(box.UIDL, "pop-id") << row.name << ": the POP3 position stays";
    EXPECT_TRUE(actions.SavedUidls.empty()) << row.name;
    if (row.saved) {
      EXPECT_EQ(actions.SavedImapPoints,
                (std::vector<FakeAppActions::SavedPoint>{{4, row.newestValidity, row.newestUid}}))
          << row.name;
      EXPECT_EQ(box.ImapLastUid, row.newestUid) << row.name;
    } else {
      EXPECT_TRUE(actions.SavedImapPoints.empty()) << row.name;
      EXPECT_EQ(box.ImapLastUid, row.savedUid) << row.name;
    }
  }
}

// MarkReadOnAck: the messages the last check counted as new wait for the next check to mark
// them read, only for IMAP with the key on, and only in the folder they were counted in.
TEST(ImapAcknowledgeTest, QueuesTheCountedUidsToMarkReadOnlyForImapWithTheKey) {
  using Uids = std::vector<uint32_t>;
  struct Row {
    const char* name;
    int16_t protocol, markReadOnAck;
    uint32_t waitingValidity;
    Uids waiting;
    uint32_t newestValidity;
    Uids expected;
    uint32_t expectedValidity;
  };
  const Row rows[] = {
      {"KeyOn", 1, kTrue, 0, {}, 77, {5, 7, 9}, 77},
      {"JoinsWhatStillWaits", 1, kTrue, 77, {2, 7}, 77, {2, 5, 7, 9}, 77},
      {"RecreatedFolderDropsTheOld", 1, kTrue, 76, {2}, 77, {5, 7, 9}, 77},
      {"NoFolderReadYet", 1, kTrue, 77, {2}, 0, {2}, 77},
      {"KeyOff", 1, kFalse, 0, {}, 77, {}, 0},
      {"Pop3", 0, kTrue, 0, {}, 77, {}, 0},
  };
  for (const Row& row : rows) {
    ProgramState state;
    CallLog log;
    FakeAppActions actions(&log);
    MailboxRecord& box = state.Mailboxes[2];
    box.Protocol = row.protocol;
    box.MarkReadOnAck = row.markReadOnAck;
    box.ImapMarkReadUidValidity = row.waitingValidity;
    box.ImapMarkReadUids = row.waiting;
    box.NewestImapUidValidity = row.newestValidity;
    box.NewestImapUid = 9;
    box.ImapNewUids = {9, 7, 5};
    box.NewCount = 3;
    AcknowledgeMailbox(state, actions, 2);
    EXPECT_EQ(box.ImapMarkReadUids, row.expected) << row.name;
    EXPECT_EQ(box.ImapMarkReadUidValidity, row.expectedValidity) << row.name;
  }
}

}  // namespace
}  // namespace postvane
