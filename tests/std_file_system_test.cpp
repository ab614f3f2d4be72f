// The disk file system: whole-file replacement, permissions, appends and file tests.
#include "settings/std_file_system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "fakes/temp_folder.h"

namespace postvane {
namespace {

namespace fs = std::filesystem;
using std::string_literals::operator""s;

class StdFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder.Path().empty()); }

  std::string ReadAll(const std::string& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Put(const std::string& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary);
    out << bytes;
  }
  // Names in the folder, to see that no temporary file is left behind.
  std::size_t EntryCount() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()));
  }

  TempFolder folder;
  StdFileSystem disk;
};

TEST_F(StdFileSystemTest, ReadMissingFileFails) {
  std::string bytes = "untouched";
  EXPECT_FALSE(disk.ReadFile(folder.File("none.ini"), bytes));
  EXPECT_EQ(bytes, "untouched");
}

TEST_F(StdFileSystemTest, ReadFolderFails) {
  std::string bytes;
  EXPECT_FALSE(disk.ReadFile(folder.Path().string(), bytes));
}

TEST_F(StdFileSystemTest, ReadsBinaryBytesExactly) {
  std::string content = "a\0b\r\n\xFF"s;
  content += std::string(200000, 'z');
  Put(folder.File("f.bin"), content);
  std::string bytes;
  ASSERT_TRUE(disk.ReadFile(folder.File("f.bin"), bytes));
  EXPECT_EQ(bytes, content);
}

TEST_F(StdFileSystemTest, ReadsAnEmptyFile) {
  Put(folder.File("empty"), "");
  std::string bytes = "x";
  ASSERT_TRUE(disk.ReadFile(folder.File("empty"), bytes));
  EXPECT_EQ(bytes, "");
}

TEST_F(StdFileSystemTest, ReplaceCreatesAFileForTheOwnerOnly) {
  const std::string path = folder.File("Postvane.ini");
  ASSERT_TRUE(disk.ReplaceFile(path, "[General]\r\n"));
  EXPECT_EQ(ReadAll(path), "[General]\r\n");
#ifndef _WIN32
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(StdFileSystemTest, ReplaceTightensAWiderFileToTheOwner) {
  const std::string path = folder.File("Postvane.ini");
  Put(path, "old");
  const fs::perms chosen = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::others_read;
  fs::permissions(path, chosen);
  ASSERT_TRUE(disk.ReplaceFile(path, "new content"));
  EXPECT_EQ(ReadAll(path), "new content");
#ifndef _WIN32
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(StdFileSystemTest, ReplaceWithShorterContentLeavesNoTail) {
  const std::string path = folder.File("f");
  Put(path, std::string(1000, 'x'));
  ASSERT_TRUE(disk.ReplaceFile(path, "short"));
  EXPECT_EQ(ReadAll(path), "short");
}

TEST_F(StdFileSystemTest, ReplaceOfAReadOnlyFileFailsAndKeepsIt) {
  const std::string path = folder.File("f");
  Put(path, "old");
  fs::permissions(path, fs::perms::owner_read);
  EXPECT_FALSE(disk.ReplaceFile(path, "new"));
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(StdFileSystemTest, ReplaceOfAFolderFailsAndLeavesNoTemporary) {
  const std::string path = folder.File("sub");
  fs::create_directory(path);
  Put(folder.File("sub") + "/inside", "x");
  EXPECT_FALSE(disk.ReplaceFile(path, "new"));
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(StdFileSystemTest, ReplaceInAMissingFolderFails) {
  EXPECT_FALSE(disk.ReplaceFile(folder.File("no/such/file"), "x"));
  EXPECT_EQ(EntryCount(), 0u);
}

TEST_F(StdFileSystemTest, ReplaceInAReadOnlyFolderFailsAndKeepsTheFile) {
  const std::string path = folder.File("f");
  Put(path, "old");
  fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  {
    std::ofstream probe(folder.Path() / "probe");
    if (probe) {
      probe.close();
      fs::remove(folder.Path() / "probe");
      GTEST_SKIP() << "the folder stays writable for this user";
    }
  }
  EXPECT_FALSE(disk.ReplaceFile(path, "new"));
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(EntryCount(), 1u);
}

#ifndef _WIN32
// Without owners to compare, no link is trusted: reading works, replacing and appending fail.
TEST_F(StdFileSystemTest, LinksAreReadButNeverWrittenThrough) {
  fs::create_directory(folder.Path() / "real");
  const std::string target = folder.File("real/Postvane.ini");
  Put(target, "old");
  const std::string link = folder.File("link.ini");
  fs::create_symlink(target, link);
  std::string bytes;
  ASSERT_TRUE(disk.ReadFile(link, bytes));
  EXPECT_EQ(bytes, "old");
  EXPECT_FALSE(disk.ReplaceFile(link, "new"));
  EXPECT_FALSE(disk.AppendFile(link, "new"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(ReadAll(target), "old");
}
#endif

TEST_F(StdFileSystemTest, ManyReplacementsLeaveOneFile) {
  const std::string path = folder.File("f");
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(disk.ReplaceFile(path, std::to_string(i)));
  EXPECT_EQ(ReadAll(path), "49");
  EXPECT_EQ(EntryCount(), 1u);
}

// A save killed before its rename leaves a temporary copy with the passwords in it.
TEST_F(StdFileSystemTest, RemoveTemporariesTakesOnlyThoseOfThatFile) {
  const std::string path = folder.File("Postvane.ini");
  Put(path, "kept");
  const std::string first = folder.File("Postvane.ini.tmp-123456");
  const std::string second = folder.File("Postvane.ini.tmp-654321");
  const std::string other = folder.File("Postvane.ini.tmp-notours");
  const std::string otherFile = folder.File("receive.log.tmp-42");
  for (const std::string& name : {first, second, other, otherFile}) Put(name, "old");

  disk.RemoveTemporaries(path);
  EXPECT_EQ(ReadAll(path), "kept");
  EXPECT_FALSE(fs::exists(first));
  EXPECT_FALSE(fs::exists(second));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(fs::exists(otherFile));
}

TEST_F(StdFileSystemTest, SizeAndRename) {
  const std::string log = folder.File("receive.log");
  EXPECT_EQ(disk.FileSize(log), std::nullopt);
  Put(log, "12345");
  Put(log + ".1", "older");
  EXPECT_EQ(disk.FileSize(log), 5u);
  EXPECT_EQ(disk.FileSize(folder.Path().string()), std::nullopt);
  ASSERT_TRUE(disk.RenameFile(log, log + ".1"));
  EXPECT_EQ(ReadAll(log + ".1"), "12345");
  EXPECT_FALSE(fs::exists(log));
  EXPECT_FALSE(disk.RenameFile(log, log + ".1"));
}

TEST_F(StdFileSystemTest, WriteCreatesAndTruncates) {
  const std::string path = folder.File("PROCNOW.SEM");
  ASSERT_TRUE(disk.WriteFile(path, "long content"));
  ASSERT_TRUE(disk.WriteFile(path, "x"));
  EXPECT_EQ(ReadAll(path), "x");
  EXPECT_FALSE(disk.WriteFile(folder.File("no/such/file"), "x"));
}

TEST_F(StdFileSystemTest, AppendCreatesThenAppends) {
  const std::string path = folder.File("receive.log");
  ASSERT_TRUE(disk.AppendFile(path, "one\r\n"));
  ASSERT_TRUE(disk.AppendFile(path, "two\r\n"));
  EXPECT_EQ(ReadAll(path), "one\r\ntwo\r\n");
  EXPECT_FALSE(disk.AppendFile(folder.Path().string(), "x"));
}

TEST_F(StdFileSystemTest, IsPlainFileOnlyForFiles) {
  Put(folder.File("ONLINE.SEM"), "");
  EXPECT_TRUE(disk.IsPlainFile(folder.File("ONLINE.SEM")));
  EXPECT_FALSE(disk.IsPlainFile(folder.File("PREDIAL.SEM")));
  EXPECT_FALSE(disk.IsPlainFile(folder.Path().string()));
  EXPECT_FALSE(disk.IsPlainFile(""));
  EXPECT_FALSE(disk.IsPlainFile(folder.File("ONLINE.SEM") + "/below"));
}

TEST_F(StdFileSystemTest, Utf8FileNames) {
  const std::string path = folder.File(
      "Postf\xC3\xA4"
      "cher.ini");
  ASSERT_TRUE(disk.ReplaceFile(path, "x"));
  EXPECT_TRUE(disk.IsPlainFile(path));
  std::string bytes;
  ASSERT_TRUE(disk.ReadFile(path, bytes));
  EXPECT_EQ(bytes, "x");
}

}  // namespace
}  // namespace postvane
