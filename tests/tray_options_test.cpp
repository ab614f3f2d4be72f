// The tray program's command line: which request wins, and the texts it prints.
#include "app/tray_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/check_options.h"

namespace postvane {
namespace {

struct RequestCase {
  const char* Name;
  std::vector<std::string> Arguments;
  TrayRequest Expected;
};

class TrayRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(TrayRequests, FirstHelpOrVersionDecides) {
  EXPECT_EQ(TrayArgumentsRequest(GetParam().Arguments), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrayRequests,
    ::testing::Values(
        RequestCase{"None", {}, TrayRequest::RunTray},
        RequestCase{"SettingsOnly", {"--settings", "/tmp/a.ini"}, TrayRequest::RunTray},
        RequestCase{"Version", {"--version"}, TrayRequest::Version},
        RequestCase{"Help", {"--help"}, TrayRequest::Help},
        RequestCase{"ShortHelp", {"-h"}, TrayRequest::Help},
        RequestCase{
            "VersionAfterSettings", {"--settings", "x.ini", "--version"}, TrayRequest::Version},
        RequestCase{"FirstWins", {"--version", "--help"}, TrayRequest::Version},
        RequestCase{
            "SettingsFileNamedLikeAnOption", {"--settings", "--help"}, TrayRequest::RunTray},
        RequestCase{"AfterDoubleDash", {"--", "--version"}, TrayRequest::RunTray},
        RequestCase{"ToolkitOption", {"-platform", "offscreen"}, TrayRequest::RunTray},
        RequestCase{"NotAPrefix", {"--versions", "--helpful"}, TrayRequest::RunTray}),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.Name); });

TEST(TrayOptions, VersionLineNamesTheProductAndTheBuildsVersion) {
  const std::string version = std::to_string(POSTVANE_VERSION_MAJOR) + "." +
                              std::to_string(POSTVANE_VERSION_MINOR) + "." +
                              std::to_string(POSTVANE_VERSION_PATCH);
  EXPECT_EQ(TrayVersionLine(), "Postvane " + version);
  // The same number as the one-shot check prints.
  EXPECT_EQ(CheckVersionLine(), "postvane-check " + version);
}

TEST(TrayOptions, UsageNamesEveryOptionItAnswers) {
  const std::string usage = TrayUsage();
  for (const char* option : {"--settings FILE", "--help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(usage.back(), '\n');
}

}  // namespace
}  // namespace postvane
