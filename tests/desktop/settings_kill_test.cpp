// The settings file when the program is killed in the middle of saving. The executable is its
// own helper: started with --settings-writer it saves mailboxes, the general section and
// acknowledged unique-ids one after another on the real disk and reports each completed save
// on stdout; the test kills it at random moments and looks at what is left on disk.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "check/mailbox_table.h"
#include "desktop/posix/posix_file_system.h"
#include "fakes/fake_file_system.h"
#include "fakes/temp_folder.h"
#include "settings/general_settings.h"
#include "settings/settings_store.h"
#include "settings/std_file_system.h"

namespace postvane {
namespace {

namespace fs = std::filesystem;

constexpr char kWriterFlag[] = "--settings-writer";
constexpr char kSound[] = "/prog/NewMail.wav";

// What the file held before the first save: every section, and lines the program does not
// know, which every save must keep.
const char kFirstContent[] =
    "; written by hand\r\n"
    "[MailBox0]\r\nName=Start\r\nUIDL=uid-start\r\nForeign=keep me\r\n"
    "[General]\r\nInterval=5\r\nReceiveLog=1\r\n"
    "[MailBox10]\r\nName=never read\r\n";

// Save number n of the stream: mostly acknowledgements, now and then a whole mailbox or the
// general section, as the tray and the configuration dialog make them.
void Save(SettingsStore& store, long n) {
  const auto index = static_cast<int16_t>(n % kUserMailboxes);
  const std::string tag = std::to_string(n);
  switch (n % 4) {
    case 2: {
      MailboxRecord record;
      record.Name = "name-" + tag;
      record.User = "user-" + tag;
      record.Password = "pw-" + tag;
      record.RemoteHost = "host-" + tag + ".example.org";
      record.RemotePort = static_cast<int32_t>(n);
      record.Enabled = n % 3 == 0 ? kTrue : kFalse;
      record.LastMail = n % 5 == 0 ? kTrue : kFalse;
      store.SaveMailbox(record, index);
      break;
    }
    case 3: {
      GeneralSettings general;
      general.Interval = static_cast<int16_t>(n % 30000);
      general.MailProgram = "mail --" + tag;
      general.SoundFile = "/sounds/" + tag + ".wav";
      store.SaveGeneral(general);
      break;
    }
    default:
      store.SaveUidl(index, "uid-" + tag);
      break;
  }
}

// The helper: saves until killed, one line "<n>" on stdout after each save that reached the
// disk, written in one call so that a kill never leaves half a line.
int RunWriter(const std::string& path) {
  PosixFileSystem disk;
  SettingsStore store(disk, path, kSound);
  for (long n = 0;; ++n) {
    Save(store, n);
    if (!store.LastWriteSucceeded()) return 2;
    const std::string line = std::to_string(n) + "\n";
    if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      return 3;
    }
  }
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SelfPath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The file after saves 0..n-1, made the same way in memory: what a complete run leaves.
class ExpectedContents {
 public:
  ExpectedContents() {
    files_.Files[kFile] = kFirstContent;
    contents_.push_back(kFirstContent);
  }
  // Content after `saves` saves.
  const std::string& After(long saves) {
    while (static_cast<long>(contents_.size()) <= saves) {
      Save(store_, static_cast<long>(contents_.size()) - 1);
      contents_.push_back(files_.Files[kFile]);
    }
    return contents_[static_cast<std::size_t>(saves)];
  }

 private:
  static constexpr char kFile[] = "/prog/Postvane.ini";
  FakeFileSystem files_;
  SettingsStore store_{files_, kFile, kSound};
  std::vector<std::string> contents_;
};

struct WriterRun {
  long LastReported = -1;  // the highest save the helper reported done
  bool Killed = false;
};

// Starts the helper, lets it report `reports` saves, waits `extraMicros` more, kills it.
WriterRun RunAndKill(const std::string& path, long reports, int extraMicros) {
  WriterRun run;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return run;
  const std::string self = SelfPath();
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    const char* args[] = {self.c_str(), kWriterFlag, path.c_str(), nullptr};
    ::execv(self.c_str(), const_cast<char* const*>(args));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  std::string pending;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto readSome = [&](int timeoutMs) {
    pollfd ready{pipeFds[0], POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      run.LastReported = std::stol(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
    return true;
  };
  while (run.LastReported + 1 < reports && std::chrono::steady_clock::now() < deadline) {
    if (!readSome(50)) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) == child) {
        ::close(pipeFds[0]);
        return run;  // ended by itself: Killed stays false
      }
    }
  }
  if (extraMicros > 0) std::this_thread::sleep_for(std::chrono::microseconds(extraMicros));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  run.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  // Lines written before the kill are still in the pipe.
  while (readSome(0)) {
  }
  ::close(pipeFds[0]);
  return run;
}

TEST(SettingsKillTest, KilledWhileSavingLeavesTheOldOrTheNewFileNeverATornOne) {
  TempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  const fs::path file = folder.Path() / "Postvane.ini";
  ExpectedContents expected;
  std::mt19937 random(20261207);
  int landedOnNewer = 0;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << kFirstContent; }
    const long reports = std::uniform_int_distribution<long>(0, 120)(random);
    const int extraMicros = std::uniform_int_distribution<int>(0, 3000)(random);
    const WriterRun run = RunAndKill(file.string(), reports, extraMicros);
    ASSERT_TRUE(run.Killed) << "the helper ended by itself";

    // Exactly the content after the last reported save, or after the one it was making.
    const std::string onDisk = ReadAll(file);
    const long done = run.LastReported + 1;
    const bool old = onDisk == expected.After(done);
    const bool newer = onDisk == expected.After(done + 1);
    ASSERT_TRUE(old || newer) << "after " << done << " reported saves the file holds:\n" << onDisk;
    landedOnNewer += newer ? 1 : 0;

    // Every acknowledged unique-id that was reported saved is there, as is every other value.
    StdFileSystem disk;
    SettingsStore store(disk, file.string(), kSound);
    for (long n = std::max(0L, done - 12); n < done; ++n) {
      MailboxRecord loaded;
      store.LoadMailbox(loaded, static_cast<int16_t>(n % kUserMailboxes));
      if (n % 4 == 0 || n % 4 == 1) {
        // A later acknowledgement of the same mailbox may have replaced it, never an older one.
        ASSERT_TRUE(loaded.UIDL.starts_with("uid-") && loaded.UIDL != "uid-start")
            << "save " << n << ": " << loaded.UIDL;
        const long stored = std::stol(loaded.UIDL.substr(4));
        EXPECT_GE(stored, n) << loaded.UIDL;
      }
    }
    MailboxRecord first;
    store.LoadMailbox(first, 0);
    GeneralSettings general;
    store.LoadGeneral(general);
    EXPECT_EQ(general.ReceiveLog, kTrue);  // the hand-added line survives every save
    EXPECT_NE(onDisk.find("Foreign=keep me"), std::string::npos);
    EXPECT_NE(onDisk.find("[MailBox10]\r\nName=never read\r\n"), std::string::npos);
  }
  // Some kills landed between the rename and the report; that is the "new" case.
  std::cout << "[ kills    ] 50 rounds, " << landedOnNewer
            << " of them after the file was replaced but before the save was reported\n";
  // A kill during a save can leave its temporary file behind, the owner's only; the next
  // start removes it. The side file of the lock stays, it holds nothing.
  int leftovers = 0;
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    const std::string name = entry.path().filename().string();
    if (name == "Postvane.ini" || name == "Postvane.ini.lock") continue;
    ++leftovers;
    EXPECT_EQ(entry.symlink_status().permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << name;
  }
  std::cout << "[ kills    ] " << leftovers << " temporary files left beside the settings file\n";
  PosixFileSystem disk;
  SettingsStore(disk, file.string(), kSound).RemoveLeftovers();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Postvane.ini", "Postvane.ini.lock"}));
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], postvane::kWriterFlag) == 0) {
    return postvane::RunWriter(argv[2]);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
