// MDaemon requests: the semaphore, the wait while MDaemon is busy, the check that follows.
#include "app/mdaemon.h"

#include <gtest/gtest.h>

#include <string>

#include "app/tray_commands.h"
#include "fakes/fake_app_actions.h"
#include "fakes/fake_file_system.h"
#include "settings/program_paths.h"

namespace postvane {
namespace {

const std::string kFolder = "/srv/mdaemon/app";

class MDaemonTest : public ::testing::Test {
 protected:
  MDaemonTest() {
    state.General.MDaemonActivate = 1;
    state.General.MDaemonPath = kFolder;
    state.CurrentMailbox = kEndOfCycle;
    actions.OnCheckNow = [this] { mailboxAtCheck = state.CurrentMailbox; };
  }

  void Tick() { PollMDaemon(state, files, actions); }
  std::string In(const char* name) const { return JoinPath(state.General.MDaemonPath, name); }

  ProgramState state;
  FakeFileSystem files;
  FakeAppActions actions;
  int mailboxAtCheck = -1;
};

TEST_F(MDaemonTest, WithoutARequestNothingHappens) {
  for (int n = 0; n < 5; ++n) Tick();
  EXPECT_EQ(state.MDaemonRequest, 0);
  EXPECT_EQ(files.WriteCount, 0);
  EXPECT_EQ(actions.CheckCycles, 0);
}

TEST_F(MDaemonTest, IdleMDaemonWritesOnTheNextTickAndChecksOneTickLater) {
  RequestMDaemon(state);
  EXPECT_EQ(state.MDaemonRequest, 1);
  EXPECT_EQ(files.WriteCount, 0);

  Tick();
  EXPECT_EQ(state.MDaemonRequest, 2);
  EXPECT_EQ(files.Content(In("PROCNOW.SEM")), "Process Now\r\n");
  EXPECT_EQ(files.Content(In("PROCNOW.SEM")).size(), 13u);
  EXPECT_EQ(actions.CheckCycles, 0);

  Tick();
  EXPECT_EQ(state.MDaemonRequest, 0);
  EXPECT_EQ(actions.CheckCycles, 1);
  EXPECT_EQ(mailboxAtCheck, 0);

  Tick();
  EXPECT_EQ(actions.CheckCycles, 1);
  EXPECT_EQ(files.WriteCount, 1);
}

TEST_F(MDaemonTest, WaitsWhileEitherBusyFileExists) {
  for (const char* busy : {"ONLINE.SEM", "PREDIAL.SEM"}) {
    actions.CheckCycles = 0;
    files.Files[In(busy)] = "";
    RequestMDaemon(state);
    Tick();  // semaphore
    for (int n = 0; n < 4; ++n) {
      Tick();
      EXPECT_EQ(state.MDaemonRequest, 2) << busy;
    }
    EXPECT_EQ(actions.CheckCycles, 0) << busy;
    files.Files.erase(In(busy));
    Tick();
    EXPECT_EQ(state.MDaemonRequest, 0) << busy;
    EXPECT_EQ(actions.CheckCycles, 1) << busy;
  }
}

TEST_F(MDaemonTest, AFolderOfTheBusyNameIsNotBusy) {
  files.Folders.insert(In("ONLINE.SEM"));
  EXPECT_FALSE(MDaemonBusy(state, files));
  files.Files[In("PREDIAL.SEM")] = "x";
  EXPECT_TRUE(MDaemonBusy(state, files));
}

TEST_F(MDaemonTest, UnwritableFolderStillChecksTwoTicksAfterTheClick) {
  state.General.MDaemonPath = "/no/such/folder";
  files.FailWrites = true;
  RequestMDaemon(state);
  Tick();
  EXPECT_EQ(state.MDaemonRequest, 2);
  EXPECT_TRUE(files.Files.empty());
  Tick();
  EXPECT_EQ(actions.CheckCycles, 1);
}

TEST_F(MDaemonTest, OldSemaphoreContentIsReplaced) {
  files.Files[In("PROCNOW.SEM")] = "something much longer than the new line\r\nand more\r\n";
  SignalProcessNow(state, files);
  EXPECT_EQ(files.Content(In("PROCNOW.SEM")), "Process Now\r\n");
  EXPECT_EQ(state.MDaemonRequest, 2);
}

TEST_F(MDaemonTest, EmptyPathWritesNoSemaphoreTestsNoFilesAndStillChecks) {
  state.General.MDaemonPath.clear();
  // Busy files at the root would hold the request if they were tested.
  files.Files[JoinPath("", "ONLINE.SEM")] = "";
  files.Files["ONLINE.SEM"] = "";
  files.Files[JoinPath("", "PREDIAL.SEM")] = "";
  RequestMDaemon(state);
  Tick();
  EXPECT_EQ(state.MDaemonRequest, 2);
  EXPECT_EQ(files.WriteCount, 0);
  EXPECT_FALSE(MDaemonBusy(state, files));
  Tick();
  EXPECT_EQ(state.MDaemonRequest, 0);
  EXPECT_EQ(actions.CheckCycles, 1);
}

TEST_F(MDaemonTest, ClickWhileWaitingRewritesAndWaitsAgain) {
  files.Files[In("ONLINE.SEM")] = "";
  RequestMDaemon(state);
  Tick();
  Tick();
  files.Files[In("PROCNOW.SEM")] = "taken by MDaemon";
  RequestMDaemon(state);
  EXPECT_EQ(state.MDaemonRequest, 1);
  Tick();
  EXPECT_EQ(files.WriteCount, 2);
  EXPECT_EQ(files.Content(In("PROCNOW.SEM")), "Process Now\r\n");
  EXPECT_EQ(state.MDaemonRequest, 2);
}

TEST_F(MDaemonTest, UnknownRequestValuesDoNothing) {
  for (int16_t value : {int16_t{3}, int16_t{-1}, int16_t{32767}}) {
    state.MDaemonRequest = value;
    Tick();
    EXPECT_EQ(state.MDaemonRequest, value);
  }
  EXPECT_EQ(files.WriteCount, 0);
  EXPECT_EQ(actions.CheckCycles, 0);
}

TEST_F(MDaemonTest, FolderWithATrailingSeparatorGetsNoSecondOne) {
  state.General.MDaemonPath = kFolder + "/";
  SignalProcessNow(state, files);
  EXPECT_TRUE(files.Exists(kFolder + "/PROCNOW.SEM"));
}

}  // namespace
}  // namespace postvane
