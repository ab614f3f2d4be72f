// First use: which dialog edits count as a new login, and the helpers that lead a new user on.
#include "app/first_use.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace postvane {
namespace {

struct LoginCase {
  const char* Name;
  std::function<void(MailboxTable&)> Edit;
  bool NewLogin;
};

MailboxTable WorkMailboxSetUp() {
  MailboxTable table{};
  MailboxRecord& work = table[2];
  work.Name = "Work";
  work.RemoteHost = "pop.work.test";
  work.RemotePort = 110;
  work.User = "me";
  work.Password = "secret";
  work.Enabled = kTrue;
  table[5].RemoteHost = "pop.off.test";  // set up, switched off
  return table;
}

class LoginWatchTest : public ::testing::TestWithParam<LoginCase> {};

TEST_P(LoginWatchTest, TellsWhetherTheDialogLeftANewLogin) {
  MailboxTable table = WorkMailboxSetUp();
  LoginWatch watch;
  watch.Remember(table);
  GetParam().Edit(table);
  EXPECT_EQ(watch.NewLogin(table), GetParam().NewLogin);
  // Once remembered, the same details are old news.
  watch.Remember(table);
  EXPECT_FALSE(watch.NewLogin(table));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, LoginWatchTest,
    ::testing::Values(
        LoginCase{"Nothing", [](MailboxTable&) {}, false},
        LoginCase{"MailboxSwitchedOn", [](MailboxTable& t) { t[5].Enabled = kTrue; }, true},
        LoginCase{"AnyNonZeroEnabledCounts", [](MailboxTable& t) { t[7].Enabled = 1; }, true},
        LoginCase{"ServerChanged", [](MailboxTable& t) { t[2].RemoteHost = "pop2.work.test"; },
                  true},
        LoginCase{"PortChanged", [](MailboxTable& t) { t[2].RemotePort = 995; }, true},
        LoginCase{"UserChanged", [](MailboxTable& t) { t[2].User = "you"; }, true},
        LoginCase{"PasswordChanged", [](MailboxTable& t) { t[2].Password = "Secret"; }, true},
        LoginCase{"SecurityChanged", [](MailboxTable& t) { t[2].Security = 1; }, true},
        LoginCase{"CertificateTrusted", [](MailboxTable& t) { t[2].CertFingerprint = "AB:CD:EF"; },
                  true},
        LoginCase{"TrustedCertificateOnSwitchedOffMailbox",
                  [](MailboxTable& t) { t[5].CertFingerprint = "AB:CD:EF"; }, false},
        LoginCase{"NameOnly", [](MailboxTable& t) { t[2].Name = "Office"; }, false},
        LoginCase{"LastMailOnly", [](MailboxTable& t) { t[2].LastMail = kTrue; }, false},
        LoginCase{"SwitchedOff", [](MailboxTable& t) { t[2].Enabled = kFalse; }, false},
        LoginCase{"SwitchedOffMailboxEdited",
                  [](MailboxTable& t) { t[5].RemoteHost = "pop.elsewhere.test"; }, false},
        LoginCase{"CheckResultsOnly",
                  [](MailboxTable& t) {
                    t[2].NewCount = 4;
                    t[2].StatusText = "Password is wrong!";
                    t[2].UIDL = "u9";
                  },
                  false},
        LoginCase{"SpareSlotIgnored", [](MailboxTable& t) { t[kEndOfCycle].Enabled = kTrue; },
                  false}),
    [](const ::testing::TestParamInfo<LoginCase>& info) { return info.param.Name; });

TEST(LoginWatch, BeforeAnythingIsRememberedEveryEnabledMailboxIsNew) {
  MailboxTable table = WorkMailboxSetUp();
  EXPECT_TRUE(LoginWatch().NewLogin(table));
  table[2].Enabled = kFalse;
  EXPECT_FALSE(LoginWatch().NewLogin(table));
}

TEST(FirstUse, AnyMailboxEnabledLooksAtTheTenUserMailboxesOnly) {
  MailboxTable table{};
  EXPECT_FALSE(AnyMailboxEnabled(table));
  table[kEndOfCycle].Enabled = kTrue;
  EXPECT_FALSE(AnyMailboxEnabled(table));
  table[9].Enabled = kTrue;
  EXPECT_TRUE(AnyMailboxEnabled(table));
}

TEST(FirstUse, MailProgramSetNeedsMoreThanBlanks) {
  const struct {
    const char* Program;
    bool Set;
  } cases[] = {{"", false}, {" ", false}, {" \t ", false}, {"reader", true}, {"  reader ", true}};
  for (const auto& c : cases) {
    GeneralSettings general;
    general.MailProgram = c.Program;
    EXPECT_EQ(MailProgramSet(general), c.Set) << "'" << c.Program << "'";
  }
}

}  // namespace
}  // namespace postvane
