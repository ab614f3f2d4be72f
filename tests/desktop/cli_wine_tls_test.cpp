// postvane-check.exe's TLS (Schannel under Wine) against the same scripted TLS servers and the
// same private Dovecot as the native postvane-check (Qt): the same report, exit status and
// settings file, and never a login in clear text. scripts/test-windows.sh names the .exe, the
// helper that trusts the test authority in the Wine prefix, and the prefix.
#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "check/connection_security.h"
#include "desktop/cli_process.h"
#include "desktop/wine_paths.h"
#include "fakes/temp_folder.h"
#include "support/dovecot_fixture.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"

namespace postvane::test {
namespace {

const std::vector<std::string> kUids = {"u1", "u2", "u3"};
const std::string kCapa = "+OK\r\nTOP\r\nUIDL\r\nSTLS\r\n.\r\n";

const TestCertificates& Certificates() {
  static const TestCertificates certificates;
  return certificates;
}

TlsServerSide Side(const CertificateFiles& files) { return {files.Certificate, files.Key}; }

std::string WindowsProgram(const char* variable) {
  return qEnvironmentVariable(variable).toStdString();
}

// Puts the test authority among the Wine prefix's trusted roots, once per run of this test.
bool TrustAuthorityUnderWine(std::string& failure) {
  static std::once_flag once;
  static std::string outcome;
  std::call_once(once, [] {
    const CheckResult added =
        RunProgram(QStringLiteral(POSTVANE_WINE_RUN),
                   {QString::fromStdString(WindowsProgram("POSTVANE_WINDOWS_TRUST_PROGRAM")),
                    QString::fromStdString(WinePath(Certificates().AuthorityFile()))},
                   QProcessEnvironment::systemEnvironment(), 120000);
    if (!added.Finished || added.ExitCode != 0) outcome = "add-trusted-root: " + added.Err;
  });
  failure = outcome;
  return outcome.empty();
}

// After the greeting over TLS (or STLS and the second CAPA): two new messages of three.
Pop3Script NewMailAfterUpgrade(Pop3Script script) {
  return script.LoginAfterGreeting("alice", "secret", kUids, "-ERR Unknown command: LAST\r\n")
      .Expect("TOP 2 0")
      .Send(TopReply({"From: Bob <bob@example.org>", "Subject: Caf\xC3\xA9 over TLS"}))
      .Expect("TOP 3 0")
      .Send(TopReply({"From: Carol <carol@example.org>", "Subject: Second"}))
      .Quit();
}

Pop3Script OverTls(const CertificateFiles& files) {
  return NewMailAfterUpgrade(
      Pop3Script().StartTls(Side(files)).Send("+OK ready\r\n").Expect("CAPA").Send(kCapa));
}

Pop3Script OverStartTls(const CertificateFiles& files) {
  return NewMailAfterUpgrade(Pop3Script()
                                 .Send("+OK ready\r\n")
                                 .Expect("CAPA")
                                 .Send(kCapa)
                                 .Expect("STLS")
                                 .Send("+OK\r\n")
                                 .StartTls(Side(files))
                                 .Expect("CAPA")
                                 .Send(kCapa));
}

Pop3Script HandshakeThenHold(TlsServerSide side) { return Pop3Script().StartTls(side).Hold(); }

struct TlsCase {
  const char* name;
  int security;
  std::function<Pop3Script()> script;
  // "right" (the self-signed certificate's), "wrong" (another one's) or "".
  const char* fingerprint;
};

void PrintTo(const TlsCase& row, std::ostream* out) { *out << row.name; }

std::vector<TlsCase> Cases() {
  const auto& c = Certificates;
  return {
      {"Good", 1, [] { return OverTls(Certificates().Good()); }, ""},
      {"GoodStartTls", 2, [] { return OverStartTls(Certificates().Good()); }, ""},
      {"WrongName", 1, [c] { return HandshakeThenHold(Side(c().WrongName())); }, ""},
      {"Expired", 1, [c] { return HandshakeThenHold(Side(c().Expired())); }, ""},
      {"SelfSigned", 1, [c] { return HandshakeThenHold(Side(c().SelfSigned())); }, ""},
      {"SelfSignedOtherFingerprint", 1, [c] { return HandshakeThenHold(Side(c().SelfSigned())); },
       "wrong"},
      {"SelfSignedTrusted", 1, [] { return OverTls(Certificates().SelfSigned()); }, "right"},
      {"StartTlsSelfSignedTrusted", 2, [] { return OverStartTls(Certificates().SelfSigned()); },
       "right"},
      {"OnlyTls10", 1,
       [c] {
         TlsServerSide old = Side(c().Good());
         old.OnlyTls10 = true;
         return HandshakeThenHold(old);
       },
       ""},
      {"PlainServerOnTlsPort", 1, [] { return Pop3Script().Send("+OK POP3 ready\r\n").Hold(); },
       ""},
      {"CapaWithoutStls", 2,
       [] {
         return Pop3Script().Send("+OK\r\n").Expect("CAPA").Send("+OK\r\nTOP\r\n.\r\n").Hold();
       },
       ""},
      {"StlsRefused", 2,
       [] {
         return Pop3Script()
             .Send("+OK\r\n")
             .Expect("CAPA")
             .Send(kCapa)
             .Expect("STLS")
             .Send("-ERR not today\r\n")
             .Hold();
       },
       ""},
      {"InjectedAfterStls", 2,
       [] {
         return Pop3Script()
             .Send("+OK\r\n")
             .Expect("CAPA")
             .Send(kCapa)
             .Expect("STLS")
             .Send("+OK\r\n+OK logged in\r\n")
             .Hold();
       },
       ""},
      // Each stall waits out the connect time-out, once per program.
      {"StalledHandshake", 1, [] { return Pop3Script().Hold(); }, ""},
  };
}

struct RunOutcome {
  CheckResult result;
  std::string settingsAfter;
  std::vector<ScriptedPop3Server::Session> sessions;
};

class CliWineTls : public testing::TestWithParam<TlsCase> {
 protected:
  void SetUp() override {
    exe_ = WindowsProgram("POSTVANE_WINDOWS_CHECK_PROGRAM");
    if (exe_.empty() || WindowsProgram("POSTVANE_WINDOWS_TRUST_PROGRAM").empty() ||
        qEnvironmentVariableIsEmpty("WINEPREFIX")) {
      GTEST_SKIP() << "scripts/test-windows.sh runs this with the .exe files and a Wine prefix";
    }
    ASSERT_TRUE(Certificates().Ready()) << Certificates().Failure();
    std::string failure;
    ASSERT_TRUE(TrustAuthorityUnderWine(failure)) << failure;
    // The native program trusts the authority through the variable its TLS library reads.
    trust_.emplace(Certificates().AuthorityFile());
  }

  RunOutcome Run(bool windows) {
    const TlsCase& row = GetParam();
    ScriptedPop3Server server([&](int) { return row.script(); });
    TempFolder folder;
    const std::string settings = folder.File("Postvane.ini");
    MailboxSettings box = Mailbox(0, "Secure", server.Port(), "u1");
    box.Extra = "Security=" + std::to_string(row.security) + "\r\n";
    const std::string fingerprint =
        std::string(row.fingerprint) == "right"   ? Certificates().SelfSigned().Fingerprint
        : std::string(row.fingerprint) == "wrong" ? Certificates().Good().Fingerprint
                                                  : std::string();
    if (!fingerprint.empty()) box.Extra += "CertFingerprint=" + fingerprint + "\r\n";
    WriteBytes(settings, SettingsText({box}));
    QStringList arguments{"--settings",
                          QString::fromStdString(windows ? WinePath(settings) : settings)};
    RunOutcome outcome;
    if (windows) {
      arguments.prepend(QString::fromStdString(exe_));
      outcome.result = RunProgram(QStringLiteral(POSTVANE_WINE_RUN), arguments,
                                  QProcessEnvironment::systemEnvironment(), 120000);
    } else {
      outcome.result = RunCheck(arguments, EnglishEnvironment(), 120000);
    }
    outcome.settingsAfter = WithoutPorts(ReadBytes(settings));
    server.Stop();
    outcome.sessions = server.Sessions();
    return outcome;
  }

  std::string exe_;
  std::optional<TrustedAuthorityScope> trust_;
};

TEST_P(CliWineTls, SameOutcomeAsTheNativeProgramAndNothingInClear) {
  const RunOutcome native = Run(false);
  const RunOutcome windows = Run(true);
  ASSERT_TRUE(native.result.Finished);
  ASSERT_TRUE(windows.result.Finished) << windows.result.Err;
  EXPECT_EQ(windows.result.ExitCode, native.result.ExitCode) << windows.result.Err;
  EXPECT_EQ(windows.result.Out, native.result.Out);
  EXPECT_EQ(windows.settingsAfter, native.settingsAfter);
  ASSERT_FALSE(windows.sessions.empty());
  for (const auto& session : windows.sessions) {
    EXPECT_EQ(session.ReceivedInClear.find("USER"), std::string::npos) << session.ReceivedInClear;
    EXPECT_EQ(session.ReceivedInClear.find("PASS"), std::string::npos) << session.ReceivedInClear;
    EXPECT_EQ(session.ReceivedInClear.find("secret"), std::string::npos);
  }
  // Where the native program logged in over TLS, so did the Windows one.
  EXPECT_EQ(windows.sessions.front().Encrypted && windows.result.ExitCode == 0,
            native.sessions.front().Encrypted && native.result.ExitCode == 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, CliWineTls, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliWineTlsDovecot, WholeCheckOverTlsAndStartTls) {
  const std::string exe = WindowsProgram("POSTVANE_WINDOWS_CHECK_PROGRAM");
  if (exe.empty() || WindowsProgram("POSTVANE_WINDOWS_TRUST_PROGRAM").empty() ||
      qEnvironmentVariableIsEmpty("WINEPREFIX")) {
    GTEST_SKIP() << "scripts/test-windows.sh runs this with the .exe files and a Wine prefix";
  }
  ASSERT_TRUE(Certificates().Ready()) << Certificates().Failure();
  std::string failure;
  ASSERT_TRUE(TrustAuthorityUnderWine(failure)) << failure;
  DovecotOptions options;
  options.TlsCertificate = Certificates().Good().Certificate;
  options.TlsKey = Certificates().Good().Key;
  DovecotFixture dovecot(options);
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  ASSERT_TRUE(dovecot.Deliver("From: Bob <bob@example.org>\nSubject: One\n\nBody.\n"));
  ASSERT_TRUE(dovecot.Deliver("From: Carol <carol@example.org>\nSubject: Two\n\nBody.\n"));
  TempFolder folder;
  const std::string settings = folder.File("Postvane.ini");
  MailboxSettings tls = Mailbox(0, "TLS", dovecot.TlsPort());
  tls.Extra = "Security=1\r\n";
  MailboxSettings startTls = Mailbox(1, "STARTTLS", dovecot.Port());
  startTls.Extra = "Security=2\r\n";
  WriteBytes(settings, SettingsText({tls, startTls}));

  const CheckResult windows = RunProgram(QStringLiteral(POSTVANE_WINE_RUN),
                                         {QString::fromStdString(exe), "--settings",
                                          QString::fromStdString(WinePath(settings)), "--json"},
                                         QProcessEnvironment::systemEnvironment(), 120000);
  ASSERT_TRUE(windows.Finished) << windows.Err;
  EXPECT_EQ(windows.ExitCode, 0) << windows.Out << windows.Err << dovecot.ServerLog();
  const TrustedAuthorityScope trust(Certificates().AuthorityFile());
  const CheckResult native = RunCheck({"--settings", QString::fromStdString(settings), "--json"});
  EXPECT_EQ(windows.Out, native.Out);
  // Both mailboxes found the two messages, each over its own kind of connection.
  EXPECT_EQ(windows.Out.find("\"error\":true"), std::string::npos) << windows.Out;
  EXPECT_NE(windows.Out.find("\"security\":\"tls\""), std::string::npos) << windows.Out;
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
