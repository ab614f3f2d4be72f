// IMAP mailboxes in the check engine: chosen by the Protocol code, an unknown code never
// connects, and a check that ends with the server closing after LOGOUT counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/mail_protocol.h"
#include "fakes/check_engine_rig.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

TEST(ImapEngineTest, AnUnknownProtocolFailsBeforeConnectingAndTheCycleMovesOn) {
  for (const char* text : {"2", "-1", "imap", "0x1"}) {
    CheckEngineRig rig;
    rig.Enable(0).Protocol = ReadProtocolCode(text);
    rig.Enable(1);
    rig.Engine.StartCycle();
    EXPECT_EQ(rig.Box(0).StatusText,
              OwnString(rig.State.LanguageBase, OwnText::UnknownProtocolSetting));
    ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u) << text;
    EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
    ASSERT_EQ(rig.Socket.Connects.size(), 1u);
    EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop1.test") << "only the next mailbox";
  }
}

TEST(ImapEngineTest, AWholeCheckThroughTheEngineAndTheNextMailboxAfterIt) {
  CheckEngineRig rig;
  rig.LogOn();
  MailboxRecord& box = rig.Enable(0);
  box.Protocol = 1;
  rig.Enable(1);
  rig.StartAndConnect();
  rig.Socket.Receive("* OK [CAPABILITY IMAP4rev1] hi\r\n");
  EXPECT_EQ(box.State, MailboxState::PassSent);
  rig.Socket.Receive("a1 OK in\r\n");
  EXPECT_EQ(box.State, MailboxState::StatSent);
  rig.Socket.Receive("* 2 EXISTS\r\n* OK [UIDVALIDITY 5] x\r\na2 OK done\r\n");
  EXPECT_EQ(box.State, MailboxState::UidlSent);
  rig.Socket.Receive("* SEARCH 2\r\na3 OK done\r\n");
  EXPECT_EQ(box.State, MailboxState::TopSent);
  rig.Socket.Receive(
      "* 2 FETCH (UID 2 BODY[HEADER.FIELDS (FROM)] {9}\r\nFrom: x\r\n)\r\na4 OK\r\n");
  EXPECT_EQ(box.State, MailboxState::QuitSent);
  // The server says BYE and closes before its tagged reply: the count stands.
  rig.Socket.Receive("* BYE bye\r\n");
  rig.Socket.RaisePeerClose();
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::NewMail);
  EXPECT_EQ(box.NewCount, 1);
  EXPECT_EQ(box.Headers.at(1).From, "x");
  EXPECT_EQ(rig.Log().find("secret0"), std::string::npos);
  EXPECT_NE(rig.Log().find("LOGIN \"user0\" xxxxx"), std::string::npos) << rig.Log();
  ASSERT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Socket.Connects[1].RemoteHost, "pop1.test");
}

}  // namespace
}  // namespace postvane
