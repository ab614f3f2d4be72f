// The desktop's mailto: handler: the mimeapps.list defaults in XDG order, the desktop entry,
// and its Exec line split and stripped of field codes.
#include "app/mailto_handler.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "fakes/fake_path_probe.h"

namespace postvane {
namespace {

using Arguments = std::vector<std::string>;

struct ExecCase {
  const char* Name;
  const char* Exec;
  std::optional<Arguments> Expected;
};

class ExecLines : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecLines, SplitAsTheDesktopEntryRulesSay) {
  EXPECT_EQ(ExecArguments(GetParam().Exec, "Mail", "/apps/mail.desktop"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecLines,
    ::testing::Values(
        ExecCase{"Plain", "mailer", Arguments{"mailer"}},
        ExecCase{"AddressDropped", "mailer -compose %u", Arguments{"mailer", "-compose"}},
        ExecCase{"EveryFileCodeDropped", "mailer %U %f %F %i", Arguments{"mailer"}},
        ExecCase{"QuotedBlank", "\"/opt/my mail/run\" --x", Arguments{"/opt/my mail/run", "--x"}},
        ExecCase{"EscapesInQuotes", "sh -c \"echo \\\"hi\\\" \\\\ $x\"",
                 Arguments{"sh", "-c", "echo \"hi\" \\ $x"}},
        ExecCase{"Percent", "mailer --rate=50%%", Arguments{"mailer", "--rate=50%"}},
        ExecCase{"NameAndFile", "mailer --title %c --entry=%k",
                 Arguments{"mailer", "--title", "Mail", "--entry=/apps/mail.desktop"}},
        ExecCase{"ExtraBlanks", "  mailer\t  -x  ", Arguments{"mailer", "-x"}},
        ExecCase{"UnclosedQuote", "\"mailer -x", std::nullopt},
        ExecCase{"LonePercentAtEnd", "mailer %", std::nullopt},
        ExecCase{"OnlyFieldCodes", "%u", std::nullopt}, ExecCase{"Empty", "", std::nullopt}),
    [](const ::testing::TestParamInfo<ExecCase>& info) { return std::string(info.param.Name); });

TEST(MailtoDefaults, OnlyTheDefaultGroupsMailtoKey) {
  const std::string text =
      "[Added Associations]\n"
      "x-scheme-handler/mailto=added.desktop;\n"
      "[Default Applications]\n"
      "text/html=browser.desktop\n"
      "x-scheme-handler/mailto = first.desktop; second.desktop;;bad/path.desktop\n";
  EXPECT_EQ(MailtoDefaults(text), (Arguments{"first.desktop", "second.desktop"}));
  EXPECT_TRUE(MailtoDefaults("[Default Applications]\ntext/html=b.desktop\n").empty());
  EXPECT_TRUE(MailtoDefaults("").empty());
}

struct EntryCase {
  const char* Name;
  std::string Text;
  std::optional<std::string> ShownName;  // nothing: the entry is not usable
};

class DesktopEntries : public ::testing::TestWithParam<EntryCase> {};

TEST_P(DesktopEntries, UsableEntriesAndTheirName) {
  const auto entry = ParseDesktopEntry(GetParam().Text, "de", "/a/m.desktop");
  ASSERT_EQ(entry.has_value(), GetParam().ShownName.has_value());
  if (entry) {
    EXPECT_EQ(entry->Name, *GetParam().ShownName);
    EXPECT_EQ(entry->Path, "/a/m.desktop");
    EXPECT_EQ(entry->Exec, Arguments{"mailer"});
  }
}

const std::string kHead = "[Desktop Entry]\nType=Application\nExec=mailer %u\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopEntries,
    ::testing::Values(
        EntryCase{"Plain", kHead + "Name=Mailer\n", "Mailer"},
        EntryCase{"Localised", kHead + "Name=Mailer\nName[de]=Post\\sLeser\n", "Post Leser"},
        EntryCase{"OtherLanguageIgnored", kHead + "Name=Mailer\nName[fr]=Courrier\n", "Mailer"},
        EntryCase{"Hidden", kHead + "Name=Mailer\nHidden=true\n", std::nullopt},
        EntryCase{"Link", "[Desktop Entry]\nType=Link\nExec=mailer\nName=M\n", std::nullopt},
        EntryCase{"NoExec", "[Desktop Entry]\nType=Application\nName=M\n", std::nullopt},
        EntryCase{"OtherGroupOnly", "[Desktop Action new]\nType=Application\nExec=mailer\nName=M\n",
                  std::nullopt}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.Name); });

class FindHandler : public ::testing::Test {
 protected:
  FindHandler() { env.Environment["HOME"] = "/home/u"; }
  void Entry(const std::string& path, const std::string& name) {
    files.Files[path] =
        "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name + " %u\n";
  }
  std::optional<std::string> Found() {
    const auto entry = FindMailtoHandler(files, env, 900);
    if (!entry) return std::nullopt;
    return entry->Name + " " + entry->Path;
  }
  FakeFileSystem files;
  test::FakePathProbe env;
};

TEST_F(FindHandler, UserListWinsOverTheSystemsAndDefaultsFollowTheBaseDirectoryRules) {
  EXPECT_EQ(Found(), std::nullopt);
  Entry("/usr/share/applications/sys.desktop", "sys");
  files.Files["/usr/share/applications/mimeapps.list"] =
      "[Default Applications]\nx-scheme-handler/mailto=sys.desktop\n";
  EXPECT_EQ(Found(), "sys /usr/share/applications/sys.desktop");

  files.Files["/etc/xdg/mimeapps.list"] =
      "[Default Applications]\nx-scheme-handler/mailto=gone.desktop;own.desktop\n";
  Entry("/home/u/.local/share/applications/own.desktop", "own");
  EXPECT_EQ(Found(), "own /home/u/.local/share/applications/own.desktop");

  files.Files["/home/u/.config/mimeapps.list"] =
      "[Default Applications]\nx-scheme-handler/mailto=sys.desktop\n";
  EXPECT_EQ(Found(), "sys /usr/share/applications/sys.desktop");
}

TEST_F(FindHandler, VariablesReplaceTheDefaultFolders) {
  env.Environment["XDG_CONFIG_HOME"] = "/cfg";
  env.Environment["XDG_DATA_HOME"] = "/data";
  env.Environment["XDG_DATA_DIRS"] = "relative/ignored:/opt/share";
  files.Files["/cfg/mimeapps.list"] = "[Default Applications]\nx-scheme-handler/mailto=m.desktop\n";
  Entry("/usr/share/applications/m.desktop", "wrong");
  EXPECT_EQ(Found(), std::nullopt) << "/usr/share is not searched when XDG_DATA_DIRS is set";
  Entry("/opt/share/applications/m.desktop", "opt");
  EXPECT_EQ(Found(), "opt /opt/share/applications/m.desktop");
  Entry("/data/applications/m.desktop", "data");
  EXPECT_EQ(Found(), "data /data/applications/m.desktop");
}

TEST_F(FindHandler, AnUnusableFirstEntryOfAnIdIsNotReplacedByALaterOne) {
  files.Files["/home/u/.config/mimeapps.list"] =
      "[Default Applications]\nx-scheme-handler/mailto=m.desktop;n.desktop\n";
  files.Files["/home/u/.local/share/applications/m.desktop"] =
      "[Desktop Entry]\nType=Application\nName=m\nHidden=true\nExec=m\n";
  Entry("/usr/share/applications/m.desktop", "system-m");
  Entry("/usr/share/applications/n.desktop", "n");
  EXPECT_EQ(Found(), "n /usr/share/applications/n.desktop");
}

}  // namespace
}  // namespace postvane
