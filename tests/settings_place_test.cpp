// Where the settings live: portable beside the program, the user's folder when installed,
// or the file named on the command line.
#include "settings/settings_place.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/fake_path_probe.h"

namespace postvane {
namespace {

using test::FakePathProbe;

constexpr const char* kBuildFolder = "/home/ann/postvane/build";
constexpr const char* kInstalledFolder = "/usr/bin";
constexpr const char* kMetainfo = "/usr/share/metainfo/org.postvane.Postvane.metainfo.xml";

struct PlaceCase {
  const char* Name;
  const char* ProgramFolder;
  bool WritableProgramFolder;
  bool SettingsBesideProgram;
  bool Installed;
  bool UserSettingsExist;
  const char* ConfigHome;  // XDG_CONFIG_HOME; nullptr: unset
  const char* Home;        // nullptr: unset
  SettingsPlace Expected;
  const char* ExpectedFolder;  // where Postvane.ini and receive.log go
};

// The user's folder as the XDG rules give it for the row's environment.
constexpr PlaceCase kPlaceCases[] = {
    {"PortableWritableFolder", kBuildFolder, true, false, false, false, nullptr, "/home/ann",
     SettingsPlace::BesideProgram, kBuildFolder},
    {"PortableFileBesideReadOnlyFolder", kBuildFolder, false, true, false, false, nullptr,
     "/home/ann", SettingsPlace::BesideProgram, kBuildFolder},
    {"FileBesideInstalledProgramWins", kInstalledFolder, false, true, true, true, nullptr,
     "/home/ann", SettingsPlace::BesideProgram, kInstalledFolder},
    {"ReadOnlyFolderGoesToUser", kBuildFolder, false, false, false, false, nullptr, "/home/ann",
     SettingsPlace::UserFolder, "/home/ann/.config/postvane"},
    {"WritableButUserSettingsExist", kBuildFolder, true, false, false, true, nullptr, "/home/ann",
     SettingsPlace::UserFolder, "/home/ann/.config/postvane"},
    // Root may write /usr/bin; an installed copy still keeps the settings per user.
    {"InstalledEvenWhenWritable", kInstalledFolder, true, false, true, false, nullptr, "/root",
     SettingsPlace::UserFolder, "/root/.config/postvane"},
    {"ConfigHomeWins", kInstalledFolder, false, false, true, false, "/tmp/cfg", "/home/ann",
     SettingsPlace::UserFolder, "/tmp/cfg/postvane"},
    {"RelativeConfigHomeIgnored", kInstalledFolder, false, false, true, false, "cfg", "/home/ann",
     SettingsPlace::UserFolder, "/home/ann/.config/postvane"},
    {"NoHomeStaysBesideProgram", kInstalledFolder, false, false, true, false, nullptr, nullptr,
     SettingsPlace::BesideProgram, kInstalledFolder},
    {"RelativeHomeStaysBesideProgram", kInstalledFolder, false, false, true, false, "", "ann",
     SettingsPlace::BesideProgram, kInstalledFolder},
};

class SettingsPlaceTest : public testing::TestWithParam<PlaceCase> {};

TEST_P(SettingsPlaceTest, ChoosesTheFolder) {
  const PlaceCase& c = GetParam();
  FakePathProbe probe;
  const std::string programFolder = c.ProgramFolder;
  if (c.WritableProgramFolder) probe.WritableFolders.insert(programFolder);
  if (c.SettingsBesideProgram) probe.Files.insert(JoinPath(programFolder, "Postvane.ini"));
  if (c.Installed) probe.Files.insert(kMetainfo);
  if (c.ConfigHome) probe.Environment["XDG_CONFIG_HOME"] = c.ConfigHome;
  if (c.Home) probe.Environment["HOME"] = c.Home;
  if (c.UserSettingsExist) {
    probe.Files.insert(JoinPath(c.ExpectedFolder, "Postvane.ini"));
  }

  const ChosenPaths chosen = ChooseProgramPaths(programFolder, std::nullopt, probe);

  EXPECT_EQ(chosen.Place, c.Expected);
  EXPECT_EQ(chosen.Paths.SettingsFile, JoinPath(c.ExpectedFolder, "Postvane.ini"));
  EXPECT_EQ(chosen.Paths.ReceiveLog, JoinPath(c.ExpectedFolder, "receive.log"));
  EXPECT_EQ(chosen.Paths.ProgramFolder, programFolder);
  EXPECT_FALSE(chosen.FolderFailed);
  // Only the user's folder is made, and made before anything is written there.
  if (c.Expected == SettingsPlace::UserFolder) {
    EXPECT_EQ(probe.FoldersMade, std::vector<std::string>{c.ExpectedFolder});
  } else {
    EXPECT_TRUE(probe.FoldersMade.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsPlaceTest, testing::ValuesIn(kPlaceCases),
                         [](const testing::TestParamInfo<PlaceCase>& info) {
                           return std::string(info.param.Name);
                         });

// The same rule where the platform tells itself whether the copy is installed and where the
// user's folder is, as the Windows programs do (installer record, %APPDATA%\Postvane).
struct ToldCase {
  const char* Name;
  bool Installed;
  bool WritableProgramFolder;
  bool SettingsBesideProgram;
  bool UserSettingsExist;
  const char* UserFolder;  // "" when there is none
  SettingsPlace Expected;
};

constexpr const char* kProgramFiles = "/c/Program Files/Postvane";
constexpr const char* kAppData = "/c/Users/ann/AppData/Roaming/Postvane";

constexpr ToldCase kToldCases[] = {
    {"InstalledGoesToTheUser", true, true, false, false, kAppData, SettingsPlace::UserFolder},
    {"InstalledButFileBesideIt", true, true, true, false, kAppData, SettingsPlace::BesideProgram},
    {"PortableWritable", false, true, false, false, kAppData, SettingsPlace::BesideProgram},
    {"PortableReadOnly", false, false, false, false, kAppData, SettingsPlace::UserFolder},
    {"PortableWithUserSettings", false, true, false, true, kAppData, SettingsPlace::UserFolder},
    {"InstalledWithoutUserFolder", true, false, false, false, "", SettingsPlace::BesideProgram},
};

class ToldPlaceTest : public testing::TestWithParam<ToldCase> {};

TEST_P(ToldPlaceTest, ChoosesTheFolderAsTheXdgRuleDoes) {
  const ToldCase& c = GetParam();
  FakePathProbe probe;
  if (c.WritableProgramFolder) probe.WritableFolders.insert(kProgramFiles);
  if (c.SettingsBesideProgram) probe.Files.insert(JoinPath(kProgramFiles, "Postvane.ini"));
  if (c.UserSettingsExist) probe.Files.insert(JoinPath(kAppData, "Postvane.ini"));
  // No metainfo and no XDG variables: only what the caller tells counts.
  const ChosenPaths chosen =
      ChooseProgramPaths(kProgramFiles, std::nullopt, c.Installed, c.UserFolder, probe);
  const std::string folder = c.Expected == SettingsPlace::UserFolder ? kAppData : kProgramFiles;
  EXPECT_EQ(chosen.Place, c.Expected);
  EXPECT_EQ(chosen.Paths.SettingsFile, JoinPath(folder, "Postvane.ini"));
  EXPECT_EQ(chosen.Paths.ReceiveLog, JoinPath(folder, "receive.log"));
  EXPECT_EQ(chosen.Paths.DefaultSoundFile, JoinPath(kProgramFiles, "NewMail.wav"));
  EXPECT_EQ(probe.FoldersMade.empty(), c.Expected != SettingsPlace::UserFolder);
}

INSTANTIATE_TEST_SUITE_P(Cases, ToldPlaceTest, testing::ValuesIn(kToldCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsPlace, GivenFileWinsAndTakesTheLogAlong) {
  FakePathProbe probe;
  probe.Files.insert(kMetainfo);
  probe.Files.insert("/usr/bin/Postvane.ini");
  probe.Environment["HOME"] = "/home/ann";

  const ChosenPaths chosen =
      ChooseProgramPaths(kInstalledFolder, std::string("/srv/mail/work.ini"), probe);

  EXPECT_EQ(chosen.Place, SettingsPlace::Given);
  EXPECT_EQ(chosen.Paths.SettingsFile, "/srv/mail/work.ini");
  EXPECT_EQ(chosen.Paths.ReceiveLog, "/srv/mail/receive.log");
  EXPECT_TRUE(probe.FoldersMade.empty());
}

TEST(SettingsPlace, GivenRelativeFileLogsBesideItsAbsoluteFolder) {
  FakePathProbe probe;
  const ChosenPaths chosen = ChooseProgramPaths(kBuildFolder, std::string("sub/my.ini"), probe);
  const std::filesystem::path expected = std::filesystem::absolute("sub") / "receive.log";
  EXPECT_EQ(chosen.Paths.SettingsFile, "sub/my.ini");
  EXPECT_EQ(chosen.Paths.ReceiveLog, expected.string());
}

TEST(SettingsPlace, EmptyGivenFileCountsAsNone) {
  FakePathProbe probe;
  probe.WritableFolders.insert(kBuildFolder);
  const ChosenPaths chosen = ChooseProgramPaths(kBuildFolder, std::string(), probe);
  EXPECT_EQ(chosen.Place, SettingsPlace::BesideProgram);
}

TEST(SettingsPlace, SoundComesFromTheSharedFolderWhenInstalled) {
  FakePathProbe probe;
  probe.Environment["HOME"] = "/home/ann";
  EXPECT_EQ(ChooseProgramPaths(kBuildFolder, std::nullopt, probe).Paths.DefaultSoundFile,
            JoinPath(kBuildFolder, "NewMail.wav"));
  probe.Files.insert(kMetainfo);
  EXPECT_EQ(ChooseProgramPaths(kInstalledFolder, std::nullopt, probe).Paths.DefaultSoundFile,
            "/usr/share/postvane/NewMail.wav");
}

TEST(SettingsPlace, FolderThatCannotBeMadePrivateIsReported) {
  FakePathProbe probe;
  probe.Files.insert(kMetainfo);
  probe.Environment["HOME"] = "/home/ann";
  probe.FolderFails = true;
  const ChosenPaths chosen = ChooseProgramPaths(kInstalledFolder, std::nullopt, probe);
  EXPECT_EQ(chosen.Place, SettingsPlace::UserFolder);
  EXPECT_TRUE(chosen.FolderFailed);
}

struct ArgumentCase {
  const char* Name;
  std::vector<std::string> Arguments;
  std::optional<std::string> Expected;
};

class SettingsArgumentTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(SettingsArgumentTest, FindsTheFile) {
  EXPECT_EQ(SettingsFileArgument(GetParam().Arguments), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsArgumentTest,
    testing::Values(ArgumentCase{"None", {}, std::nullopt},
                    ArgumentCase{"Separate", {"--settings", "a.ini"}, "a.ini"},
                    ArgumentCase{"Joined", {"--settings=b.ini"}, "b.ini"},
                    ArgumentCase{"LastWins", {"--settings", "a.ini", "--settings=b.ini"}, "b.ini"},
                    ArgumentCase{"MissingValueIgnored", {"--settings"}, std::nullopt},
                    ArgumentCase{"EmptyJoinedIgnored", {"--settings="}, std::nullopt},
                    ArgumentCase{
                        "OtherArgumentsIgnored", {"-style", "fusion", "x.ini"}, std::nullopt},
                    ArgumentCase{"SimilarNameIgnored", {"--settingsx=c.ini"}, std::nullopt}),
    [](const testing::TestParamInfo<ArgumentCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace postvane
