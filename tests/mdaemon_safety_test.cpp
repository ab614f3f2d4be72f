// The MDaemon folder on the real disk when it is not what it should be: a plain file, a name
// far too long, semaphores that are folders, a folder that cannot be read or written. The
// request never fails loudly and never blocks the check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/mdaemon.h"
#include "app/program_state.h"
#include "fakes/fake_app_actions.h"
#include "fakes/temp_folder.h"
#include "settings/program_paths.h"
#include "settings/std_file_system.h"

namespace postvane {
namespace {

namespace fs = std::filesystem;

class MDaemonFolderTest : public ::testing::Test {
 protected:
  MDaemonFolderTest() {
    state.General.MDaemonActivate = 1;
    state.CurrentMailbox = kEndOfCycle;
  }

  // Click, then tray ticks until the check starts; the number of ticks it took.
  int TicksUntilCheck(const std::string& folder) {
    state.General.MDaemonPath = folder;
    state.MDaemonRequest = kMDaemonRequested;
    const int before = actions.CheckCycles;
    for (int tick = 1; tick <= 10; ++tick) {
      PollMDaemon(state, disk, actions);
      if (actions.CheckCycles > before) return tick;
    }
    return -1;
  }

  ProgramState state;
  StdFileSystem disk;
  FakeAppActions actions;
  TempFolder folder;
};

TEST_F(MDaemonFolderTest, FolderThatIsAPlainFileIsLeftAloneAndTheCheckFollows) {
  const fs::path file = folder.Path() / "mdaemon";
  std::ofstream(file) << "not a folder";
  EXPECT_EQ(TicksUntilCheck(file.string()), 2);
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a folder");
}

TEST_F(MDaemonFolderTest, SemaphoresThatAreFoldersNeitherBreakTheWriteNorCountAsBusy) {
  fs::create_directory(folder.Path() / "PROCNOW.SEM");
  fs::create_directory(folder.Path() / "ONLINE.SEM");
  fs::create_directory(folder.Path() / "PREDIAL.SEM");
  EXPECT_EQ(TicksUntilCheck(folder.Path().string()), 2);
  EXPECT_TRUE(fs::is_directory(folder.Path() / "PROCNOW.SEM"));
}

TEST_F(MDaemonFolderTest, NameFarTooLongForTheSystem) {
  const std::string longName(5000, 'm');
  EXPECT_EQ(TicksUntilCheck((folder.Path() / longName).string()), 2);
  const std::string longComponent = folder.Path().string() + "/" + std::string(300, 'c');
  EXPECT_EQ(TicksUntilCheck(longComponent), 2);
}

TEST_F(MDaemonFolderTest, FolderThatCannotBeWrittenOrSearched) {
  const fs::path locked = folder.Path() / "locked";
  fs::create_directory(locked);
  std::ofstream(locked / "ONLINE.SEM") << "";
  fs::permissions(locked, fs::perms::none);
  std::ofstream probe(locked / "probe");
  if (probe) GTEST_SKIP() << "running with rights that ignore folder permissions";
  // The busy file cannot be seen: the test fails, which counts as not busy.
  EXPECT_EQ(TicksUntilCheck(locked.string()), 2);
}

TEST_F(MDaemonFolderTest, BusyFileIsSeenAndItsRemovalLetsTheCheckStart) {
  const fs::path online = folder.Path() / "ONLINE.SEM";
  std::ofstream(online) << "";
  state.General.MDaemonPath = folder.Path().string();
  state.MDaemonRequest = kMDaemonRequested;
  for (int tick = 0; tick < 5; ++tick) PollMDaemon(state, disk, actions);
  EXPECT_EQ(actions.CheckCycles, 0);
  EXPECT_EQ(state.MDaemonRequest, kMDaemonWaiting);
  fs::remove(online);
  PollMDaemon(state, disk, actions);
  EXPECT_EQ(actions.CheckCycles, 1);
  std::ifstream in(folder.Path() / "PROCNOW.SEM", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(kProcessNowText));
}

}  // namespace
}  // namespace postvane
