// The per-user single-instance lock and the core-dump guard, in processes of their own.
#include "desktop/posix/single_instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "desktop/posix/process_guard.h"
#include "fakes/temp_folder.h"

namespace postvane {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;

// Sets or removes an environment variable for one test and puts back what was there.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.Path().empty());
    fs::create_directory(Runtime());
    fs::permissions(Runtime(), fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory(Temporary());
    fs::permissions(Temporary(), fs::perms::all | fs::perms::sticky_bit, fs::perm_options::replace);
  }
  fs::path Runtime() const { return folder.Path() / "runtime"; }
  fs::path Temporary() const { return folder.Path() / "tmp"; }
  fs::path OwnTemporary() const {
    return Temporary() / ("postvane-" + std::to_string(::geteuid()));
  }

  TempFolder folder;
};

TEST_F(SingleInstanceTest, ASecondLockSeesTheFirstUntilItEnds) {
  const std::string path = (Runtime() / "postvane.lock").string();
  {
    SingleInstanceLock first(path);
    EXPECT_EQ(first.Result(), SingleInstanceLock::Outcome::Held);
    SingleInstanceLock second(path);
    EXPECT_TRUE(second.AnotherInstanceRunning());
  }
  SingleInstanceLock again(path);
  EXPECT_EQ(again.Result(), SingleInstanceLock::Outcome::Held);
}

TEST_F(SingleInstanceTest, ALockOfAKilledProcessIsFree) {
  const std::string path = (Runtime() / "postvane.lock").string();
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    SingleInstanceLock held(path);
    (void)!::write(ready[1], "h", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  EXPECT_TRUE(SingleInstanceLock(path).AnotherInstanceRunning());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(SingleInstanceLock(path).Result(), SingleInstanceLock::Outcome::Held);
}

TEST_F(SingleInstanceTest, ALockThatCannotBeMadeDoesNotStopTheProgram) {
  for (const std::string& path :
       {std::string(), (folder.Path() / "missing/postvane.lock").string()}) {
    const SingleInstanceLock lock(path);
    EXPECT_EQ(lock.Result(), SingleInstanceLock::Outcome::Unavailable) << path;
    EXPECT_FALSE(lock.AnotherInstanceRunning());
  }
}

TEST_F(SingleInstanceTest, TheRuntimeFolderWhenItIsPrivate) {
  const ScopedVariable runtime("XDG_RUNTIME_DIR", Runtime().string());
  const ScopedVariable temporary("TMPDIR", Temporary().string());
  EXPECT_EQ(SingleInstanceLockPath(), (Runtime() / "postvane.lock").string());
}

// Where the runtime folder cannot be trusted, a folder of the user's own in the temporary one.
TEST_F(SingleInstanceTest, OtherwiseAPrivateFolderInTheTemporaryOne) {
  const ScopedVariable temporary("TMPDIR", Temporary().string());
  fs::create_directory(folder.Path() / "open");
  fs::permissions(folder.Path() / "open", fs::perms::all);
  for (const std::optional<std::string>& runtime :
       {std::optional<std::string>(), std::optional<std::string>("relative/run"),
        std::optional<std::string>((folder.Path() / "open").string()),
        std::optional<std::string>((folder.Path() / "missing").string())}) {
    const ScopedVariable variable("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(SingleInstanceLockPath(), (OwnTemporary() / "postvane.lock").string())
        << runtime.value_or("(unset)");
    EXPECT_EQ(fs::status(OwnTemporary()).permissions() & fs::perms::mask, fs::perms::owner_all);
  }
}

// Another user made the name first (run as that user with setpriv), or made it a link.
TEST_F(SingleInstanceTest, AFolderNotOfTheUsersOwnIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  const ScopedVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
  const ScopedVariable temporary("TMPDIR", Temporary().string());
  const std::string command = "setpriv --reuid=" + std::to_string(kOtherUser) +
                              " --regid=" + std::to_string(kOtherUser) +
                              " --clear-groups mkdir -m 0777 '" + OwnTemporary().string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  ASSERT_EQ(fs::status(OwnTemporary()).permissions() & fs::perms::others_write,
            fs::perms::others_write);
  EXPECT_EQ(SingleInstanceLockPath(), "");
  EXPECT_EQ(SingleInstanceLock().Result(), SingleInstanceLock::Outcome::Unavailable);

  fs::remove(OwnTemporary());
  fs::create_directory(folder.Path() / "mine");
  fs::permissions(folder.Path() / "mine", fs::perms::owner_all, fs::perm_options::replace);
  fs::create_directory_symlink(folder.Path() / "mine", OwnTemporary());
  EXPECT_EQ(SingleInstanceLockPath(), "");
}

TEST_F(SingleInstanceTest, ALockFileOfAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to chown";
  const fs::path path = Runtime() / "postvane.lock";
  { SingleInstanceLock made(path.string()); }
  ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_EQ(SingleInstanceLock(path.string()).Result(), SingleInstanceLock::Outcome::Unavailable);
}

TEST(ProcessGuardTest, NoCoreDumpAfterTheGuard) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (!ForbidCoreDumps()) ::_exit(2);
    rlimit limit{};
    ::getrlimit(RLIMIT_CORE, &limit);
    ::_exit(::prctl(PR_GET_DUMPABLE) == 0 && limit.rlim_cur == 0 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
