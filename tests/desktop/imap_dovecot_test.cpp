// Whole IMAP checks through the engine and the Qt socket against a private Dovecot: plain, TLS
// and STARTTLS, acknowledgement, mail read elsewhere, a folder recreated with a new
// UIDVALIDITY, a folder that does not exist; and the check leaves every flag as it was.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/tray_commands.h"
#include "app/uidl_store.h"
#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "support/dovecot_fixture.h"
#include "support/pop3_raw_client.h"
#include "support/qt_check_rig.h"
#include "support/qt_test_main.h"
#include "support/test_certificates.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using test::DovecotFixture;
using test::DovecotOptions;
using test::Pop3RawClient;
using test::QtCheckRig;
using test::TestCertificates;

const TestCertificates& Certificates() {
  static const TestCertificates certificates;
  return certificates;
}

std::string Message(int n) {
  return "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) +
         "@example.org>\r\nTo: alice@example.org\r\nSubject: =?utf-8?q?Gr=C3=BC=C3=9Fe?= " +
         std::to_string(n) + "\r\nDate: Tue, 1 Dec 2026 10:00:00 +0100\r\n\r\nBody\r\n";
}

// The test's own IMAP connection, as another mail program of the user would have it.
class OtherClient {
 public:
  explicit OtherClient(const DovecotFixture& dovecot) {
    ok_ = client_.Connect(dovecot.ImapPort()) && client_.ReadLine().starts_with("* OK") &&
          Command("LOGIN alice secret").find(" OK") != std::string::npos;
  }
  ~OtherClient() { Command("LOGOUT"); }
  bool Ok() const { return ok_; }

  // Sends a command and returns every line up to and including its tagged reply.
  std::string Command(const std::string& command) {
    const std::string tag = "t" + std::to_string(++tags_);
    if (!client_.SendLine(tag + " " + command)) return {};
    return ReadUntil(tag);
  }
  bool Append(const std::string& folder, const std::string& message) {
    const std::string tag = "t" + std::to_string(++tags_);
    if (!client_.SendLine(tag + " APPEND " + folder + " {" + std::to_string(message.size()) +
                          "}") ||
        !client_.ReadLine().starts_with("+")) {
      return false;
    }
    client_.SendLine(message);
    return ReadUntil(tag).find(tag + " OK") != std::string::npos;
  }

 private:
  std::string ReadUntil(const std::string& tag) {
    std::string all;
    for (std::string line = client_.ReadLine(); !line.empty(); line = client_.ReadLine()) {
      all += line;
      if (line.starts_with(tag + " ")) break;
    }
    return all;
  }
  Pop3RawClient client_;
  int tags_ = 0;
  bool ok_ = false;
};

class ImapDovecotTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!Certificates().Ready()) GTEST_SKIP() << Certificates().Failure();
    trust_.emplace(Certificates().AuthorityFile());
    DovecotOptions options;
    options.Imap = true;
    options.TlsCertificate = Certificates().Good().Certificate;
    options.TlsKey = Certificates().Good().Key;
    dovecot_.emplace(options);
    ASSERT_TRUE(dovecot_->Running()) << dovecot_->Failure();
  }
  MailboxRecord& Imap(int index, uint16_t port, int16_t security = 0) {
    MailboxRecord& box = rig_.Enable(index, port);
    box.Protocol = 1;
    box.Security = security;
    return box;
  }
  static void Acknowledge(MailboxRecord& box) {
    box.ImapUidValidity = box.NewestImapUidValidity;
    box.ImapLastUid = box.NewestImapUid;
  }

  std::optional<test::TrustedAuthorityScope> trust_;
  std::optional<DovecotFixture> dovecot_;
  QtCheckRig rig_;
};

TEST_F(ImapDovecotTest, PlainTlsAndStartTlsCountHeadersAndAcknowledge) {
  ASSERT_TRUE(dovecot_->Deliver(Message(1)));
  ASSERT_TRUE(dovecot_->Deliver(Message(2)));
  std::vector<MailboxRecord*> boxes{&Imap(0, dovecot_->ImapPort()),
                                    &Imap(1, dovecot_->ImapTlsPort(), 1),
                                    &Imap(2, dovecot_->ImapPort(), 2)};
  ASSERT_TRUE(rig_.RunCycle()) << rig_.Log();
  for (MailboxRecord* box : boxes) {
    SCOPED_TRACE(box->Name);
    EXPECT_EQ(box->StatusText, "") << rig_.Log() << dovecot_->ServerLog();
    EXPECT_EQ(box->MessageCount, 2);
    EXPECT_EQ(box->NewCount, 2);
    ASSERT_EQ(box->Headers.size(), 3u);
    EXPECT_EQ(box->Headers[1].Subject,
              "Gr\xC3\xBC\xC3\x9F"
              "e 2");
    EXPECT_EQ(box->Headers[2].From, "Sender 1 <s1@example.org>");
  }
  const std::string log = rig_.Log();
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  EXPECT_NE(log.find("LOGIN \"alice\" xxxxx"), std::string::npos) << log;
  EXPECT_NE(log.find("TLS TLSv1."), std::string::npos) << log;

  for (MailboxRecord* box : boxes) Acknowledge(*box);
  ASSERT_TRUE(rig_.RunCycle());
  for (MailboxRecord* box : boxes) EXPECT_EQ(box->NewCount, 0) << box->Name;
  ASSERT_TRUE(dovecot_->Deliver(Message(3)));
  ASSERT_TRUE(rig_.RunCycle());
  for (MailboxRecord* box : boxes) {
    EXPECT_EQ(box->NewCount, 1) << box->Name;
    EXPECT_EQ(box->Headers.at(1).From, "Sender 3 <s3@example.org>");
  }
}

TEST_F(ImapDovecotTest, MailReadElsewhereStopsCountingAndTheCheckChangesNoFlag) {
  for (int n = 1; n <= 3; ++n) ASSERT_TRUE(dovecot_->Deliver(Message(n)));
  MailboxRecord& box = Imap(0, dovecot_->ImapPort());
  ASSERT_TRUE(rig_.RunCycle()) << rig_.Log();
  EXPECT_EQ(box.NewCount, 3);
  {
    OtherClient other(*dovecot_);
    ASSERT_TRUE(other.Ok());
    other.Command("EXAMINE INBOX");
    const std::string flags = other.Command("FETCH 1:* FLAGS");
    EXPECT_EQ(flags.find("\\Seen"), std::string::npos) << "the check marked mail read: " << flags;
    EXPECT_NE(flags.find("* 3 FETCH"), std::string::npos) << flags;
    other.Command("SELECT INBOX");
    EXPECT_NE(other.Command("UID STORE 2 +FLAGS (\\Seen)").find(" OK"), std::string::npos);
  }
  ASSERT_TRUE(rig_.RunCycle());
  EXPECT_EQ(box.NewCount, 2);
  ASSERT_EQ(box.Headers.size(), 3u);
  EXPECT_EQ(box.Headers[1].From, "Sender 3 <s3@example.org>");
  EXPECT_EQ(box.Headers[2].From, "Sender 1 <s1@example.org>");
}

TEST_F(ImapDovecotTest, ARecreatedFolderMakesEveryUnseenMessageNewAgain) {
  MailboxRecord& box = Imap(0, dovecot_->ImapPort());
  box.Folder =
      "B\xC3\xBC"
      "cher";
  {
    OtherClient other(*dovecot_);
    ASSERT_TRUE(other.Ok());
    EXPECT_NE(other.Command("CREATE \"B&APw-cher\"").find(" OK"), std::string::npos);
    ASSERT_TRUE(other.Append("\"B&APw-cher\"", Message(1)));
    ASSERT_TRUE(other.Append("\"B&APw-cher\"", Message(2)));
  }
  ASSERT_TRUE(rig_.RunCycle()) << rig_.Log();
  EXPECT_EQ(box.StatusText, "") << rig_.Log();
  EXPECT_EQ(box.NewCount, 2);
  Acknowledge(box);
  const uint32_t oldValidity = box.ImapUidValidity;
  ASSERT_TRUE(rig_.RunCycle());
  EXPECT_EQ(box.NewCount, 0);
  {
    OtherClient other(*dovecot_);
    ASSERT_TRUE(other.Ok());
    EXPECT_NE(other.Command("DELETE \"B&APw-cher\"").find(" OK"), std::string::npos);
    EXPECT_NE(other.Command("CREATE \"B&APw-cher\"").find(" OK"), std::string::npos);
    ASSERT_TRUE(other.Append("\"B&APw-cher\"", Message(7)));
  }
  ASSERT_TRUE(rig_.RunCycle());
  EXPECT_NE(box.NewestImapUidValidity, oldValidity);
  EXPECT_EQ(box.NewCount, 1) << "UID 1 is below the old point, but the folder is another one";
  EXPECT_EQ(box.Headers.at(1).From, "Sender 7 <s7@example.org>");
}

TEST_F(ImapDovecotTest, AMissingFolderAndAWrongPasswordFailWithTheirTexts) {
  MailboxRecord& missing = Imap(0, dovecot_->ImapPort());
  missing.Folder = "Nope";
  MailboxRecord& wrong = Imap(1, dovecot_->ImapPort());
  wrong.Password = "wrong";
  ASSERT_TRUE(rig_.RunCycle()) << rig_.Log();
  std::string folderText = OwnString(rig_.State.LanguageBase, OwnText::ImapFolderMissing);
  folderText.replace(folderText.find('#'), 1, "Nope");
  EXPECT_EQ(missing.StatusText, folderText);
  EXPECT_TRUE(
      wrong.StatusText.starts_with(OwnString(rig_.State.LanguageBase, OwnText::ImapLoginRefused)))
      << wrong.StatusText;
}

// Whether message `n` of INBOX carries \Seen, through the test's own connection.
bool SeenOnServer(const DovecotFixture& dovecot, int n) {
  OtherClient other(dovecot);
  EXPECT_TRUE(other.Ok());
  other.Command("EXAMINE INBOX");
  const std::string flags = other.Command("FETCH " + std::to_string(n) + " FLAGS");
  const std::size_t at = flags.find("* " + std::to_string(n) + " FETCH");
  EXPECT_NE(at, std::string::npos) << flags;
  return at != std::string::npos && flags.find("\\Seen", at) < flags.find(')', at);
}

// The acknowledged point is kept in memory only.
class PointInMemory : public UidlStore {
 public:
  void SaveUidl(int16_t, const std::string&) override {}
  void SaveImapPoint(int16_t, uint32_t, uint32_t) override {}
};

struct MarkReadCase {
  const char* name;
  bool keyOn;
  bool acknowledgingCheck;  // as postvane-check --ack runs it; else the tray's click
};

class ImapMarkReadDovecotTest : public ImapDovecotTest,
                                public testing::WithParamInterface<MarkReadCase> {};

TEST_P(ImapMarkReadDovecotTest, AcknowledgedMailIsSeenOnTheServerOnlyWithTheKey) {
  const MarkReadCase& c = GetParam();
  ASSERT_TRUE(dovecot_->Deliver(Message(1)));
  ASSERT_TRUE(dovecot_->Deliver(Message(2)));
  MailboxRecord& box = Imap(0, dovecot_->ImapPort());
  box.MarkReadOnAck = c.keyOn ? kTrue : kFalse;
  box.ImapMarkNewRead = c.acknowledgingCheck;
  ASSERT_TRUE(rig_.RunCycle()) << rig_.Log();
  EXPECT_EQ(box.NewCount, 2) << rig_.Log();
  PointInMemory points;
  AcknowledgeMailbox(rig_.State, points, 0);
  box.ImapMarkNewRead = false;
  // Mail after the acknowledgement is left alone; the tray's marking rides on this check.
  ASSERT_TRUE(dovecot_->Deliver(Message(3)));
  ASSERT_TRUE(rig_.RunCycle()) << rig_.Log();
  EXPECT_EQ(box.NewCount, 1);
  EXPECT_EQ(box.StatusText, "") << rig_.Log();
  for (int n = 1; n <= 2; ++n) EXPECT_EQ(SeenOnServer(*dovecot_, n), c.keyOn) << n << rig_.Log();
  EXPECT_FALSE(SeenOnServer(*dovecot_, 3));
  EXPECT_EQ(rig_.Log().find(OwnString(900, OwnText::MarkReadFailed)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Keys, ImapMarkReadDovecotTest,
                         testing::Values(MarkReadCase{"TrayOn", true, false},
                                         MarkReadCase{"TrayOff", false, false},
                                         MarkReadCase{"AcknowledgingCheckOn", true, true},
                                         MarkReadCase{"AcknowledgingCheckOff", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// postvane-check --ack has no next check: it marks what it counts in the same run.
TEST_F(ImapDovecotTest, PostvaneCheckAckMarksTheCountedMailReadOnlyWithTheKey) {
  ASSERT_TRUE(dovecot_->Deliver(Message(1)));
  for (const char* key : {"0", "1"}) {
    SCOPED_TRACE(key);
    TempFolder folder;
    const std::string settings = folder.File("Postvane.ini");
    test::WriteBytes(settings, test::SettingsText(
                                   {{0, "Imap", dovecot_->ImapPort(), "alice", "secret", true, "",
                                     std::string("Protocol=1\r\nMarkReadOnAck=") + key + "\r\n"}}));
    const test::CheckResult run =
        test::RunCheck({"--settings", QString::fromStdString(settings), "--ack"});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_EQ(SeenOnServer(*dovecot_, 1), std::string(key) == "1");
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
