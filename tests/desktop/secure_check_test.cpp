// Whole checks over TLS and STARTTLS through the engine and the Qt socket: against the private
// Dovecot with a test authority, and against scripted servers for every way it can fail. No
// failure may let USER or PASS reach the server in clear text.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/connection_security.h"
#include "check/secure_failure_text.h"
#include "support/dovecot_fixture.h"
#include "support/qt_check_rig.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"

namespace postvane {
namespace {

using namespace std::chrono_literals;
using test::DovecotFixture;
using test::DovecotOptions;
using test::Pop3Script;
using test::QtCheckRig;
using test::QtCheckRigOptions;
using test::ScriptedPop3Server;
using test::TestCertificates;
using test::TlsServerSide;

const TestCertificates& Certificates() {
  static const TestCertificates certificates;
  return certificates;
}

void ExpectNothingSecretInClear(const ScriptedPop3Server& server) {
  for (const ScriptedPop3Server::Session& session : server.Sessions()) {
    EXPECT_EQ(session.ReceivedInClear.find("USER"), std::string::npos) << session.ReceivedInClear;
    EXPECT_EQ(session.ReceivedInClear.find("PASS"), std::string::npos) << session.ReceivedInClear;
    EXPECT_EQ(session.ReceivedInClear.find("secret"), std::string::npos);
  }
}

std::string Message(int n) {
  return "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) +
         "@example.org>\nTo: alice@example.org\nSubject: Secure " + std::to_string(n) +
         "\nDate: Tue, 1 Dec 2026 10:00:00 +0100\n\nBody\n";
}

class SecureCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Certificates().Ready()) GTEST_SKIP() << Certificates().Failure();
    trust_.emplace(Certificates().AuthorityFile());
  }

  std::optional<test::TrustedAuthorityScope> trust_;
};

TEST_F(SecureCheckTest, DovecotOverTlsAndStartTlsFetchesHeadersAndAcknowledges) {
  DovecotOptions options;
  options.TlsCertificate = Certificates().Good().Certificate;
  options.TlsKey = Certificates().Good().Key;
  DovecotFixture dovecot(options);
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  ASSERT_TRUE(dovecot.Deliver(Message(1)));
  ASSERT_TRUE(dovecot.Deliver(Message(2)));

  QtCheckRig rig;
  MailboxRecord& tls = rig.Enable(0, dovecot.TlsPort());
  tls.Security = 1;
  MailboxRecord& startTls = rig.Enable(1, dovecot.Port());
  startTls.Security = 2;
  ASSERT_TRUE(rig.RunCycle()) << rig.Log();
  for (const MailboxRecord* box : {&tls, &startTls}) {
    EXPECT_EQ(box->StatusText, "") << rig.Log() << dovecot.ServerLog();
    EXPECT_EQ(box->NewCount, 2);
    ASSERT_EQ(box->Headers.size(), 3u);
    EXPECT_EQ(box->Headers[1].Subject, "Secure 2");
    EXPECT_EQ(box->Headers[2].Subject, "Secure 1");
  }
  const std::string log = rig.Log();
  EXPECT_NE(log.find("TLS TLSv1."), std::string::npos) << log;
  EXPECT_NE(log.find(Certificates().Good().Fingerprint), std::string::npos) << log;
  EXPECT_NE(log.find("PASS xxxxx"), std::string::npos);
  EXPECT_EQ(log.find("secret"), std::string::npos);

  // Acknowledged, the next check finds nothing new over either.
  tls.UIDL = tls.NewestUidl;
  startTls.UIDL = startTls.NewestUidl;
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(tls.NewCount, 0);
  EXPECT_EQ(startTls.NewCount, 0);
  EXPECT_EQ(tls.StatusText, "");
  EXPECT_EQ(startTls.StatusText, "");
}

struct ServerCase {
  const char* name;
  int16_t security;
  std::function<Pop3Script()> script;
  // "right", "wrong" or "": the fingerprint the mailbox trusts.
  const char* fingerprint;
  SecureFailure failure;  // None: the check succeeds
  // The certificate the mailbox keeps for the user to look at; null when none.
  const test::CertificateFiles& (TestCertificates::*rejected)() const;
  // The connect time-out: the usual one, so that a slow machine's handshake is never taken for
  // a stall, and a short one where the server stalls on purpose.
  int timeoutMs = kConnectTimeoutMs;
};

constexpr int kStallTimeoutMs = 1500;

TlsServerSide Side(const test::CertificateFiles& files) { return {files.Certificate, files.Key}; }

// An empty mailbox from the greeting on.
Pop3Script LoginAndQuit(Pop3Script script) {
  return script.LoginThroughUidl("alice", "secret", {}).Quit();
}

// The same after STARTTLS, where no second greeting comes.
Pop3Script LoginAfterUpgrade(Pop3Script script) {
  return script.Expect("USER alice")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("+OK\r\n")
      .Expect("STAT")
      .Send("+OK 0 0\r\n")
      .Expect("LAST")
      .Send("-ERR\r\n")
      .Expect("UIDL")
      .Send(test::UidlListing({}))
      .Quit();
}

std::vector<ServerCase> ServerCases() {
  const std::string capa = "+OK\r\nTOP\r\nSTLS\r\n.\r\n";
  return {
      {"WrongName", 1,
       [] { return Pop3Script().StartTls(Side(Certificates().WrongName())).Hold(); }, "",
       SecureFailure::NameMismatch, &TestCertificates::WrongName},
      {"Expired", 1, [] { return Pop3Script().StartTls(Side(Certificates().Expired())).Hold(); },
       "", SecureFailure::Expired, &TestCertificates::Expired},
      {"SelfSigned", 1,
       [] { return Pop3Script().StartTls(Side(Certificates().SelfSigned())).Hold(); }, "",
       SecureFailure::Untrusted, &TestCertificates::SelfSigned},
      {"SelfSignedOtherFingerprint", 1,
       [] { return Pop3Script().StartTls(Side(Certificates().SelfSigned())).Hold(); }, "wrong",
       SecureFailure::Untrusted, &TestCertificates::SelfSigned},
      {"SelfSignedTrusted", 1,
       [] { return LoginAndQuit(Pop3Script().StartTls(Side(Certificates().SelfSigned()))); },
       "right", SecureFailure::None, nullptr},
      {"StartTlsSelfSignedTrusted", 2,
       [capa] {
         return LoginAfterUpgrade(Pop3Script()
                                      .Send("+OK ready\r\n")
                                      .Expect("CAPA")
                                      .Send(capa)
                                      .Expect("STLS")
                                      .Send("+OK\r\n")
                                      .StartTls(Side(Certificates().SelfSigned()))
                                      .Expect("CAPA")
                                      .Send("+OK\r\nUIDL\r\n.\r\n"));
       },
       "right", SecureFailure::None, nullptr},
      {"OnlyTls10", 1,
       [] {
         TlsServerSide old = Side(Certificates().Good());
         old.OnlyTls10 = true;
         return Pop3Script().StartTls(old).Hold();
       },
       "", SecureFailure::Handshake, nullptr},
      {"PlainServerOnTlsPort", 1, [] { return Pop3Script().Send("+OK POP3 ready\r\n").Hold(); }, "",
       SecureFailure::Handshake, nullptr},
      {"TlsServerOnPlainPort", 2,
       [] { return Pop3Script().StartTls(Side(Certificates().Good())).Hold(); }, "",
       SecureFailure::Handshake, nullptr, kStallTimeoutMs},
      {"CapaWithoutStls", 2,
       [] {
         return Pop3Script().Send("+OK\r\n").Expect("CAPA").Send("+OK\r\nTOP\r\n.\r\n").Hold();
       },
       "", SecureFailure::StlsNotOffered, nullptr},
      {"StlsRefused", 2,
       [capa] {
         return Pop3Script()
             .Send("+OK\r\n")
             .Expect("CAPA")
             .Send(capa)
             .Expect("STLS")
             .Send("-ERR not today\r\n")
             .Hold();
       },
       "", SecureFailure::StlsRefused, nullptr},
      {"InjectedAfterStls", 2,
       [capa] {
         return Pop3Script()
             .Send("+OK\r\n")
             .Expect("CAPA")
             .Send(capa)
             .Expect("STLS")
             .Send("+OK\r\n+OK logged in\r\n")
             .Hold();
       },
       "", SecureFailure::Injection, nullptr},
      {"StalledHandshake", 1, [] { return Pop3Script().Hold(); }, "", SecureFailure::Handshake,
       nullptr, kStallTimeoutMs},
  };
}

class SecureServerTest : public SecureCheckTest,
                         public ::testing::WithParamInterface<ServerCase> {};

TEST_P(SecureServerTest, EndsWithItsOutcomeAndTheNextMailboxIsChecked) {
  const ServerCase& c = GetParam();
  ScriptedPop3Server server([&c](int) { return c.script(); });
  ScriptedPop3Server next([](int) { return LoginAndQuit(Pop3Script()); });
  ASSERT_NE(server.Port(), 0);
  QtCheckRigOptions options;
  options.TimeoutMs = c.timeoutMs;
  QtCheckRig rig(options);
  MailboxRecord& box = rig.Enable(0, server.Port());
  box.Security = c.security;
  const std::string right = Certificates().SelfSigned().Fingerprint;
  if (std::string(c.fingerprint) == "right") box.CertFingerprint = right;
  if (std::string(c.fingerprint) == "wrong")
    box.CertFingerprint = Certificates().Good().Fingerprint;
  MailboxRecord& after = rig.Enable(1, next.Port());

  ASSERT_TRUE(rig.RunCycle(30s)) << rig.Log();
  const TlsCertificate rejected = box.RejectedCertificate;
  // Injected bytes that arrive only after the handshake began spoil the handshake instead.
  const bool lateInjection =
      c.failure == SecureFailure::Injection &&
      box.StatusText ==
          SecureFailureText(rig.State.LanguageBase, SecureFailure::Handshake, rejected);
  if (!lateInjection) {
    EXPECT_EQ(box.StatusText, SecureFailureText(rig.State.LanguageBase, c.failure, rejected))
        << rig.Log();
  }
  if (c.rejected != nullptr) {
    EXPECT_EQ(rejected.Fingerprint,
              NormalizeFingerprint((Certificates().*c.rejected)().Fingerprint));
    EXPECT_FALSE(rejected.Subject.empty());
    EXPECT_FALSE(rejected.Issuer.empty());
  } else {
    EXPECT_TRUE(rejected.Fingerprint.empty());
  }
  EXPECT_EQ(after.StatusText, "") << rig.Log();
  ExpectNothingSecretInClear(server);
  EXPECT_TRUE(server.Problems().empty()) << ::testing::PrintToString(server.Problems());
}

INSTANTIATE_TEST_SUITE_P(Servers, SecureServerTest, ::testing::ValuesIn(ServerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
