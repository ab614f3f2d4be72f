// postvane-check with OAuth mailboxes against the tests' provider and a private Dovecot that
// checks tokens at the provider, over TLS: the refresh, a whole check, the new refresh token
// saved at once, and the failures each with its own text while the other mailboxes go on.
#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <memory>
#include <string>

#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"
#include "support/dovecot_fixture.h"
#include "support/oauth_provider_process.h"
#include "support/qt_test_main.h"
#include "support/test_certificates.h"

namespace postvane::test {
namespace {

const std::string kRefresh = "rt-initial-" + std::string(1200, 'q');

class CliOAuth : public testing::Test {
 protected:
  void StartServers(QStringList providerOptions, bool imap = false) {
    ASSERT_TRUE(certificates_.Ready()) << certificates_.Failure();
    provider_ = std::make_unique<OAuthProviderProcess>(
        POSTVANE_OAUTH_PROVIDER_SCRIPT, certificates_.Good().Certificate, certificates_.Good().Key,
        "alice", providerOptions << "--refresh" << QString::fromStdString(kRefresh));
    ASSERT_TRUE(provider_->Running()) << provider_->Errors();
    DovecotOptions options;
    options.TlsCertificate = certificates_.Good().Certificate;
    options.TlsKey = certificates_.Good().Key;
    options.OAuthIntrospectionUrl = provider_->IntrospectionUrl();
    options.Imap = imap;
    dovecot_ = std::make_unique<DovecotFixture>(options);
    ASSERT_TRUE(dovecot_->Running()) << dovecot_->Failure();
    ASSERT_TRUE(dovecot_->Deliver("From: bob@example.org\nSubject: Token\n\nBody.\n"));
  }

  // Mailbox 0 signs in with OAuth at the provider; mailbox 1 with its password, same server.
  void WriteSettings(const std::string& provider, const std::string& security = "1",
                     const std::string& refresh = kRefresh) {
    MailboxSettings oauth = Mailbox(0, "Token", dovecot_->TlsPort());
    oauth.Password.clear();
    oauth.Extra = "Security=" + security + "\r\nAuth=1\r\nOAuthProvider=" + provider +
                  "\r\nOAuthClientId=postvane-test\r\n";
    if (!refresh.empty()) oauth.Extra += "OAuthRefreshToken=" + TransformPassword(refresh) + "\r\n";
    MailboxSettings password = Mailbox(1, "Password", dovecot_->TlsPort());
    password.Extra = "Security=1\r\n";
    WriteBytes(Settings(), SettingsText({oauth, password}));
  }
  std::string Settings() const { return folder_.File("Postvane.ini"); }
  CheckResult Check(QStringList more = {}) {
    QProcessEnvironment environment = EnglishEnvironment();
    environment.insert(QStringLiteral("SSL_CERT_FILE"),
                       QString::fromStdString(certificates_.AuthorityFile()));
    return RunCheck(QStringList{"--settings", QString::fromStdString(Settings())} + more,
                    environment);
  }
  std::string StoredRefreshToken() {
    return TransformPassword(
        IniFile(ReadBytes(Settings())).Read("MailBox0", "OAuthRefreshToken").value_or(""));
  }
  // The report line of a mailbox by its name.
  static std::string LineOf(const std::string& out, const std::string& name) {
    const std::size_t at = out.find(name + ": ");
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
  }

  TestCertificates certificates_;
  std::unique_ptr<OAuthProviderProcess> provider_;
  std::unique_ptr<DovecotFixture> dovecot_;
  TempFolder folder_;
};

TEST_F(CliOAuth, RefreshesChecksAndSavesTheNewRefreshTokenAtOnce) {
  StartServers({"--rotate"});
  WriteSettings(provider_->Issuer());
  const std::string before = ReadBytes(Settings());
  const CheckResult result = Check();
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Out << result.Err << dovecot_->ServerLog();
  EXPECT_NE(LineOf(result.Out, "Token").find("1 new message(s)"), std::string::npos) << result.Out;
  EXPECT_NE(LineOf(result.Out, "Password").find("1 new message(s)"), std::string::npos);
  // Saved without --ack, and only that line changed.
  const std::string rotated = StoredRefreshToken();
  EXPECT_TRUE(rotated.starts_with("rt-")) << rotated.substr(0, 20);
  EXPECT_NE(rotated, kRefresh);
  std::string after = ReadBytes(Settings());
  IniFile restored(after);
  restored.WriteBytes("MailBox0", "OAuthRefreshToken", TransformPassword(kRefresh));
  EXPECT_EQ(restored.Bytes(), before);
  // Nothing of the tokens in the report.
  EXPECT_EQ(result.Out.find("at-"), std::string::npos);

  // The old refresh token is gone at the provider; the saved one works.
  const CheckResult again = Check();
  EXPECT_EQ(again.ExitCode, 0) << again.Out;
  EXPECT_NE(StoredRefreshToken(), rotated);
}

TEST_F(CliOAuth, ImapMailboxSignsInWithTheTokenOverTlsAndStartTls) {
  StartServers({}, true);
  for (const std::string security : {"1", "2"}) {
    MailboxSettings oauth = Mailbox(
        0, "Token", security == "1" ? dovecot_->ImapTlsPort() : dovecot_->ImapPort());
    oauth.Password.clear();
    oauth.Extra = "Protocol=1\r\nSecurity=" + security + "\r\nAuth=1\r\nOAuthProvider=" +
                  provider_->Issuer() + "\r\nOAuthClientId=postvane-test\r\nOAuthRefreshToken=" +
                  TransformPassword(kRefresh) + "\r\n";
    WriteBytes(Settings(), SettingsText({oauth}));
    const CheckResult result = Check({"--json"});
    ASSERT_TRUE(result.Finished);
    EXPECT_EQ(result.ExitCode, 0) << result.Out << result.Err << dovecot_->ServerLog();
    EXPECT_NE(result.Out.find("\"protocol\":\"imap\""), std::string::npos) << result.Out;
    EXPECT_NE(result.Out.find("\"newCount\":1"), std::string::npos) << result.Out;
    EXPECT_EQ(result.Out.find("at-"), std::string::npos) << "no token in the report";
  }
}

struct FailureCase {
  const char* Name;
  QStringList ProviderOptions;
  std::string Provider;  // "issuer" for the provider's own
  std::string Security;
  std::string Refresh;
  std::string Text;  // the start of the Token mailbox's status
};

class CliOAuthFailure : public CliOAuth, public testing::WithParamInterface<FailureCase> {};

// The OAuth mailbox fails with its own text; the password mailbox is checked all the same.
TEST_P(CliOAuthFailure, FailsThatMailboxAndChecksTheNext) {
  StartServers(GetParam().ProviderOptions);
  const std::string provider =
      GetParam().Provider == "issuer" ? provider_->Issuer() : GetParam().Provider;
  WriteSettings(provider, GetParam().Security, GetParam().Refresh);
  const std::string before = ReadBytes(Settings());
  const CheckResult result = Check();
  ASSERT_TRUE(result.Finished);
  // The usual rule: the other mailbox has new mail, so the status says so (0).
  EXPECT_EQ(result.ExitCode, 0);
  EXPECT_NE(LineOf(result.Out, "Token").find(GetParam().Text), std::string::npos)
      << result.Out << dovecot_->ServerLog();
  EXPECT_NE(LineOf(result.Out, "Password").find("1 new message(s)"), std::string::npos)
      << result.Out;
  EXPECT_EQ(ReadBytes(Settings()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliOAuthFailure,
    testing::Values(
        FailureCase{"RefusedRefresh",
                    {"--refuse-refresh"},
                    "issuer",
                    "1",
                    kRefresh,
                    "Sign-in expired: sign in again in the configuration"},
        FailureCase{"UnknownRefreshToken",
                    {},
                    "issuer",
                    "1",
                    "rt-forgotten",
                    "Sign-in expired: sign in again in the configuration"},
        FailureCase{"EndpointDown",
                    {},
                    "https://127.0.0.1:1",
                    "1",
                    kRefresh,
                    "Sign-in service not reachable"},
        FailureCase{"PlainProvider",
                    {},
                    "http://localhost:1",
                    "1",
                    kRefresh,
                    "Sign-in service not reachable"},
        FailureCase{"ServerRefusesTheToken",
                    {"--deny"},
                    "issuer",
                    "1",
                    kRefresh,
                    "The server refused the sign-in: "},
        FailureCase{
            "NotSignedIn", {}, "issuer", "1", "", "Not signed in: sign in in the configuration"},
        FailureCase{"OAuthInClear",
                    {},
                    "issuer",
                    "0",
                    kRefresh,
                    "Sign-in with OAuth needs Security TLS or STARTTLS"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CliOAuth, SlowTokenEndpointEndsAtTheCheckTimeLimit) {
  StartServers({"--slow", "20"});
  WriteSettings(provider_->Issuer());
  const CheckResult result = Check({"--timeout", "3"});
  ASSERT_TRUE(result.Finished);
  EXPECT_NE(result.ExitCode, 0);
  EXPECT_LT(result.Milliseconds, 15000);
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
