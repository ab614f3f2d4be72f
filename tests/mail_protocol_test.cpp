// The Protocol code and the IMAP keys of a mailbox section: read, kept and written back.
#include "check/mail_protocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/fake_file_system.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"

namespace postvane {
namespace {

const std::string kIni = "/prog/Postvane.ini";

class ImapKeysTest : public testing::Test {
 protected:
  MailboxRecord Load(int16_t index) {
    MailboxRecord record;
    store.LoadMailbox(record, index);
    return record;
  }
  std::string& File() { return files.Files[kIni]; }
  std::optional<std::string> Key(const char* key) const {
    return IniFile(files.Files.at(kIni)).Read("MailBox1", key);
  }

  FakeFileSystem files;
  SettingsStore store{files, kIni, "/prog/NewMail.wav"};
};

struct ProtocolCase {
  const char* name;
  std::string line;  // empty: the key is absent
  int16_t stored;
  std::optional<MailProtocol> effective;  // nothing: the mailbox is not checked
};

class ProtocolKeyTest : public ImapKeysTest, public testing::WithParamInterface<ProtocolCase> {};

TEST_P(ProtocolKeyTest, ReadsTheCodeAndWritesItBackAsRead) {
  const ProtocolCase& c = GetParam();
  File() = "[MailBox1]\r\nName=Work\r\n" + c.line;
  MailboxRecord record = Load(1);
  EXPECT_EQ(record.Protocol, c.stored);
  EXPECT_EQ(EffectiveProtocol(record.Protocol), c.effective);
  store.SaveMailbox(record, 1);
  EXPECT_EQ(Load(1).Protocol, c.stored);
  if (c.line.empty()) {
    EXPECT_EQ(File().find("Protocol"), std::string::npos) << File();
  } else if (!c.effective) {
    EXPECT_NE(File().find(c.line), std::string::npos) << "written back as read: " << File();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ProtocolKeyTest,
    testing::Values(ProtocolCase{"Absent", "", 0, MailProtocol::Pop3},
                    ProtocolCase{"Pop3", "Protocol=0\r\n", 0, MailProtocol::Pop3},
                    ProtocolCase{"Imap", "Protocol=1\r\n", 1, MailProtocol::Imap},
                    ProtocolCase{"Blanks", "Protocol= 1 \r\n", 1, MailProtocol::Imap},
                    ProtocolCase{"Empty", "Protocol=\r\n", 0, MailProtocol::Pop3},
                    ProtocolCase{"Later", "Protocol=2\r\n", kUnknownProtocol, std::nullopt},
                    ProtocolCase{"Negative", "Protocol=-1\r\n", kUnknownProtocol, std::nullopt},
                    ProtocolCase{"Word", "Protocol=imap\r\n", kUnknownProtocol, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImapKeysTest, AFileWithoutThemReadsAsTodayAndGainsNoLine) {
  const std::string before = "[MailBox1]\r\nName=Work\r\nUIDL=abc\r\nLastMail=1\r\n";
  File() = before;
  const MailboxRecord record = Load(1);
  EXPECT_EQ(record.Protocol, 0);
  EXPECT_EQ(record.Folder, "");
  EXPECT_EQ(record.ImapUidValidity, 0u);
  EXPECT_EQ(record.ImapLastUid, 0u);
  EXPECT_EQ(record.Push, kTrue);
  EXPECT_EQ(record.MarkReadOnAck, kFalse);
  store.SaveMailbox(record, 1);
  for (const char* key :
       {"Protocol", "Folder", "ImapUidValidity", "ImapLastUid", "Push", "MarkReadOnAck"}) {
    EXPECT_EQ(Key(key), std::nullopt) << key;
  }
}

TEST_F(ImapKeysTest, ChangedValuesAreWrittenAndReadBack) {
  File() = "[MailBox1]\r\nName=Work\r\n";
  MailboxRecord record = Load(1);
  record.Protocol = 1;
  record.Folder = "Archiv/B\xC3\xBCro";
  record.Push = kFalse;
  record.MarkReadOnAck = kTrue;
  store.SaveMailbox(record, 1);
  const MailboxRecord back = Load(1);
  EXPECT_EQ(back.Protocol, 1);
  EXPECT_EQ(back.Folder, "Archiv/B\xC3\xBCro");
  EXPECT_EQ(back.Push, kFalse);
  EXPECT_EQ(back.MarkReadOnAck, kTrue);
  // Back to the defaults: the lines stay, now saying so, rather than vanishing.
  record = back;
  record.Protocol = 0;
  record.Folder.clear();
  record.Push = kTrue;
  record.MarkReadOnAck = kFalse;
  store.SaveMailbox(record, 1);
  EXPECT_EQ(Key("Protocol"), "0");
  EXPECT_EQ(Key("Folder"), "");
  EXPECT_EQ(Key("Push"), "1");
  EXPECT_EQ(Key("MarkReadOnAck"), "0");
}

TEST_F(ImapKeysTest, TheAcknowledgedPointIsSavedOnItsOwnAndNeverByTheDialogSave) {
  File() = "[MailBox1]\r\nName=Work\r\nProtocol=1\r\nLastMail=1\r\n";
  MailboxRecord record = Load(1);
  store.SaveImapPoint(1, 4000000000u, 17);
  EXPECT_EQ(Key("ImapUidValidity"), "4000000000");
  EXPECT_EQ(Key("ImapLastUid"), "17");
  // A record loaded before the acknowledgement is saved later: the point stays the newer one.
  store.SaveMailbox(record, 1);
  const MailboxRecord back = Load(1);
  EXPECT_EQ(back.ImapUidValidity, 4000000000u);
  EXPECT_EQ(back.ImapLastUid, 17u);
  EXPECT_EQ(Key("LastMail"), "1") << "kept as read although IMAP does not use it";
}

// A section without RemotePort: IMAP's usual port for its security, POP3's 110 as it always was.
TEST_F(ImapKeysTest, AMissingPortIsTheProtocolsUsualOne) {
  struct Row {
    const char* lines;
    int32_t port;
  };
  const Row rows[] = {{"Protocol=1\r\n", 143},
                      {"Protocol=1\r\nSecurity=2\r\n", 143},
                      {"Protocol=1\r\nSecurity=1\r\n", 993},
                      {"Protocol=1\r\nSecurity=9\r\n", 110},
                      {"Security=1\r\n", 110},
                      {"Protocol=1\r\nSecurity=1\r\nRemotePort=1993\r\n", 1993}};
  for (const Row& row : rows) {
    File() = std::string("[MailBox1]\r\n") + row.lines;
    EXPECT_EQ(Load(1).RemotePort, row.port) << row.lines;
  }
}

TEST_F(ImapKeysTest, AFolderTypedInTheLegacyCodePageIsReadAsText) {
  File() = "[MailBox1]\r\nFolder=B\xFCro\r\n";
  EXPECT_EQ(Load(1).Folder, "B\xC3\xBCro");
}

struct UidCase {
  const char* text;
  uint32_t value;
};

class ReadUidTest : public testing::TestWithParam<UidCase> {};

TEST_P(ReadUidTest, TakesOnlyWhole32BitDecimals) {
  EXPECT_EQ(ReadUid(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadUidTest,
                         testing::Values(UidCase{"", 0}, UidCase{"17", 17}, UidCase{" 17\t", 17},
                                         UidCase{"4294967295", 4294967295u},
                                         UidCase{"4294967296", 0}, UidCase{"-1", 0},
                                         UidCase{"+5", 0}, UidCase{"12abc", 0}, UidCase{"1 2", 0},
                                         UidCase{"0x10", 0}, UidCase{"99999999999999999999", 0}));

TEST(UsualPortTest, EachProtocolAndSecurityHasItsPort) {
  EXPECT_EQ(UsualPort(MailProtocol::Pop3, SecurityMode::None), 110);
  EXPECT_EQ(UsualPort(MailProtocol::Pop3, SecurityMode::StartTls), 110);
  EXPECT_EQ(UsualPort(MailProtocol::Pop3, SecurityMode::Tls), 995);
  EXPECT_EQ(UsualPort(MailProtocol::Imap, SecurityMode::None), 143);
  EXPECT_EQ(UsualPort(MailProtocol::Imap, SecurityMode::StartTls), 143);
  EXPECT_EQ(UsualPort(MailProtocol::Imap, SecurityMode::Tls), 993);
}

}  // namespace
}  // namespace postvane
