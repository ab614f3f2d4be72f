// The status window's tree: keys, texts, colours and order, and the mailbox-line texts.
#include "ui/status_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "check/secure_failure_text.h"
#include "fakes/fake_date_text.h"
#include "text/display_text.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

void PrintTo(const StatusNode& node, std::ostream* os) {
  *os << "{" << node.Parent << " | " << node.Key << " | " << node.Text << " | "
      << static_cast<int>(node.Color) << "}";
}

bool operator==(const StatusNode& a, const StatusNode& b) {
  return a.Parent == b.Parent && a.Key == b.Key && a.Text == b.Text && a.Color == b.Color;
}

namespace {

constexpr NodeColor kNone = NodeColor::None;
constexpr NodeColor kMagenta = NodeColor::Magenta;
constexpr NodeColor kRed = NodeColor::DarkRed;

struct DisplayCase {
  const char* key;
  std::string text;
};

class StatusTreeTest : public ::testing::Test {
 protected:
  StatusTreeTest() {
    state.LanguageBase = 900;
    for (int i = 0; i < kUserMailboxes; ++i) {
      Box(i).Name = "Box" + std::to_string(i);
      Box(i).Headers.assign(1, MessageHeader{});
    }
  }

  std::vector<StatusNode> Build() const { return BuildStatusTree(state, dates); }
  MailboxRecord& Box(int i) { return state.Mailboxes[i]; }

  CheckState state;
  FakeDateText dates;
};

TEST_F(StatusTreeTest, NoEnabledMailboxGivesAnEmptyTree) {
  Box(4).NewCount = 3;
  EXPECT_TRUE(Build().empty());
}

TEST_F(StatusTreeTest, NeverCheckedMailbox) {
  Box(0).Enabled = kTrue;
  const std::vector<StatusNode> expected = {
      {"", "0 Account", "Box0 0 new message(s) - 00:00:00", kNone},
      {"0 Account", "Eintrag 20", "0 new message(s)", kNone},
      {"0 Account", "Eintrag 30", "0 message(s) in mailbox", kNone},
      {"0 Account", "Eintrag 40", "no Error", kNone},
  };
  EXPECT_EQ(Build(), expected);
}

TEST_F(StatusTreeTest, MailboxWithThreeNewMessagesNewestFirst) {
  MailboxRecord& box = Box(3);
  box.Enabled = kTrue;
  box.NewCount = 3;
  box.MessageCount = 12;
  box.LastCheck = {2026, 12, 7, 10, 0, 0};
  box.Headers = {
      {},
      {"ann@example.org", "me@example.org", "Newest", "1", "Mon, 7 Dec 2026 09:58:00 +0100"},
      {"bob@example.org", "me@example.org", "Middle", "3 (Normal)", "Mon, 7 Dec 2026 09:00:00"},
      {"cy@example.org", "list@example.org", "Oldest", "", "Sun, 6 Dec 2026 22:10:00"},
  };
  const std::vector<StatusNode> expected = {
      {"", "3 Account", "Box3 3 new message(s) - 2026-12-07 10:00:00", kMagenta},
      {"3 Account", "Eintrag 23", "3 new message(s)", kMagenta},
      {"Eintrag 23", "Eintrag 631", "Message 3", kMagenta},
      {"Eintrag 631", "Eintrag 731", "From: ann@example.org", kNone},
      {"Eintrag 631", "Eintrag 831", "To: me@example.org", kNone},
      {"Eintrag 631", "Eintrag 931", "Subject: Newest", kNone},
      {"Eintrag 631", "Eintrag 1031", "Date: Mon, 7 Dec 2026 09:58:00 +0100", kNone},
      {"Eintrag 631", "Eintrag 1131", "Priority: Very High", kNone},
      {"Eintrag 23", "Eintrag 632", "Message 2", kNone},
      {"Eintrag 632", "Eintrag 732", "From: bob@example.org", kNone},
      {"Eintrag 632", "Eintrag 832", "To: me@example.org", kNone},
      {"Eintrag 632", "Eintrag 932", "Subject: Middle", kNone},
      {"Eintrag 632", "Eintrag 1032", "Date: Mon, 7 Dec 2026 09:00:00", kNone},
      {"Eintrag 632", "Eintrag 1132", "Priority: 3 (Normal)", kNone},
      {"Eintrag 23", "Eintrag 633", "Message 1", kNone},
      {"Eintrag 633", "Eintrag 733", "From: cy@example.org", kNone},
      {"Eintrag 633", "Eintrag 833", "To: list@example.org", kNone},
      {"Eintrag 633", "Eintrag 933", "Subject: Oldest", kNone},
      {"Eintrag 633", "Eintrag 1033", "Date: Sun, 6 Dec 2026 22:10:00", kNone},
      {"Eintrag 633", "Eintrag 1133", "Priority: ", kNone},
      {"3 Account", "Eintrag 33", "12 message(s) in mailbox", kNone},
      {"3 Account", "Eintrag 43", "no Error", kNone},
  };
  EXPECT_EQ(Build(), expected);
}

TEST_F(StatusTreeTest, FailedMailboxIsDarkRedAndOutranksAnUrgentMessage) {
  Box(6).Enabled = kTrue;
  Box(6).StatusText = "Mailserver not avaiable!";
  Box(6).NewCount = 1;
  Box(6).Headers = {{}, {"x", "y", "z", "1", "d"}};
  const std::vector<StatusNode> nodes = Build();
  ASSERT_EQ(nodes.size(), 10u);
  EXPECT_EQ(nodes[0].Key, "6 Account");
  EXPECT_EQ(nodes[0].Color, kRed);
  EXPECT_EQ(nodes[1].Color, kMagenta);  // new messages
  EXPECT_EQ(nodes[2].Color, kMagenta);  // the message
  EXPECT_EQ(nodes[7].Color, kNone);     // its priority
  EXPECT_EQ(nodes[8].Key, "Eintrag 36");
  EXPECT_EQ(nodes[8].Color, kNone);
  EXPECT_EQ(nodes[9], (StatusNode{"6 Account", "Eintrag 46", "Mailserver not avaiable!", kRed}));
}

// Header texts come from strangers: quoting is dropped from display names, and no control
// character can reorder or hide what the window shows.
TEST_F(StatusTreeTest, HeaderTextsAreShownSafely) {
  Box(1).Enabled = kTrue;
  Box(1).NewCount = 1;
  Box(1).Headers = {{},
                    {"\"Dan \\\"the Man\\\"\" <dan@example.org>", "\"B, A\" <a@x.org>",
                     "Invoice \xE2\x80\xAE"
                     "fdp.exe\t(1)",
                     "1\x1B[2J", "Mon\r\n"}};
  const DisplayCase cases[] = {
      {"Eintrag 711", "From: Dan \"the Man\" <dan@example.org>"},
      {"Eintrag 811", "To: B, A <a@x.org>"},
      {"Eintrag 911",
       "Subject: Invoice \xEF\xBF\xBD"
       "fdp.exe (1)"},
      {"Eintrag 1011", "Date: Mon\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"Eintrag 1111", "Priority: 1\xEF\xBF\xBD[2J"},
  };
  const std::vector<StatusNode> nodes = Build();
  for (const DisplayCase& c : cases) {
    const auto node = std::find_if(nodes.begin(), nodes.end(),
                                   [&](const StatusNode& n) { return n.Key == c.key; });
    ASSERT_NE(node, nodes.end()) << c.key;
    EXPECT_EQ(node->Text, c.text);
  }
}

TEST_F(StatusTreeTest, RejectedCertificateIsDetailedUnderTheStatusLine) {
  Box(2).Enabled = kTrue;
  Box(2).StatusText = "Certificate not trusted";
  Box(2).RejectedCertificate = {"CN=pop.test\x1b[2J", "CN=Own CA", "2026-01-01 00:00:00 UTC",
                                "2027-01-01 00:00:00 UTC", std::string(64, 'B')};
  Box(3).Enabled = kTrue;
  const std::vector<StatusNode> nodes = Build();
  const std::vector<std::string> details =
      CertificateDetails(state.LanguageBase, Box(2).RejectedCertificate);
  ASSERT_EQ(details.size(), 5u);
  std::vector<std::string> shown;
  for (const StatusNode& node : nodes) {
    if (node.Parent == "Eintrag 42") shown.push_back(node.Text);
  }
  std::vector<std::string> filtered;
  for (const std::string& line : details) filtered.push_back(DisplayText(line));
  EXPECT_EQ(shown, filtered);
  // The server chose the names: no control character reaches the window.
  for (const std::string& line : shown) EXPECT_EQ(line.find('\x1b'), std::string::npos);
  // Every detail is there once, the fingerprint readable in pairs.
  EXPECT_NE(details[4].find("BB:BB:"), std::string::npos);
  EXPECT_NE(details[0].find("CN=pop.test"), std::string::npos);
  // A mailbox without one has no such lines.
  for (const StatusNode& node : nodes) EXPECT_NE(node.Parent, "Eintrag 43");
}

TEST_F(StatusTreeTest, ServerAlertIsShownUnderTheStatusLineAsPlainText) {
  Box(2).Enabled = kTrue;
  Box(2).ServerAlert = "Quota <b>95%</b> \x1b[2J";
  Box(3).Enabled = kTrue;
  std::vector<std::string> shown;
  for (const StatusNode& node : Build()) {
    if (node.Parent == "Eintrag 42" || node.Parent == "Eintrag 43") shown.push_back(node.Text);
  }
  EXPECT_EQ(shown, std::vector<std::string>{OwnString(state.LanguageBase, OwnText::ServerNotice) +
                                            ": " + DisplayText(Box(2).ServerAlert)});
  EXPECT_EQ(shown[0].find('\x1b'), std::string::npos);
}

TEST_F(StatusTreeTest, DisabledMailboxIsAbsentEvenWithNewMail) {
  Box(1).Enabled = kTrue;
  Box(2).NewCount = 5;
  Box(2).Headers.resize(6);
  Box(5).Enabled = kTrue;
  const std::vector<StatusNode> nodes = Build();
  std::vector<std::string> mailboxKeys;
  for (const StatusNode& node : nodes) {
    if (node.Parent.empty()) mailboxKeys.push_back(node.Key);
  }
  EXPECT_EQ(mailboxKeys, (std::vector<std::string>{"1 Account", "5 Account"}));
  EXPECT_EQ(nodes.size(), 8u);
}

TEST_F(StatusTreeTest, AnyNonZeroEnabledValueCounts) {
  Box(7).Enabled = 1;
  ASSERT_FALSE(Build().empty());
  EXPECT_EQ(Build()[0].Key, "7 Account");
}

TEST_F(StatusTreeTest, AcknowledgedMailboxStillListsTheFetchedMessages) {
  Box(2).Enabled = kTrue;
  Box(2).NewCount = 0;
  Box(2).Headers.resize(3);
  const std::vector<StatusNode> nodes = Build();
  EXPECT_EQ(nodes[1].Text, "0 new message(s)");
  EXPECT_EQ(nodes[2], (StatusNode{"Eintrag 22", "Eintrag 621", "Message 2", kNone}));
  EXPECT_EQ(nodes[8], (StatusNode{"Eintrag 22", "Eintrag 622", "Message 1", kNone}));
}

TEST_F(StatusTreeTest, MailboxWithoutAHeadersArrayHasNoMessages) {
  Box(9).Enabled = kTrue;
  Box(9).NewCount = 2;
  Box(9).Headers.clear();
  EXPECT_EQ(Build().size(), 4u);
}

TEST_F(StatusTreeTest, SeveralUrgentMessagesColourLikeOne) {
  Box(0).Enabled = kTrue;
  Box(0).Headers = {{}, {"", "", "", "1", ""}, {"", "", "", "2", ""}, {"", "", "", "1", ""}};
  const std::vector<StatusNode> nodes = Build();
  EXPECT_EQ(nodes[0].Color, kMagenta);
  EXPECT_EQ(nodes[1].Color, kMagenta);
  EXPECT_EQ(nodes[2].Color, kMagenta);
  EXPECT_EQ(nodes[8].Color, kNone);
  EXPECT_EQ(nodes[14].Color, kMagenta);
}

TEST_F(StatusTreeTest, EveryKeyIsUniqueAndEveryParentComesFirst) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    Box(i).Enabled = kTrue;
    Box(i).Headers.resize(13);
  }
  std::set<std::string> seen;
  for (const StatusNode& node : Build()) {
    if (!node.Parent.empty()) {
      EXPECT_EQ(seen.count(node.Parent), 1u) << node.Key;
    }
    EXPECT_TRUE(seen.insert(node.Key).second) << node.Key;
  }
  EXPECT_EQ(seen.size(), 10u * (4 + 12 * 6));
}

TEST_F(StatusTreeTest, PriorityTexts) {
  struct Row {
    const char* Raw;
    const char* Text;
  };
  for (const Row& row :
       {Row{"5", "Priority: Very Low"}, Row{"4", "Priority: Low"}, Row{"3", "Priority: Now"},
        Row{"2", "Priority: High"}, Row{"1", "Priority: Very High"},
        Row{"3 (Normal)", "Priority: 3 (Normal)"}, Row{"1 (Highest)", "Priority: 1 (Highest)"},
        Row{"", "Priority: "}, Row{" 1", "Priority:  1"}, Row{"0", "Priority: 0"},
        Row{"6", "Priority: 6"}, Row{"11", "Priority: 11"}}) {
    EXPECT_EQ(PriorityText(state, row.Raw), row.Text) << row.Raw;
  }
}

TEST_F(StatusTreeTest, OnlyTheExactUrgentValueColours) {
  Box(4).Enabled = kTrue;
  Box(4).Headers = {{}, {"", "", "", "1 (Highest)", ""}};
  for (const StatusNode& node : Build()) EXPECT_EQ(node.Color, kNone) << node.Key;
}

TEST_F(StatusTreeTest, TextsFollowTheLanguage) {
  state.LanguageBase = 700;
  Box(1).Enabled = kTrue;
  const std::vector<StatusNode> nodes = Build();
  const std::string newMessages = LocalString(700, StringId::NewMessages);
  ASSERT_NE(newMessages, LocalString(900, StringId::NewMessages));
  EXPECT_EQ(nodes[1].Text, "0 " + newMessages);
  EXPECT_EQ(nodes[3].Text, LocalString(700, StringId::NoError));
}

TEST_F(StatusTreeTest, ExpandAndCollapseRewriteTheMailboxLineFromCurrentValues) {
  Box(3).Enabled = kTrue;
  Box(3).NewCount = 2;
  Box(3).LastCheck = {2026, 12, 7, 9, 0, 0};
  const std::vector<StatusNode> nodes = Build();
  // A check ran while the window was open.
  Box(3).NewCount = 5;
  Box(3).Name = "Work";
  Box(3).LastCheck = {2026, 12, 7, 9, 6, 0};
  EXPECT_EQ(StatusNodeTextOnExpand(nodes[0].Key, state, dates), "Work - 2026-12-07 09:06:00");
  EXPECT_EQ(StatusNodeTextOnCollapse(nodes[0].Key, state, dates),
            "Work 5 new message(s) - 2026-12-07 09:06:00");
}

TEST_F(StatusTreeTest, ExpandOfOtherNodesChangesNothing) {
  Box(3).Enabled = kTrue;
  Box(3).Headers.resize(2);
  for (const StatusNode& node : Build()) {
    if (node.Parent.empty()) continue;
    EXPECT_FALSE(StatusNodeTextOnExpand(node.Key, state, dates)) << node.Key;
    EXPECT_FALSE(StatusNodeTextOnCollapse(node.Key, state, dates)) << node.Key;
  }
}

TEST_F(StatusTreeTest, OddKeysChangeNothing) {
  for (const char* key :
       {"", "Account", " Account", "x Account", "10 Account", "12 Account",
        "99999999999999999999999 Account", "3 account", "3 Accounts", "-1 Account", "Eintrag 2"}) {
    EXPECT_FALSE(StatusNodeTextOnExpand(key, state, dates)) << "'" << key << "'";
    EXPECT_FALSE(StatusNodeTextOnCollapse(key, state, dates)) << "'" << key << "'";
  }
}

TEST_F(StatusTreeTest, KeysAreReadByTheirNumericPrefix) {
  Box(0).LastCheck = {2026, 12, 7, 0, 0, 0};
  Box(7).LastCheck = {2026, 12, 7, 7, 0, 0};
  EXPECT_EQ(StatusNodeTextOnExpand("0 Account", state, dates), "Box0 - 2026-12-07");
  EXPECT_EQ(StatusNodeTextOnExpand("7Account", state, dates), "Box7 - 2026-12-07 07:00:00");
  EXPECT_EQ(StatusNodeTextOnExpand("07 Account", state, dates), "Box7 - 2026-12-07 07:00:00");
}

TEST(StatusTreeColours, Rgb) {
  EXPECT_EQ(ColorRgb(NodeColor::Magenta), (NodeRgb{128, 0, 128}));
  EXPECT_EQ(ColorRgb(NodeColor::DarkRed), (NodeRgb{128, 0, 0}));
  EXPECT_FALSE(ColorRgb(NodeColor::None));
}

}  // namespace
}  // namespace postvane
