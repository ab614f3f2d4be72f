// "Start with the desktop": the autostart entry's place, text and Exec quoting, and how writing
// and removing it behave when the folders fail.
#include "settings/autostart_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_file_system.h"
#include "fakes/fake_path_probe.h"

namespace postvane {
namespace {

using test::FakePathProbe;

// The value after "Exec=" in an entry's text.
std::string ExecLine(const std::string& entry) {
  const std::size_t start = entry.find("\nExec=");
  if (start == std::string::npos) return {};
  const std::size_t end = entry.find('\n', start + 1);
  return entry.substr(start + 6, end - start - 6);
}

struct ExecCase {
  const char* Name;
  const char* Program;
  const char* Exec;  // as written in the file; empty: no entry can be written
};

// Reserved characters quote the whole path; inside the quotes " ` $ get a backslash, and a
// backslash is escaped for the quotes and again as a string value. % is doubled everywhere.
const ExecCase kExecCases[] = {
    {"Plain", "/usr/bin/postvane", "/usr/bin/postvane"},
    {"Space", "/opt/my apps/postvane", "\"/opt/my apps/postvane\""},
    {"DoubleQuote", "/opt/a\"b/postvane", "\"/opt/a\\\"b/postvane\""},
    {"Dollar", "/opt/$HOME/postvane", "\"/opt/\\$HOME/postvane\""},
    {"Backtick", "/opt/a`b/postvane", "\"/opt/a\\`b/postvane\""},
    {"Backslash", "/opt/a\\b/postvane", "\"/opt/a\\\\\\\\b/postvane\""},
    {"Percent", "/opt/100%/postvane", "/opt/100%%/postvane"},
    {"Umlaut", "/home/jürgen/postvane", "/home/jürgen/postvane"},
    {"Relative", "bin/postvane", ""},
    {"Empty", "", ""},
    {"LineBreak", "/opt/a\nExec=evil/postvane", ""},
    {"Tab", "/opt/a\tb/postvane", ""},
};

class AutostartExecTest : public testing::TestWithParam<ExecCase> {};

TEST_P(AutostartExecTest, QuotesTheProgramPath) {
  const ExecCase& c = GetParam();
  const std::string entry = AutostartEntryText(c.Program, "org.postvane.Postvane");
  if (std::string(c.Exec).empty()) {
    EXPECT_TRUE(entry.empty());
    return;
  }
  EXPECT_EQ(ExecLine(entry), c.Exec);
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=org.postvane.Postvane\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, AutostartExecTest, testing::ValuesIn(kExecCases),
                         [](const testing::TestParamInfo<ExecCase>& info) {
                           return std::string(info.param.Name);
                         });

class AutostartEntryTest : public testing::Test {
 protected:
  AutostartEntryTest() {
    probe_.Backing = &files_;
    probe_.Environment["HOME"] = "/home/ann";
  }

  FakeFileSystem files_;
  FakePathProbe probe_;
};

TEST_F(AutostartEntryTest, LivesInTheUsersAutostartFolder) {
  EXPECT_EQ(AutostartEntry(probe_, files_, "/usr/bin/postvane").EntryFile(),
            "/home/ann/.config/autostart/postvane.desktop");
  probe_.Environment["XDG_CONFIG_HOME"] = "/tmp/cfg";
  EXPECT_EQ(AutostartEntry(probe_, files_, "/usr/bin/postvane").EntryFile(),
            "/tmp/cfg/autostart/postvane.desktop");
}

TEST_F(AutostartEntryTest, WritesAndRemovesTheEntry) {
  AutostartEntry entry(probe_, files_, "/usr/bin/postvane");
  EXPECT_FALSE(entry.Exists());

  EXPECT_TRUE(entry.Set(true));
  EXPECT_TRUE(entry.Exists());
  EXPECT_EQ(probe_.FoldersMade, std::vector<std::string>{"/home/ann/.config/autostart"});
  EXPECT_EQ(files_.Files.at(entry.EntryFile()),
            AutostartEntryText("/usr/bin/postvane", "org.postvane.Postvane"));

  EXPECT_TRUE(entry.Set(false));
  EXPECT_FALSE(entry.Exists());
  // Removing what is not there is no failure.
  EXPECT_TRUE(entry.Set(false));
}

TEST_F(AutostartEntryTest, FailuresLeaveNoEntryAndSaySo) {
  struct Failure {
    const char* Name;
    void (*Arrange)(FakeFileSystem&, FakePathProbe&);
    const char* Program;
  };
  const Failure failures[] = {
      {"FolderCannotBeMade", [](FakeFileSystem&, FakePathProbe& p) { p.FolderFails = true; },
       "/usr/bin/postvane"},
      {"WriteFails", [](FakeFileSystem& f, FakePathProbe&) { f.FailWrites = true; },
       "/usr/bin/postvane"},
      {"NoHome", [](FakeFileSystem&, FakePathProbe& p) { p.Environment.clear(); },
       "/usr/bin/postvane"},
      {"ProgramPathUnusable", [](FakeFileSystem&, FakePathProbe&) {}, "postvane"},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.Name);
    FakeFileSystem files;
    FakePathProbe probe;
    probe.Backing = &files;
    probe.Environment["HOME"] = "/home/ann";
    failure.Arrange(files, probe);
    AutostartEntry entry(probe, files, failure.Program);
    EXPECT_FALSE(entry.Set(true));
    EXPECT_FALSE(entry.Exists());
    EXPECT_TRUE(files.Files.empty());
  }
}

TEST_F(AutostartEntryTest, EntryThatCannotBeRemovedIsReported) {
  AutostartEntry entry(probe_, files_, "/usr/bin/postvane");
  ASSERT_TRUE(entry.Set(true));
  probe_.RemoveFails = true;
  EXPECT_FALSE(entry.Set(false));
  EXPECT_TRUE(entry.Exists());
}

}  // namespace
}  // namespace postvane
