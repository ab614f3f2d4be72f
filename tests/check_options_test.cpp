// Command line of postvane-check: options, values, usage errors, version line.
#include "app/check_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace postvane {
namespace {

using Args = std::vector<std::string>;

TEST(CheckOptions, NoArgumentsGiveTheDefaults) {
  const ParsedArguments parsed = ParseCheckArguments({});
  EXPECT_EQ(parsed.Error, "");
  const CheckOptions& o = parsed.Options;
  EXPECT_FALSE(o.SettingsFile.has_value());
  EXPECT_FALSE(o.Json);
  EXPECT_FALSE(o.Ack);
  EXPECT_FALSE(o.Quiet);
  EXPECT_FALSE(o.Help);
  EXPECT_FALSE(o.Version);
  EXPECT_TRUE(o.Mailboxes.empty());
  EXPECT_EQ(o.TimeoutSeconds, 60);
}

TEST(CheckOptions, EveryOptionIsRead) {
  const ParsedArguments parsed =
      ParseCheckArguments({"--settings", "/tmp/a b.ini", "--json", "--ack", "--quiet", "--mailbox",
                           "3", "--timeout", "5", "--help", "--version"});
  ASSERT_EQ(parsed.Error, "");
  const CheckOptions& o = parsed.Options;
  EXPECT_EQ(o.SettingsFile.value_or(""), "/tmp/a b.ini");
  EXPECT_TRUE(o.Json);
  EXPECT_TRUE(o.Ack);
  EXPECT_TRUE(o.Quiet);
  EXPECT_TRUE(o.Help);
  EXPECT_TRUE(o.Version);
  EXPECT_EQ(o.Mailboxes, std::vector<int16_t>{3});
  EXPECT_EQ(o.TimeoutSeconds, 5);
}

TEST(CheckOptions, ValuesMayFollowAnEqualsSign) {
  const ParsedArguments parsed =
      ParseCheckArguments({"--settings=x=y.ini", "--mailbox=9", "--timeout=86400"});
  ASSERT_EQ(parsed.Error, "");
  EXPECT_EQ(parsed.Options.SettingsFile.value_or(""), "x=y.ini");
  EXPECT_EQ(parsed.Options.Mailboxes, std::vector<int16_t>{9});
  EXPECT_EQ(parsed.Options.TimeoutSeconds, 86400);
}

TEST(CheckOptions, MailboxesAreSortedAndRepeatsCountOnce) {
  const ParsedArguments parsed =
      ParseCheckArguments({"--mailbox", "7", "--mailbox", "0", "--mailbox=7", "--mailbox", "2"});
  ASSERT_EQ(parsed.Error, "");
  EXPECT_EQ(parsed.Options.Mailboxes, (std::vector<int16_t>{0, 2, 7}));
}

TEST(CheckOptions, TheLastSettingsFileAndTimeLimitWin) {
  const ParsedArguments parsed =
      ParseCheckArguments({"--settings", "a", "--timeout", "9", "--settings", "b", "--timeout=3"});
  ASSERT_EQ(parsed.Error, "");
  EXPECT_EQ(parsed.Options.SettingsFile.value_or(""), "b");
  EXPECT_EQ(parsed.Options.TimeoutSeconds, 3);
}

struct UsageCase {
  const char* Name;
  Args Arguments;
  const char* Error;
};

class CheckOptionsUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(CheckOptionsUsage, GivesOneLineNamingTheProblem) {
  const ParsedArguments parsed = ParseCheckArguments(GetParam().Arguments);
  EXPECT_EQ(parsed.Error, GetParam().Error);
  EXPECT_EQ(parsed.Error.find('\n'), std::string::npos);
}

const UsageCase kUsageCases[] = {
    {"UnknownOption", {"--bogus"}, "postvane-check: unknown option --bogus (see --help)"},
    {"ShortOption", {"-j"}, "postvane-check: unknown option -j (see --help)"},
    {"LoneDash", {"-"}, "postvane-check: unknown option - (see --help)"},
    {"Positional", {"extra"}, "postvane-check: unexpected argument extra (see --help)"},
    {"MissingSettings",
     {"--settings"},
     "postvane-check: option --settings needs a value (see --help)"},
    {"EmptySettings",
     {"--settings="},
     "postvane-check: option --settings needs a file name (see --help)"},
    {"MissingMailbox",
     {"--json", "--mailbox"},
     "postvane-check: option --mailbox needs a value (see --help)"},
    {"MailboxTen",
     {"--mailbox", "10"},
     "postvane-check: mailbox index must be 0 to 9, not \"10\" (see --help)"},
    {"MailboxNegative",
     {"--mailbox", "-1"},
     "postvane-check: mailbox index must be 0 to 9, not \"-1\" (see --help)"},
    {"MailboxPlus",
     {"--mailbox=+1"},
     "postvane-check: mailbox index must be 0 to 9, not \"+1\" (see --help)"},
    {"MailboxBlank",
     {"--mailbox", " 1"},
     "postvane-check: mailbox index must be 0 to 9, not \" 1\" (see --help)"},
    {"MailboxLetters",
     {"--mailbox", "1a"},
     "postvane-check: mailbox index must be 0 to 9, not \"1a\" (see --help)"},
    {"MailboxEmpty",
     {"--mailbox="},
     "postvane-check: mailbox index must be 0 to 9, not \"\" (see --help)"},
    {"MailboxHuge",
     {"--mailbox", "99999999999999999999"},
     "postvane-check: mailbox index must be 0 to 9, not \"99999999999999999999\" (see --help)"},
    {"TimeoutZero",
     {"--timeout", "0"},
     "postvane-check: time limit must be 1 to 86400 seconds, not \"0\" (see --help)"},
    {"TimeoutTooLong",
     {"--timeout", "86401"},
     "postvane-check: time limit must be 1 to 86400 seconds, not \"86401\" (see --help)"},
    {"TimeoutFraction",
     {"--timeout", "1.5"},
     "postvane-check: time limit must be 1 to 86400 seconds, not \"1.5\" (see --help)"},
    {"TimeoutMissing",
     {"--timeout"},
     "postvane-check: option --timeout needs a value (see --help)"},
    {"ValueOnAFlag", {"--json=yes"}, "postvane-check: option --json takes no value (see --help)"},
    {"LineBreakInArgument", {"--bo\ngus"}, "postvane-check: unknown option --bo?gus (see --help)"},
    {"ErrorAfterHelp", {"--help", "--nope"}, "postvane-check: unknown option --nope (see --help)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CheckOptionsUsage, testing::ValuesIn(kUsageCases),
                         [](const testing::TestParamInfo<UsageCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST(CheckOptions, AValueThatLooksLikeAnOptionIsTakenAsTheValue) {
  const ParsedArguments parsed = ParseCheckArguments({"--settings", "--json"});
  ASSERT_EQ(parsed.Error, "");
  EXPECT_EQ(parsed.Options.SettingsFile.value_or(""), "--json");
  EXPECT_FALSE(parsed.Options.Json);
}

TEST(CheckOptions, VersionLineCarriesTheProjectVersion) {
  EXPECT_EQ(CheckVersionLine(), "postvane-check " + std::to_string(POSTVANE_VERSION_MAJOR) + "." +
                                    std::to_string(POSTVANE_VERSION_MINOR) + "." +
                                    std::to_string(POSTVANE_VERSION_PATCH));
}

TEST(CheckOptions, UsageNamesEveryOption) {
  const std::string usage = CheckUsage();
  for (const char* option : {"--settings FILE", "--json", "--ack", "--mailbox N", "--quiet",
                             "--timeout SECONDS", "--help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(usage.rfind("Usage: postvane-check", 0), 0u);
  EXPECT_EQ(usage.back(), '\n');
}

#ifdef POSTVANE_CHECK_MAN_PAGE
// Every exit status the program can give is explained in its manual page, and no other.
TEST(CheckOptions, ManualPageListsEveryExitStatus) {
  std::ifstream file(POSTVANE_CHECK_MAN_PAGE);
  ASSERT_TRUE(file) << POSTVANE_CHECK_MAN_PAGE;
  std::set<int> listed;
  bool inSection = false;
  bool afterTp = false;
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with(".SH")) inSection = line == ".SH EXIT STATUS";
    if (inSection && afterTp && line.starts_with(".B ")) listed.insert(std::stoi(line.substr(3)));
    afterTp = line == ".TP";
  }
  EXPECT_EQ(listed,
            (std::set<int>{kExitNewMail, kExitNoNewMail, kExitFailed, kExitUsage, kExitNotSaved}));
}
#endif

}  // namespace
}  // namespace postvane
