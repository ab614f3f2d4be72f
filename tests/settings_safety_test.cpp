// The settings file under hostile conditions: a file or folder that cannot be written, a path
// that is no file at all, and values the fuzzer found not coming back as they were saved.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "app/tray_commands.h"
#include "app/uidl_store.h"
#include "check/new_mail_rules.h"
#include "fakes/fake_file_system.h"
#include "fakes/temp_folder.h"
#include "settings/settings_store.h"
#include "settings/std_file_system.h"

namespace postvane {
namespace {

namespace fs = std::filesystem;

const std::string kIni = "/prog/Postvane.ini";
const std::string kSound = "/prog/NewMail.wav";

MailboxRecord SampleMailbox() {
  MailboxRecord record;
  record.Name = "Home";
  record.User = "alice";
  record.Password = "secret";
  record.RemoteHost = "pop.example.org";
  record.RemotePort = 995;
  record.Enabled = kTrue;
  return record;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// True when the permissions just taken away really stop this process (they do not for root).
bool WritesAreRefused(const fs::path& path) {
  std::ofstream probe(path / "probe", std::ios::binary);
  const bool opened = static_cast<bool>(probe);
  probe.close();
  std::error_code error;
  fs::remove(path / "probe", error);
  return !opened;
}

const char kOldFile[] =
    "[MailBox0]\r\nName=Old\r\nUser=alice\r\nRemotePort=110\r\nEnabled=1\r\nUIDL=uid-1\r\n"
    "[General]\r\nInterval=5\r\nReceiveLog=1\r\n";

class UnwritableSettingsTest : public ::testing::Test {
 protected:
  // Every kind of save the program makes, each of which must fail without a trace.
  void SaveEverything(SettingsStore& store) {
    MailboxRecord record = SampleMailbox();
    store.SaveMailbox(record, 0);
    EXPECT_FALSE(store.LastWriteSucceeded());
    store.SaveUidl(0, "uid-9");
    EXPECT_FALSE(store.LastWriteSucceeded());
    GeneralSettings general;
    general.Interval = 30;
    store.SaveGeneral(general);
    EXPECT_FALSE(store.LastWriteSucceeded());
    // The values stay in memory for the rest of the run.
    EXPECT_EQ(record.Name, "Home");
    EXPECT_EQ(general.Interval, 30);
  }

  void ExpectOldValues(SettingsStore& store) {
    MailboxRecord loaded;
    store.LoadMailbox(loaded, 0);
    EXPECT_EQ(loaded.Name, "Old");
    EXPECT_EQ(loaded.UIDL, "uid-1");
    GeneralSettings general;
    store.LoadGeneral(general);
    EXPECT_EQ(general.Interval, 5);
    EXPECT_EQ(general.ReceiveLog, kTrue);
  }

  TempFolder folder;
  StdFileSystem disk;
};

TEST_F(UnwritableSettingsTest, ReadOnlyFileIsLeftAsItWas) {
  const fs::path file = folder.Path() / "Postvane.ini";
  WriteAll(file, kOldFile);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  {
    std::ofstream probe(file, std::ios::binary | std::ios::app);
    if (probe) GTEST_SKIP() << "running with rights that ignore a read-only file";
  }
  SettingsStore store(disk, file.string(), kSound);
  SaveEverything(store);
  EXPECT_EQ(ReadAll(file), kOldFile);
  ExpectOldValues(store);
  // No temporary file is left beside it.
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Postvane.ini"});
}

TEST_F(UnwritableSettingsTest, ReadOnlyFolderKeepsTheOldFile) {
  const fs::path file = folder.Path() / "Postvane.ini";
  WriteAll(file, kOldFile);
  fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  if (!WritesAreRefused(folder.Path())) {
    GTEST_SKIP() << "running with rights that ignore a read-only folder";
  }
  SettingsStore store(disk, file.string(), kSound);
  SaveEverything(store);
  EXPECT_EQ(ReadAll(file), kOldFile);
  ExpectOldValues(store);
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Postvane.ini"});
}

TEST_F(UnwritableSettingsTest, ReadOnlyFolderWithoutAFileGivesDefaults) {
  fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  if (!WritesAreRefused(folder.Path())) {
    GTEST_SKIP() << "running with rights that ignore a read-only folder";
  }
  SettingsStore store(disk, folder.File("Postvane.ini"), kSound);
  SaveEverything(store);
  EXPECT_TRUE(FolderEntries(folder.Path()).empty());
  MailboxRecord loaded;
  store.LoadMailbox(loaded, 0);
  EXPECT_EQ(loaded.RemotePort, 110);
  EXPECT_EQ(loaded.Name, "");
}

// Works whatever the rights: nothing can write a file where a folder stands.
TEST_F(UnwritableSettingsTest, PathThatIsAFolderFailsQuietly) {
  const fs::path path = folder.Path() / "Postvane.ini";
  fs::create_directory(path);
  WriteAll(path / "inside", "x");
  SettingsStore store(disk, path.string(), kSound);
  SaveEverything(store);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(ReadAll(path / "inside"), "x");
  GeneralSettings general;
  store.LoadGeneral(general);
  EXPECT_EQ(general.Interval, 5);
  EXPECT_EQ(general.SoundFile, kSound);
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Postvane.ini"});
}

// Nor under a path whose folder is a plain file.
TEST_F(UnwritableSettingsTest, PathUnderAPlainFileFailsQuietly) {
  const fs::path blocker = folder.Path() / "program";
  WriteAll(blocker, "not a folder");
  SettingsStore store(disk, (blocker / "Postvane.ini").string(), kSound);
  SaveEverything(store);
  EXPECT_EQ(ReadAll(blocker), "not a folder");
  MailboxRecord loaded;
  store.LoadMailbox(loaded, 3);
  EXPECT_EQ(loaded.RemotePort, 110);
}

// The acknowledgement's save fails; the program still counts from the new position.
class SavingActions : public UidlStore {
 public:
  explicit SavingActions(SettingsStore& store) : store_(store) {}
  void SaveUidl(int16_t index, const std::string& uidl) override {
    ++Saves;
    store_.SaveUidl(index, uidl);
  }
  void SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) override {
    ++Saves;
    store_.SaveImapPoint(index, uidValidity, lastUid);
  }
  int Saves = 0;

 private:
  SettingsStore& store_;
};

TEST_F(UnwritableSettingsTest, AcknowledgementThatCannotBeSavedStillHoldsForThisRun) {
  const fs::path path = folder.Path() / "Postvane.ini";
  fs::create_directory(path);
  SettingsStore store(disk, path.string(), kSound);
  SavingActions actions(store);
  ProgramState state;
  MailboxRecord& box = state.Mailboxes[0];
  box.MessageCount = 3;
  box.NewCount = 3;
  box.NewestUidl = "uid-c";
  AcknowledgeMailbox(state, actions, 0);
  EXPECT_EQ(actions.Saves, 1);
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_EQ(box.UIDL, "uid-c");
  EXPECT_EQ(box.NewCount, 0);
  // The next listing counts from the acknowledged message: nothing is new.
  EvaluateUidlListing(box, "+OK\r\n1 uid-a\r\n2 uid-b\r\n3 uid-c\r\n.\r\n");
  FinishNewCount(box);
  EXPECT_EQ(box.NewCount, 0);
}

// Values found by the settings fuzzer that did not come back as saved.

class SettingsRoundTripTest : public ::testing::Test {
 protected:
  MailboxRecord Load(int16_t index) {
    MailboxRecord record;
    store.LoadMailbox(record, index);
    return record;
  }

  FakeFileSystem files;
  SettingsStore store{files, kIni, kSound};
};

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(SettingsRoundTripTest, PasswordOfManyNonAsciiCharactersComesBack) {
  // 200 characters, 400 bytes: within the 255 characters a value keeps.
  MailboxRecord record = SampleMailbox();
  record.Password = Repeat("\xC3\xA4", 200);
  store.SaveMailbox(record, 0);
  EXPECT_EQ(Load(0).Password, record.Password);
}

TEST_F(SettingsRoundTripTest, OldCodePagePasswordSurvivesBeingSavedAgain) {
  // An older version stored 255 code-page characters; loading makes them UTF-8 (twice the
  // bytes), and saving them back must not lose any.
  files.Files[kIni] =
      "[MailBox0]\r\nPassword=" + TransformPassword(std::string(255, '\xE4')) + "\r\n";
  const MailboxRecord first = Load(0);
  ASSERT_EQ(first.Password, Repeat("\xC3\xA4", 255));
  store.SaveMailbox(first, 0);
  EXPECT_EQ(Load(0).Password, first.Password);
}

TEST_F(SettingsRoundTripTest, PasswordOver255CharactersKeepsItsLast255Characters) {
  MailboxRecord record = SampleMailbox();
  record.Password = Repeat("a\xE2\x82\xAC", 150);  // 300 characters, 600 bytes
  store.SaveMailbox(record, 0);
  EXPECT_EQ(Load(0).Password, "\xE2\x82\xAC" + Repeat("a\xE2\x82\xAC", 127));
}

TEST_F(SettingsRoundTripTest, UidlKeepsTheServersBytes) {
  // Not UTF-8: taken as code-page text it would never match the server's listing again.
  const std::string uid = "\xE9t\xE9-\xFF\x80";
  store.SaveUidl(0, uid);
  MailboxRecord loaded = Load(0);
  EXPECT_EQ(loaded.UIDL, uid);
  loaded.MessageCount = 2;
  loaded.NewCount = 2;
  EvaluateUidlListing(loaded, "+OK\r\n1 a\r\n2 " + uid + "\r\n.\r\n");
  EXPECT_EQ(loaded.NewCount, 0);
}

TEST_F(SettingsRoundTripTest, UidlFromAnOlderFileIsReadAsItStands) {
  files.Files[kIni] = "[MailBox1]\r\nUIDL=caf\xE9\r\n";
  EXPECT_EQ(Load(1).UIDL, "caf\xE9");
}

}  // namespace
}  // namespace postvane
