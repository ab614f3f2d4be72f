// The POSIX file system as another local user would meet it: temporary copies nobody else can
// read, links that lead elsewhere, a receive log that is the owner's, a lock shared by
// processes. Parts that act as the other user fork a child that takes uid 65534 (needs root).
#include "desktop/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "app/mdaemon.h"
#include "app/program_state.h"
#include "fakes/temp_folder.h"
#include "settings/settings_store.h"

namespace postvane {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;
constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

fs::perms PermsOf(const fs::path& path) {
  return fs::symlink_status(path).permissions() & fs::perms::mask;
}

// A forked child; the test talks to it through one pipe each way and always reaps it.
class Child {
 public:
  template <typename Body>
  explicit Child(Body body) {
    int down[2];
    int up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(down[1]);
      ::close(up[0]);
      ::_exit(body(down[0], up[1]));
    }
    ::close(down[0]);
    ::close(up[1]);
    toChild_ = down[1];
    fromChild_ = up[0];
  }
  ~Child() {
    if (toChild_ >= 0) ::close(toChild_);
    if (fromChild_ >= 0) ::close(fromChild_);
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  // One byte from the child; false when it ended first or took longer than a minute.
  bool Receive(char& byte) {
    pollfd fd{fromChild_, POLLIN, 0};
    return ::poll(&fd, 1, 60000) == 1 && ::read(fromChild_, &byte, 1) == 1;
  }
  void Send(char byte) { (void)!::write(toChild_, &byte, 1); }
  // Closes the way down, which tells the child to end, and returns its exit status.
  int Wait() {
    ::close(toChild_);
    toChild_ = -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  bool reaped_ = false;
};

bool BecomeOtherUser() {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
         ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0;
}

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.Path().empty());
    // Another user must be able to look into the folder, as into a shared program folder.
    fs::permissions(folder.Path(), fs::perms::all);
  }
  fs::path At(const std::string& name) const { return folder.Path() / name; }

  TempFolder folder;
  PosixFileSystem disk;
};

TEST_F(PosixFileSystemTest, ReplaceLeavesAnOwnerOnlyFileAndNothingElse) {
  const fs::path file = At("Postvane.ini");
  Put(file, "old");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  ::umask(0);  // even a process that allows everything gets a private file
  const bool replaced = disk.ReplaceFile(file.string(), "new");
  ::umask(022);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(ReadAll(file), "new");
  EXPECT_EQ(PermsOf(file), kOwnerOnly);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
}

// Another user watches the folder during 300 saves and tries to read every temporary copy.
TEST_F(PosixFileSystemTest, AnotherUserNeverReadsATemporaryCopy) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  const fs::path file = At("Postvane.ini");
  const std::string secret = "pw-marker-0123456789";
  Child reader([&](int stop, int ready) {
    if (!BecomeOtherUser()) return 3;
    ::fcntl(stop, F_SETFL, O_NONBLOCK);
    (void)!::write(ready, "r", 1);
    int seen = 0;
    char byte;
    while (::read(stop, &byte, 1) < 0) {
      DIR* listing = ::opendir(folder.Path().c_str());
      if (listing == nullptr) return 4;
      while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const int fd = ::open((folder.Path() / name).c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ::close(fd);
        if (n > 0 &&
            std::string(buffer, static_cast<std::size_t>(n)).find(secret) != std::string::npos) {
          ++seen;
        }
      }
      ::closedir(listing);
    }
    return seen == 0 ? 0 : 1;
  });
  ASSERT_TRUE(reader.Started());
  char ready = 0;
  ASSERT_TRUE(reader.Receive(ready));
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(disk.ReplaceFile(file.string(),
                                 "[MailBox0]\r\nPassword=" + secret + std::to_string(i) + "\r\n"));
  }
  EXPECT_EQ(reader.Wait(), 0) << "the other user read the password";
}

// Who owns the link and what it points at decides whether a save may replace it.
struct LinkCase {
  const char* name;
  bool linkOurs;
  bool targetOurs;
  bool targetExists;
  bool replaced;
};

class PosixLinkTest : public PosixFileSystemTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(PosixLinkTest, LinkIsReplacedOnlyWhenAllIsTheUsers) {
  const LinkCase& c = GetParam();
  if (::geteuid() != 0 && !(c.linkOurs && c.targetOurs)) GTEST_SKIP() << "needs root to chown";
  const fs::path target = At("elsewhere.ini");
  const fs::path link = At("Postvane.ini");
  if (c.targetExists) Put(target, "target");
  fs::create_symlink(target, link);
  if (c.targetExists && !c.targetOurs) {
    ASSERT_EQ(::chown(target.c_str(), kOtherUser, kOtherUser), 0);
  }
  if (!c.linkOurs) {
    ASSERT_EQ(::lchown(link.c_str(), kOtherUser, kOtherUser), 0);
  }

  std::string bytes;
  EXPECT_EQ(disk.ReadFile(link.string(), bytes), c.targetExists);
  EXPECT_EQ(disk.ReplaceFile(link.string(), "saved"), c.replaced);
  if (c.targetExists) {
    EXPECT_EQ(ReadAll(target), "target") << "never written through the link";
  }
  EXPECT_EQ(fs::is_symlink(fs::symlink_status(link)), !c.replaced);
  if (c.replaced) {
    EXPECT_EQ(ReadAll(link), "saved");
    EXPECT_EQ(PermsOf(link), kOwnerOnly);
  }
}

INSTANTIATE_TEST_SUITE_P(Owners, PosixLinkTest,
                         ::testing::Values(LinkCase{"AllOurs", true, true, true, true},
                                           LinkCase{"TargetOfAnotherUser", true, false, true,
                                                    false},
                                           LinkCase{"LinkOfAnotherUser", false, true, true, false},
                                           LinkCase{"Dangling", true, true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PosixFileSystemTest, AppendIsTheOwnersAndNeverFollowsALink) {
  const fs::path log = At("receive.log");
  ASSERT_TRUE(disk.AppendFile(log.string(), "one\r\n"));
  EXPECT_EQ(PermsOf(log), kOwnerOnly);
  fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  ASSERT_TRUE(disk.AppendFile(log.string(), "two\r\n"));
  EXPECT_EQ(ReadAll(log), "one\r\ntwo\r\n");
  EXPECT_EQ(PermsOf(log), kOwnerOnly) << "a wider log is tightened";

  const fs::path target = At("target");
  Put(target, "kept");
  const fs::path link = At("linked.log");
  fs::create_symlink(target, link);
  EXPECT_FALSE(disk.AppendFile(link.string(), "x"));
  fs::create_symlink(At("missing"), At("dangling.log"));
  EXPECT_FALSE(disk.AppendFile(At("dangling.log").string(), "x"));
  EXPECT_FALSE(fs::exists(At("missing"))) << "a link does not create its target";
  EXPECT_EQ(ReadAll(target), "kept");

  if (::geteuid() == 0) {
    const fs::path foreign = At("foreign.log");
    Put(foreign, "theirs");
    ASSERT_EQ(::chown(foreign.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_FALSE(disk.AppendFile(foreign.string(), "x"));
    EXPECT_EQ(ReadAll(foreign), "theirs");
  }
}

// A FIFO planted as the receive log or the MDaemon request file: both writes give up at once
// and nothing reaches whoever reads the FIFO.
struct FifoCase {
  const char* name;
  bool append;  // AppendFile, else WriteFile
  bool reader;  // someone holds the FIFO open for reading
};

class PosixFifoTest : public PosixFileSystemTest, public ::testing::WithParamInterface<FifoCase> {};

TEST_P(PosixFifoTest, FifoIsRefusedWithoutWaiting) {
  const FifoCase& c = GetParam();
  const fs::path fifo = At(c.append ? "receive.log" : "PROCNOW.SEM");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = -1;
  if (c.reader) {
    reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
  }
  std::future<bool> written = std::async(std::launch::async, [&] {
    return c.append ? disk.AppendFile(fifo.string(), "x\r\n") : disk.WriteFile(fifo.string(), "x");
  });
  const bool finished = written.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (!finished) {
    // Let the blocked writer go, so that the test fails rather than hangs.
    const int release = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    written.wait();
    ::close(release);
  }
  EXPECT_TRUE(finished) << "the write waited for a reader";
  EXPECT_FALSE(written.get());
  if (reader >= 0) {
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing was written into the FIFO";
    ::close(reader);
  }
}

INSTANTIATE_TEST_SUITE_P(Writes, PosixFifoTest,
                         ::testing::Values(FifoCase{"AppendNoReader", true, false},
                                           FifoCase{"AppendWithReader", true, true},
                                           FifoCase{"WriteNoReader", false, false},
                                           FifoCase{"WriteWithReader", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PosixFileSystemTest, WriteReplacesAPlainFileAndNeverFollowsALink) {
  const fs::path file = At("PROCNOW.SEM");
  ASSERT_TRUE(disk.WriteFile(file.string(), "first and longer\r\n"));
  ASSERT_TRUE(disk.WriteFile(file.string(), "Process Now\r\n"));
  EXPECT_EQ(ReadAll(file), "Process Now\r\n");

  const fs::path target = At("target");
  Put(target, "kept");
  const fs::path link = At("linked.sem");
  fs::create_symlink(target, link);
  EXPECT_FALSE(disk.WriteFile(link.string(), "x"));
  EXPECT_EQ(ReadAll(target), "kept");
  fs::create_symlink(At("missing"), At("dangling.sem"));
  EXPECT_FALSE(disk.WriteFile(At("dangling.sem").string(), "x"));
  EXPECT_FALSE(fs::exists(At("missing"))) << "a link does not create its target";

  if (::geteuid() == 0) {
    const fs::path foreign = At("foreign.sem");
    Put(foreign, "theirs");
    ASSERT_EQ(::chown(foreign.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_FALSE(disk.WriteFile(foreign.string(), "x"));
    EXPECT_EQ(ReadAll(foreign), "theirs");
  }
}

// The request through a planted link: the link's target stays as it was, and the request
// still goes on to its wait and check.
TEST_F(PosixFileSystemTest, MDaemonRequestThroughALinkWritesNothing) {
  const fs::path target = At("victim");
  Put(target, "kept");
  fs::create_symlink(target, At(std::string(kProcessNowFile)));
  ProgramState state;
  state.General.MDaemonPath = folder.Path().string();
  state.MDaemonRequest = kMDaemonRequested;
  SignalProcessNow(state, disk);
  EXPECT_EQ(ReadAll(target), "kept");
  EXPECT_EQ(state.MDaemonRequest, kMDaemonWaiting);
}

TEST_F(PosixFileSystemTest, LockIsSharedWithOtherProcesses) {
  const std::string side = At("Postvane.ini.lock").string();
  Child holder([&](int release, int held) {
    PosixFileSystem own;
    auto lock = own.LockSideFile(side);
    if (!lock) return 1;
    (void)!::write(held, "h", 1);
    char byte;
    (void)!::read(release, &byte, 1);
    return 0;
  });
  ASSERT_TRUE(holder.Started());
  char held = 0;
  ASSERT_TRUE(holder.Receive(held));
  disk.SetLockWaitMs(100);
  EXPECT_EQ(disk.LockSideFile(side), nullptr) << "held by the other process";
  EXPECT_EQ(holder.Wait(), 0);
  disk.SetLockWaitMs(60000);
  EXPECT_NE(disk.LockSideFile(side), nullptr) << "free once that process ended";
  EXPECT_EQ(PermsOf(side), kOwnerOnly);
}

TEST_F(PosixFileSystemTest, SideFilesOfAnotherUserAreNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to chown";
  const fs::path side = At("Postvane.ini.lock");
  Put(side, "");
  ASSERT_EQ(::chown(side.c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_EQ(disk.LockSideFile(side.string()), nullptr);
  fs::remove(side);
  fs::create_symlink(At("elsewhere"), side);
  EXPECT_EQ(disk.LockSideFile(side.string()), nullptr);
  EXPECT_FALSE(fs::exists(At("elsewhere")));
}

// Two programs acknowledge at the same time, 200 rounds: each writes a new key every round,
// so any lost update leaves a key missing.
TEST_F(PosixFileSystemTest, TwoWritersInALoopLoseNoKey) {
  constexpr int kRounds = 200;
  const std::string file = At("Postvane.ini").string();
  Put(file, "[General]\r\nInterval=5\r\n");
  auto writer = [&](int16_t mailbox) {
    return [&, mailbox](int /*stop*/, int ready) {
      PosixFileSystem own;
      SettingsStore store(own, file, "");
      (void)!::write(ready, "r", 1);
      for (int round = 0; round < kRounds; ++round) {
        // Each round a different mailbox key, as acknowledgements of new mail do.
        store.SaveUidl(static_cast<int16_t>((mailbox + 2 * round) % kUserMailboxes),
                       std::to_string(mailbox) + "-" + std::to_string(round));
        if (!store.LastWriteSucceeded()) return 1;
        MailboxRecord record;
        record.Name = "box-" + std::to_string(mailbox) + "-" + std::to_string(round);
        store.SaveMailbox(record, mailbox);
        if (!store.LastWriteSucceeded()) return 1;
      }
      return 0;
    };
  };
  Child first(writer(0));
  Child second(writer(1));
  char ready = 0;
  ASSERT_TRUE(first.Receive(ready));
  ASSERT_TRUE(second.Receive(ready));
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);

  const std::string content = ReadAll(file);
  EXPECT_NE(content.find("Interval=5"), std::string::npos);
  for (int mailbox = 0; mailbox < 2; ++mailbox) {
    EXPECT_NE(
        content.find("Name=box-" + std::to_string(mailbox) + "-" + std::to_string(kRounds - 1)),
        std::string::npos);
  }
  // Every mailbox's last acknowledgement from each writer is the last one it made.
  PosixFileSystem own;
  SettingsStore store(own, file, "");
  const auto uidls = store.LoadUidls().value_or(std::array<std::string, kUserMailboxes>{});
  for (int i = 0; i < kUserMailboxes; ++i) {
    const int writerOf = i % 2;
    int lastRound = -1;
    for (int round = 0; round < kRounds; ++round) {
      if ((writerOf + 2 * round) % kUserMailboxes == i) lastRound = round;
    }
    EXPECT_EQ(uidls[i], std::to_string(writerOf) + "-" + std::to_string(lastRound)) << i;
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
