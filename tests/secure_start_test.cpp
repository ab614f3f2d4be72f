// The secure start on its own: which command follows which reply, and where it fails.
#include "check/secure_start.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace postvane {
namespace {

using Kind = SecureStart::Action::Kind;

TlsHandshake Succeeded() {
  TlsHandshake result;
  result.Protocol = "TLSv1.3";
  return result;
}

// Feeds `reply` to a fresh STARTTLS start that has sent CAPA, cut into pieces at `cut`.
SecureStart::Action CapaReplyInTwo(const std::string& reply, std::size_t cut) {
  SecureStart start;
  start.Begin(SecurityMode::StartTls);
  start.OnData("+OK ready\r\n");
  const SecureStart::Action first = start.OnData(reply.substr(0, cut));
  if (first.What != Kind::Wait) return first;
  return start.OnData(reply.substr(cut));
}

struct CapaCase {
  const char* name;
  std::vector<std::string> keywords;
};

class CapabilitiesTest : public ::testing::TestWithParam<CapaCase> {};

TEST_P(CapabilitiesTest, ListedKeywordsInUpperCase) {
  std::string reply = "+OK Capability list follows\r\n";
  for (const std::string& keyword : GetParam().keywords) reply += keyword + " arg\r\n";
  reply += ".\r\n";
  std::vector<std::string> expected;
  for (std::string keyword : GetParam().keywords) {
    for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    expected.push_back(keyword);
  }
  EXPECT_EQ(ParseCapabilities(reply), expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, CapabilitiesTest,
                         ::testing::Values(CapaCase{"None", {}}, CapaCase{"One", {"STLS"}},
                                           CapaCase{"Several",
                                                    {"TOP", "UIDL", "STLS", "PIPELINING"}},
                                           CapaCase{"LowerCase", {"stls", "Pipelining"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CapabilitiesTest, ErrIsNoCapabilityAtAll) {
  EXPECT_TRUE(ParseCapabilities("-ERR no CAPA here\r\n").empty());
  EXPECT_TRUE(ParseCapabilities("+OK unfinished").empty());
}

TEST(SecureStartTest, PlainHasNothingToDo) {
  SecureStart start;
  start.Begin(SecurityMode::None);
  EXPECT_FALSE(start.Active());
  EXPECT_EQ(start.OnData("+OK\r\n").What, Kind::Wait);
}

TEST(SecureStartTest, TlsFromTheFirstByteWaitsForTheHandshakeThenTheGreeting) {
  SecureStart start;
  start.Begin(SecurityMode::Tls);
  EXPECT_TRUE(start.Handshaking());
  EXPECT_EQ(start.OnHandshake(Succeeded()).What, Kind::Greeted);
  EXPECT_FALSE(start.Active());
  EXPECT_TRUE(start.Capabilities().empty());
}

TEST(SecureStartTest, StartTlsSequenceTrustsOnlyTheCapabilitiesSaidOverTls) {
  SecureStart start;
  start.Begin(SecurityMode::StartTls);
  SecureStart::Action action = start.OnData("+OK ready\r\n");
  EXPECT_EQ(action.What, Kind::Send);
  EXPECT_EQ(action.Line, "CAPA");
  action = start.OnData("+OK\r\nSTLS\r\nPIPELINING\r\n.\r\n");
  EXPECT_EQ(action.What, Kind::Send);
  EXPECT_EQ(action.Line, "STLS");
  EXPECT_TRUE(start.Capabilities().empty());
  EXPECT_EQ(start.OnData("+OK Begin TLS negotiation\r\n").What, Kind::StartTls);
  EXPECT_TRUE(start.Handshaking());
  action = start.OnHandshake(Succeeded());
  EXPECT_EQ(action.What, Kind::Send);
  EXPECT_EQ(action.Line, "CAPA");
  EXPECT_EQ(start.OnData("+OK\r\nUIDL\r\n").What, Kind::Wait);
  EXPECT_EQ(start.OnData("TOP\r\n.\r\n").What, Kind::Login);
  EXPECT_EQ(start.Capabilities(), (std::vector<std::string>{"UIDL", "TOP"}));
  EXPECT_FALSE(start.Active());
}

TEST(SecureStartTest, CapaRefusedOverTlsStillLogsIn) {
  SecureStart start;
  start.Begin(SecurityMode::StartTls);
  start.OnData("+OK\r\n");
  start.OnData("+OK\r\nSTLS\r\n.\r\n");
  start.OnData("+OK\r\n");
  start.OnHandshake(Succeeded());
  EXPECT_EQ(start.OnData("-ERR\r\n").What, Kind::Login);
  EXPECT_TRUE(start.Capabilities().empty());
}

struct FailureCase {
  const char* name;
  std::vector<std::string> blocks;  // after Begin(StartTls)
  SecureFailure failure;
};

class StartTlsFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StartTlsFailureTest, FailsWithItsReasonAndNeverLogsIn) {
  SecureStart start;
  start.Begin(SecurityMode::StartTls);
  SecureStart::Action action;
  for (const std::string& block : GetParam().blocks) {
    action = start.OnData(block);
    ASSERT_NE(action.What, Kind::Login);
    ASSERT_NE(action.What, Kind::StartTls);
  }
  EXPECT_EQ(action.What, Kind::Fail);
  EXPECT_EQ(action.Failure, GetParam().failure);
  EXPECT_FALSE(start.Active());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, StartTlsFailureTest,
    ::testing::Values(
        FailureCase{"GreetingRefused", {"-ERR go away\r\n"}, SecureFailure::GreetingRefused},
        FailureCase{"GreetingLowerCase", {"+ok\r\n"}, SecureFailure::GreetingRefused},
        FailureCase{"CapaWithoutStls",
                    {"+OK\r\n", "+OK\r\nUSER\r\nUIDL\r\n.\r\n"},
                    SecureFailure::StlsNotOffered},
        FailureCase{"StlsOnlyAsArgument",
                    {"+OK\r\n", "+OK\r\nSASL STLS\r\n.\r\n"},
                    SecureFailure::StlsNotOffered},
        FailureCase{
            "CapaRefused", {"+OK\r\n", "-ERR unknown command\r\n"}, SecureFailure::StlsNotOffered},
        FailureCase{"StlsRefused",
                    {"+OK\r\n", "+OK\r\nSTLS\r\n.\r\n", "-ERR not now\r\n"},
                    SecureFailure::StlsRefused},
        FailureCase{"StlsLowerCaseOk",
                    {"+OK\r\n", "+OK\r\nSTLS\r\n.\r\n", "+ok\r\n"},
                    SecureFailure::StlsRefused},
        FailureCase{"InjectedAfterOk",
                    {"+OK\r\n", "+OK\r\nSTLS\r\n.\r\n", "+OK begin\r\n+OK forged\r\n"},
                    SecureFailure::Injection},
        FailureCase{"InjectedInLaterBlock",
                    {"+OK\r\n", "+OK\r\nSTLS\r\n.\r\n", "+OK begin", "\r\nX"},
                    SecureFailure::Injection}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SecureStartTest, CapaReplyMayArriveCutAnywhere) {
  const std::string reply = "+OK list\r\nTOP\r\nSTLS\r\n.\r\n";
  for (std::size_t cut = 1; cut < reply.size(); ++cut) {
    const SecureStart::Action action = CapaReplyInTwo(reply, cut);
    EXPECT_EQ(action.What, Kind::Send) << cut;
    EXPECT_EQ(action.Line, "STLS") << cut;
  }
}

TEST(SecureStartTest, EndlessCapaReplyFailsAtTheBound) {
  SecureStart start;
  start.Begin(SecurityMode::StartTls);
  start.OnData("+OK\r\n");
  start.OnData("+OK\r\n");
  const std::string chunk(4096, 'A');
  SecureStart::Action action;
  std::size_t fed = 0;
  while (action.What == Kind::Wait && fed <= kCapaReplyLimit) {
    action = start.OnData(chunk);
    fed += chunk.size();
  }
  EXPECT_EQ(action.What, Kind::Fail);
  EXPECT_EQ(action.Failure, SecureFailure::StlsNotOffered);
}

struct HandshakeCase {
  const char* name;
  TlsFailure tls;
  SecureFailure failure;
};

class HandshakeFailureTest : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(HandshakeFailureTest, EitherModeFailsWithTheReason) {
  for (const SecurityMode mode : {SecurityMode::Tls, SecurityMode::StartTls}) {
    SecureStart start;
    start.Begin(mode);
    if (mode == SecurityMode::StartTls) {
      start.OnData("+OK\r\n");
      start.OnData("+OK\r\nSTLS\r\n.\r\n");
      start.OnData("+OK\r\n");
    }
    TlsHandshake result;
    result.Failure = GetParam().tls;
    const SecureStart::Action action = start.OnHandshake(result);
    EXPECT_EQ(action.What, Kind::Fail);
    EXPECT_EQ(action.Failure, GetParam().failure);
    EXPECT_FALSE(start.Active());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, HandshakeFailureTest,
    ::testing::Values(HandshakeCase{"Untrusted", TlsFailure::Untrusted, SecureFailure::Untrusted},
                      HandshakeCase{"NameMismatch", TlsFailure::NameMismatch,
                                    SecureFailure::NameMismatch},
                      HandshakeCase{"Expired", TlsFailure::Expired, SecureFailure::Expired},
                      HandshakeCase{"Handshake", TlsFailure::Handshake, SecureFailure::Handshake},
                      HandshakeCase{"Injection", TlsFailure::Injection, SecureFailure::Injection}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SecureStartTest, DataDuringTheHandshakeIsRefused) {
  SecureStart start;
  start.Begin(SecurityMode::Tls);
  const SecureStart::Action action = start.OnData("+OK\r\n");
  EXPECT_EQ(action.What, Kind::Fail);
  EXPECT_EQ(action.Failure, SecureFailure::Injection);
}

}  // namespace
}  // namespace postvane
