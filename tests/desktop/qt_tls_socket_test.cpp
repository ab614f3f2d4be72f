// The Qt socket's TLS: verification against a test authority, the failure reasons, the
// fingerprint override and the details it reports, against scripted TLS servers.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/connection_security.h"
#include "desktop/net/qt_socket.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"

namespace postvane {
namespace {

using namespace std::chrono_literals;
using test::Pop3Script;
using test::ScriptedPop3Server;
using test::TestCertificates;
using test::TlsServerSide;

// Starts TLS as soon as the connection is up and records what follows.
class TlsClient : public SocketListener {
 public:
  TlsClient(Socket& socket, TlsRequest request) : socket_(socket), request_(std::move(request)) {
    socket_.SetListener(this);
  }
  ~TlsClient() override { socket_.SetListener(nullptr); }

  void OnConnect() override {
    Events.push_back("connect");
    if (StartOnConnect) StartError = socket_.StartTls(request_);
  }
  void OnDataArrival() override {
    Events.push_back("data");
    if (!ReadData) return;
    std::string bytes;
    socket_.GetData(bytes);
    Data += bytes;
  }
  void OnSocketError(int number, const std::string&) override {
    Events.push_back("error " + std::to_string(number));
  }
  void OnSocketClose() override { Events.push_back("close"); }
  void OnTlsHandshake(const TlsHandshake& result) override {
    Events.push_back("tls");
    Result = result;
  }

  bool StartOnConnect = true;
  bool ReadData = true;
  SocketError StartError;
  std::vector<std::string> Events;
  std::string Data;
  std::optional<TlsHandshake> Result;

 private:
  Socket& socket_;
  TlsRequest request_;
};

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds watchdog = 20s) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done()) {
    if (elapsed.hasExpired(watchdog.count())) return false;
    QEventLoop loop;
    QTimer::singleShot(2, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

const TestCertificates& Certificates() {
  static const TestCertificates certificates;
  return certificates;
}

enum class Cert { Good, WrongName, Expired, SelfSigned };

const test::CertificateFiles& Files(Cert which) {
  switch (which) {
    case Cert::Good:
      return Certificates().Good();
    case Cert::WrongName:
      return Certificates().WrongName();
    case Cert::Expired:
      return Certificates().Expired();
    case Cert::SelfSigned:
      break;
  }
  return Certificates().SelfSigned();
}

class QtTlsSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Certificates().Ready()) GTEST_SKIP() << Certificates().Failure();
  }

  // Connects to a server running `script` and waits for the handshake's outcome.
  void Handshake(Pop3Script script, TlsRequest request, bool trustAuthority = true) {
    server = std::make_unique<ScriptedPop3Server>([script](int) { return script; });
    ASSERT_NE(server->Port(), 0);
    std::optional<test::TrustedAuthorityScope> trust;
    if (trustAuthority) trust.emplace(Certificates().AuthorityFile());
    client = std::make_unique<TlsClient>(socket, std::move(request));
    socket.SetLocalPort(0);
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(server->Port());
    ASSERT_FALSE(socket.Connect());
    ASSERT_TRUE(SpinUntil([&] { return client->Result.has_value(); }))
        << ::testing::PrintToString(client->Events);
    EXPECT_FALSE(client->StartError) << client->StartError.Description;
  }

  void TearDown() override {
    socket.Close();
    if (server) server->Stop();
  }

  QtSocket socket;
  std::unique_ptr<ScriptedPop3Server> server;
  std::unique_ptr<TlsClient> client;
};

struct VerificationCase {
  const char* name;
  Cert certificate;
  bool trustAuthority;
  // "right", "wrong" or "" for the fingerprint in the request.
  const char* fingerprint;
  TlsFailure failure;
};

class VerificationTest : public QtTlsSocketTest,
                         public ::testing::WithParamInterface<VerificationCase> {};

TEST_P(VerificationTest, ReportsTheReasonAndTheCertificate) {
  const VerificationCase& c = GetParam();
  const test::CertificateFiles& files = Files(c.certificate);
  TlsRequest request{"127.0.0.1", ""};
  if (std::string(c.fingerprint) == "right") request.TrustedFingerprint = files.Fingerprint;
  if (std::string(c.fingerprint) == "wrong") {
    request.TrustedFingerprint = Certificates().Good().Fingerprint;
  }
  Handshake(Pop3Script().StartTls({files.Certificate, files.Key}).Send("+OK secure\r\n").Hold(),
            request, c.trustAuthority);
  if (HasFatalFailure()) return;
  const TlsHandshake& result = *client->Result;
  EXPECT_EQ(result.Failure, c.failure) << result.Detail;
  // The certificate is described whether it passed or not, so that a user can judge it.
  EXPECT_EQ(result.Certificate.Fingerprint, NormalizeFingerprint(files.Fingerprint));
  EXPECT_NE(result.Certificate.Subject.find("CN="), std::string::npos);
  EXPECT_FALSE(result.Certificate.ValidFrom.empty());
  EXPECT_FALSE(result.Certificate.ValidUntil.empty());
  if (result.Succeeded()) {
    EXPECT_TRUE(result.Protocol == "TLSv1.2" || result.Protocol == "TLSv1.3") << result.Protocol;
    EXPECT_FALSE(result.Cipher.empty());
    EXPECT_EQ(result.TrustedByFingerprint, std::string(c.fingerprint) == "right");
    ASSERT_TRUE(SpinUntil([&] { return client->Data == "+OK secure\r\n"; }));
    EXPECT_TRUE(server->Sessions().at(0).Encrypted);
  } else {
    EXPECT_FALSE(result.Detail.empty());
    // A failed handshake ends the connection: nothing else is reported after it.
    EXPECT_EQ(client->Events.back(), "tls");
    EXPECT_TRUE(client->Data.empty());
    EXPECT_TRUE(socket.SendData("USER alice\r\n"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, VerificationTest,
    ::testing::Values(
        VerificationCase{"Good", Cert::Good, true, "", TlsFailure::None},
        VerificationCase{"GoodWithoutItsAuthority", Cert::Good, false, "", TlsFailure::Untrusted},
        VerificationCase{"WrongName", Cert::WrongName, true, "", TlsFailure::NameMismatch},
        VerificationCase{"Expired", Cert::Expired, true, "", TlsFailure::Expired},
        VerificationCase{"SelfSigned", Cert::SelfSigned, true, "", TlsFailure::Untrusted},
        VerificationCase{"SelfSignedTrusted", Cert::SelfSigned, true, "right", TlsFailure::None},
        VerificationCase{"SelfSignedOtherFingerprint", Cert::SelfSigned, true, "wrong",
                         TlsFailure::Untrusted},
        VerificationCase{"WrongNameTrusted", Cert::WrongName, true, "right", TlsFailure::None},
        VerificationCase{"ExpiredTrusted", Cert::Expired, true, "right", TlsFailure::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtTlsSocketTest, IssuerNamesTheAuthority) {
  Handshake(
      Pop3Script().StartTls({Certificates().Good().Certificate, Certificates().Good().Key}).Hold(),
      {"127.0.0.1", ""});
  if (HasFatalFailure()) return;
  EXPECT_NE(client->Result->Certificate.Issuer.find("Postvane Test Authority"), std::string::npos);
  EXPECT_NE(client->Result->Certificate.Subject.find("localhost"), std::string::npos);
}

struct ProtocolCase {
  const char* name;
  Pop3Script script;
};

class ProtocolFailureTest : public QtTlsSocketTest,
                            public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(ProtocolFailureTest, IsAHandshakeFailure) {
  Handshake(GetParam().script, {"127.0.0.1", ""});
  if (HasFatalFailure()) return;
  EXPECT_EQ(client->Result->Failure, TlsFailure::Handshake) << client->Result->Detail;
  EXPECT_TRUE(client->Data.empty());
  EXPECT_FALSE(server->Sessions().at(0).Encrypted);
}

std::vector<ProtocolCase> ProtocolCases() {
  if (!Certificates().Ready()) return {};
  const TlsServerSide good{Certificates().Good().Certificate, Certificates().Good().Key};
  TlsServerSide old = good;
  old.OnlyTls10 = true;
  return {
      {"OnlyTls10", Pop3Script().StartTls(old).Hold()},
      {"PlainServer", Pop3Script().Send("+OK POP3 ready\r\n").Hold()},
      {"ClosesAtOnce", Pop3Script().Drop()},
  };
}

INSTANTIATE_TEST_SUITE_P(Servers, ProtocolFailureTest, ::testing::ValuesIn(ProtocolCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtTlsSocketTest, UnreadBytesBeforeTheHandshakeRefuseIt) {
  server = std::make_unique<ScriptedPop3Server>(
      [](int) { return Pop3Script().Send("+OK\r\ninjected\r\n").Hold(); });
  client = std::make_unique<TlsClient>(socket, TlsRequest{"127.0.0.1", ""});
  client->StartOnConnect = false;
  client->ReadData = false;
  socket.SetLocalPort(0);
  socket.SetRemoteHost("127.0.0.1");
  socket.SetRemotePort(server->Port());
  ASSERT_FALSE(socket.Connect());
  ASSERT_TRUE(
      SpinUntil([&] { return !client->Events.empty() && client->Events.back() == "data"; }));
  const SocketError error = socket.StartTls({"127.0.0.1", ""});
  EXPECT_EQ(error.Number, kSocketInvalidState);
  EXPECT_FALSE(error.Description.empty());
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
