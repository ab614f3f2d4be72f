// A silent server on a TLS port reached without TLS: the failure says which security to choose.
#include "check/plain_port_hint.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "check/silent_server_guard.h"
#include "fakes/check_engine_rig.h"
#include "text/own_text.h"
#include "text/replace_hash.h"

namespace postvane {
namespace {

const std::string kSilence = "No answer from the server";

struct HintRow {
  const char* Name;
  int32_t Port;
  int16_t Security;
  // What happens after the connect, before the reply time-out.
  std::function<void(FakeSocket&)> Before;
  int ErrorNumber;
  bool Hint;
};

void Nothing(FakeSocket&) {}
void Greeting(FakeSocket& socket) { socket.Receive("+OK ready\r\n"); }

class PlainPortHint : public ::testing::TestWithParam<HintRow> {};

// Through the engine: the mailbox's failure text, as the tray and the status window show it.
TEST_P(PlainPortHint, FailureTextAfterTheReplyTimeOut) {
  const HintRow& row = GetParam();
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    CheckEngineRig rig;
    rig.State.LanguageBase = base;
    MailboxRecord& box = rig.Enable(0);
    box.RemotePort = row.Port;
    box.Security = row.Security;
    rig.Engine.StartCycle();
    rig.Socket.RaiseConnect();
    row.Before(rig.Socket);
    rig.Socket.RaiseError(row.ErrorNumber, kSilence);
    const std::string hint = " " + ReplaceHash(OwnString(base, OwnText::PortUsuallyTls), row.Port);
    EXPECT_EQ(box.StatusText, row.Hint ? kSilence + hint : kSilence) << base;
    EXPECT_EQ(box.State, MailboxState::Idle);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlainPortHint,
    ::testing::Values(HintRow{"Pop3sPortNoGreeting", 995, 0, Nothing, kSocketNoAnswer, true},
                      HintRow{"ImapsPortNoGreeting", 993, 0, Nothing, kSocketNoAnswer, true},
                      HintRow{"PlainPort", 110, 0, Nothing, kSocketNoAnswer, false},
                      HintRow{"OtherPort", 9995, 0, Nothing, kSocketNoAnswer, false},
                      HintRow{"SilentAfterTheGreeting", 995, 0, Greeting, kSocketNoAnswer, false},
                      HintRow{"AnotherSocketError", 995, 0, Nothing, 10061, false}),
    [](const ::testing::TestParamInfo<HintRow>& info) { return std::string(info.param.Name); });

TEST(PlainPortHintText, NamesThePortInEveryLanguage) {
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    const std::string text = OwnString(base, OwnText::PortUsuallyTls);
    ASSERT_FALSE(text.empty()) << base;
    EXPECT_NE(ReplaceHash(text, 993).find("993"), std::string::npos) << base;
    EXPECT_NE(text.find("SSL/TLS"), std::string::npos) << base;
  }
}

TEST(PlainPortHintText, OnlyTheTlsPortsOfMailCount) {
  EXPECT_TRUE(PortUsuallyTls(995));
  EXPECT_TRUE(PortUsuallyTls(993));
  for (int32_t port : {0, 110, 143, 465, 587, 994, 996, -995}) EXPECT_FALSE(PortUsuallyTls(port));
}

}  // namespace
}  // namespace postvane
