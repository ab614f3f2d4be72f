// The folder part of the paths the programs get from Windows and from their options.
#include "win32/program_folder.h"

#include <gtest/gtest.h>

namespace postvane {
namespace {

TEST(ProgramFolderTest, FolderOfKeepsRootsAndTakesEitherSeparator) {
  const struct {
    const char* path;
    const char* folder;
  } rows[] = {
      {"C:\\Program Files\\Postvane\\postvane.exe", "C:\\Program Files\\Postvane"},
      {"C:\\postvane.exe", "C:\\"},
      {"Z:/tmp/Postvane.ini", "Z:/tmp"},
      {"\\\\server\\share\\Postvane.ini", "\\\\server\\share"},
      {"/Postvane.ini", "/"},
      {"Postvane.ini", "."},
      {"", "."},
  };
  for (const auto& row : rows) EXPECT_EQ(FolderOf(row.path), row.folder) << row.path;
}

TEST(ProgramFolderTest, TheExecutableIsInItsFolder) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_NE(folder, ".");
}

}  // namespace
}  // namespace postvane
