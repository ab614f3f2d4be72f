// File access on the Windows API: replacement, owner-only files, wide paths.
#include "win32/win32_file_system.h"

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "../fakes/temp_folder.h"
#include "win32/wide_text.h"

#undef ReplaceFile

namespace postvane {
namespace {

std::size_t FilesIn(const std::filesystem::path& folder) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++count;
  }
  return count;
}

// The access list of a file: whether it has one, and whether every entry allows the current
// user. The local system account counts as the user: Wine lists it on every file it makes.
struct AccessList {
  int entries = -1;
  bool allForCurrentUser = false;
};

AccessList AccessListOf(const std::string& path) {
  AccessList result;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring wide = Widen(path);
  if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return result;
  }
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  char buffer[256];
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
  CloseHandle(token);
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                           &system);
  result.entries = dacl != nullptr ? dacl->AceCount : 0;
  result.allForCurrentUser = result.entries > 0;
  for (int i = 0; i < result.entries; ++i) {
    void* entry = nullptr;
    GetAce(dacl, static_cast<DWORD>(i), &entry);
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    const PSID who = reinterpret_cast<PSID>(&allowed->SidStart);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        !(EqualSid(who, user) || EqualSid(who, system))) {
      result.allForCurrentUser = false;
    }
  }
  FreeSid(system);
  LocalFree(descriptor);
  return result;
}

TEST(Win32FileSystemTest, ReplaceCreatesAnOwnerOnlyFileAndLeavesNothingBeside) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string path = folder.File("Postvane.ini");
  ASSERT_TRUE(files.ReplaceFile(path, "[General]\r\nA=1\r\n"));
  ASSERT_TRUE(files.ReplaceFile(path, "[General]\r\nA=2\r\n"));
  std::string bytes;
  ASSERT_TRUE(files.ReadFile(path, bytes));
  EXPECT_EQ(bytes, "[General]\r\nA=2\r\n");
  EXPECT_EQ(FilesIn(folder.Path()), 1u);
  const AccessList access = AccessListOf(path);
  EXPECT_GE(access.entries, 1);
  EXPECT_TRUE(access.allForCurrentUser);
}

TEST(Win32FileSystemTest, ReadOnlyTargetIsRefusedAndKept) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string path = folder.File("locked.ini");
  ASSERT_TRUE(files.WriteFile(path, "old"));
  SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(files.ReplaceFile(path, "new"));
  std::string bytes;
  ASSERT_TRUE(files.ReadFile(path, bytes));
  EXPECT_EQ(bytes, "old");
  EXPECT_EQ(FilesIn(folder.Path()), 1u);
  SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32FileSystemTest, WriteAppendAndReadWithWidePaths) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string path = folder.File("Z\xC3\xBCrich \xE6\x97\xA5.log");
  ASSERT_TRUE(files.AppendFile(path, "one\r\n"));
  ASSERT_TRUE(files.AppendFile(path, "two\r\n"));
  std::string bytes;
  ASSERT_TRUE(files.ReadFile(path, bytes));
  EXPECT_EQ(bytes, "one\r\ntwo\r\n");
  ASSERT_TRUE(files.WriteFile(path, "three"));
  ASSERT_TRUE(files.ReadFile(path, bytes));
  EXPECT_EQ(bytes, "three");
  EXPECT_TRUE(files.IsPlainFile(path));
}

TEST(Win32FileSystemTest, FoldersAndMissingFilesAreNotPlainFiles) {
  TempFolder folder;
  Win32FileSystem files;
  std::string bytes = "untouched";
  EXPECT_FALSE(files.IsPlainFile(folder.Path().string()));
  EXPECT_FALSE(files.IsPlainFile(folder.File("missing")));
  EXPECT_FALSE(files.ReadFile(folder.File("missing"), bytes));
  EXPECT_FALSE(files.ReadFile(folder.Path().string(), bytes));
  EXPECT_FALSE(files.ReplaceFile(folder.Path().string(), "x"));
  EXPECT_EQ(bytes, "untouched");
}

TEST(Win32FileSystemTest, SideFileLockExcludesASecondHolderUntilReleased) {
  TempFolder folder;
  Win32FileSystem files;
  files.SetLockWaitMs(0);
  const std::string side = folder.File("Postvane.ini.lock");
  std::unique_ptr<FileLock> first = files.LockSideFile(side);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(files.IsPlainFile(side));
  EXPECT_TRUE(AccessListOf(side).allForCurrentUser);
  EXPECT_EQ(files.LockSideFile(side), nullptr) << "held by the first";
  first.reset();
  EXPECT_NE(files.LockSideFile(side), nullptr) << "free again";
}

TEST(Win32FileSystemTest, SizeAndRenameReplacingTheOlderFile) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string log = folder.File("receive.log");
  const std::string older = folder.File("receive.log.1");
  const std::string content(3000, 'x');
  ASSERT_TRUE(files.WriteFile(log, content));
  ASSERT_TRUE(files.WriteFile(older, "old"));
  EXPECT_EQ(files.FileSize(log), std::optional<std::uintmax_t>(content.size()));
  EXPECT_EQ(files.FileSize(folder.File("missing")), std::nullopt);
  EXPECT_EQ(files.FileSize(folder.Path().string()), std::nullopt);
  ASSERT_TRUE(files.RenameFile(log, older));
  EXPECT_FALSE(files.IsPlainFile(log));
  EXPECT_EQ(files.FileSize(older), std::optional<std::uintmax_t>(content.size()));
  EXPECT_FALSE(files.RenameFile(folder.File("missing"), log));
}

TEST(Win32FileSystemTest, RemoveTemporariesTakesOnlyTheCopiesOfThatFile) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string path = folder.File("Postvane.ini");
  ASSERT_TRUE(files.WriteFile(path, "[General]\r\n"));
  for (const char* left : {"Postvane.ini.tmp-1234", "Postvane.ini.tmp-99887766"}) {
    ASSERT_TRUE(files.WriteFile(folder.File(left), "Password=x"));
  }
  for (const char* other : {"Other.ini.tmp-1", "Postvane.ini.lock", "Postvane.ini.bak"}) {
    ASSERT_TRUE(files.WriteFile(folder.File(other), "keep"));
  }
  files.RemoveTemporaries(path);
  EXPECT_EQ(FilesIn(folder.Path()), 4u);
  for (const char* kept : {"Postvane.ini", "Other.ini.tmp-1", "Postvane.ini.lock", "Postvane.ini.bak"}) {
    EXPECT_TRUE(files.IsPlainFile(folder.File(kept))) << kept;
  }
}

TEST(Win32FileSystemTest, AppendCreatesAnOwnerOnlyFile) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string path = folder.File("receive.log");
  ASSERT_TRUE(files.AppendFile(path, "From: a\r\n"));
  EXPECT_TRUE(AccessListOf(path).allForCurrentUser);
}

}  // namespace
}  // namespace postvane
