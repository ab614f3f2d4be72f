// The about window's version line.
#include "ui/version_line.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

TEST(VersionLineTest, JoinsTheThreeNumbersWithoutLeadingZeros) {
  EXPECT_EQ(VersionLine(4, 1, 0), "Version 4.1.0");
  EXPECT_EQ(VersionLine(2, 10, 3), "Version 2.10.3");
  EXPECT_EQ(VersionLine(0, 0, 0), "Version 0.0.0");
}

TEST(VersionLineTest, ThisBuildShowsItsOwnVersion) {
  EXPECT_EQ(ProgramVersionLine(), "Version " + std::to_string(POSTVANE_VERSION_MAJOR) + "." +
                                      std::to_string(POSTVANE_VERSION_MINOR) + "." +
                                      std::to_string(POSTVANE_VERSION_PATCH));
}

}  // namespace
}  // namespace postvane
