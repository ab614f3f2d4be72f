// Loading and saving mailboxes and the general section through the settings file.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>

#include "check/connection_security.h"
#include "fakes/fake_file_system.h"
#include "fakes/temp_folder.h"
#include "fakes/utf16_bytes.h"
#include "settings/ini_file.h"
#include "settings/std_file_system.h"
#include "text/text_encoding.h"

namespace postvane {
namespace {

using std::string_literals::operator""s;

const std::string kIni = "/prog/Postvane.ini";
const std::string kSound = "/prog/NewMail.wav";

class SettingsStoreTest : public ::testing::Test {
 protected:
  MailboxRecord Load(int16_t index) {
    MailboxRecord record;
    store.LoadMailbox(record, index);
    return record;
  }
  GeneralSettings LoadGeneral() {
    GeneralSettings general;
    store.LoadGeneral(general);
    return general;
  }
  std::string& File() { return files.Files[kIni]; }

  FakeFileSystem files;
  SettingsStore store{files, kIni, kSound};
};

MailboxRecord SampleMailbox() {
  MailboxRecord record;
  record.Name = "Home";
  record.User = "alice";
  record.Password = "secret";
  record.RemoteHost = "pop.example.org";
  record.RemotePort = 995;
  record.Enabled = kTrue;
  record.LastMail = kFalse;
  return record;
}

// ReadNumber and its rounding.

struct NumberCase {
  const char* name;
  std::string text;
  double number;
};

class ReadNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumberTest, ReadsTheLeadingNumber) {
  EXPECT_DOUBLE_EQ(ReadNumber(GetParam().text), GetParam().number) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadNumberTest,
    ::testing::Values(
        NumberCase{"Empty", "", 0}, NumberCase{"Word", "abc", 0}, NumberCase{"Plain", "110", 110},
        NumberCase{"InnerBlank", "1 0", 10}, NumberCase{"TabAndFeed", "\t1\n2 3", 123},
        NumberCase{"TrailingWord", "7 days", 7}, NumberCase{"Negative", "-12", -12},
        NumberCase{"Plus", "+4", 4}, NumberCase{"BlankAfterSign", "- 5", -5},
        NumberCase{"Fraction", "2.5", 2.5}, NumberCase{"LeadingPoint", ".5", 0.5},
        NumberCase{"PointOnly", ".", 0}, NumberCase{"SignOnly", "-", 0},
        NumberCase{"Exponent", "1.5e3", 1500}, NumberCase{"NegativeExponent", "25E-1", 2.5},
        NumberCase{"ExponentWithoutDigits", "5e", 5},
        NumberCase{"ExponentSignWithoutDigits", "5e+x", 5}, NumberCase{"StopsAtComma", "3,7", 3},
        NumberCase{"StopsAtNul",
                   "4\0"
                   "5"s,
                   4},
        NumberCase{"StopsAtCarriageReturn", "4\r5", 4}, NumberCase{"HexIsNotRead", "0x10", 0},
        NumberCase{"Underflow", "1e-400", 0}),
    [](const ::testing::TestParamInfo<NumberCase>& info) { return info.param.name; });

TEST(ReadNumberOverflowTest, HugeValuesAreInfiniteNotUndefined) {
  EXPECT_TRUE(std::isinf(ReadNumber("1e400")));
  EXPECT_TRUE(std::isinf(ReadNumber(std::string(400, '9'))));
  EXPECT_LT(ReadNumber("-1e99999999999999999999"), 0);
  EXPECT_TRUE(std::isinf(ReadNumber("-1e99999999999999999999")));
  EXPECT_EQ(ReadNumber("0.000e99999"), 0);
}

TEST(ReadIntTest, RoundsHalfToEven) {
  EXPECT_EQ(ReadInt16("2.5"), 2);
  EXPECT_EQ(ReadInt16("3.5"), 4);
  EXPECT_EQ(ReadInt16("-2.5"), -2);
  EXPECT_EQ(ReadInt16("-3.5"), -4);
  EXPECT_EQ(ReadInt16("2.6"), 3);
  EXPECT_EQ(ReadInt16("2.4999"), 2);
  EXPECT_EQ(ReadInt16("0.5"), 0);
  EXPECT_EQ(ReadInt32("109.5"), 110);
}

TEST(ReadIntTest, ClampsIntoTheFieldRange) {
  EXPECT_EQ(ReadInt16("40000"), 32767);
  EXPECT_EQ(ReadInt16("-40000"), -32768);
  EXPECT_EQ(ReadInt16("1e400"), 32767);
  EXPECT_EQ(ReadInt16("-1e400"), -32768);
  EXPECT_EQ(ReadInt16("32767.4"), 32767);
  EXPECT_EQ(ReadInt32("99999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ReadInt32("-99999999999"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ReadInt32(std::string(300, '9')), std::numeric_limits<int32_t>::max());
}

// The password transform.

TEST(TransformPasswordTest, ReversesAndMapsTo256Minus) {
  EXPECT_EQ(TransformPassword("ab"), "\x9E\x9F");  // 256-'b', 256-'a'
  EXPECT_EQ(TransformPassword(""), "");
  EXPECT_EQ(TransformPassword("\x80"), "\x80");
  EXPECT_EQ(TransformPassword("\x01\xFF"), "\x01\xFF");
  EXPECT_EQ(TransformPassword("a\0"s), "\0\x9F"s);
}

TEST(TransformPasswordTest, IsItsOwnInverse) {
  std::string all;
  for (int code = 0; code < 256; ++code) all.push_back(static_cast<char>(code));
  EXPECT_EQ(TransformPassword(TransformPassword(all)), all);
}

// Loading.

TEST_F(SettingsStoreTest, NoFileGivesEveryDefault) {
  for (int16_t index = 0; index < kUserMailboxes; ++index) {
    MailboxRecord record;
    record.RemotePort = 1;
    record.Enabled = kTrue;
    record.LastMail = kTrue;
    record.Name = record.User = record.Password = record.RemoteHost = record.UIDL = "stale";
    store.LoadMailbox(record, index);
    EXPECT_EQ(record.Name, "");
    EXPECT_EQ(record.User, "");
    EXPECT_EQ(record.Password, "");
    EXPECT_EQ(record.RemoteHost, "");
    EXPECT_EQ(record.UIDL, "");
    EXPECT_EQ(record.RemotePort, 110);
    EXPECT_EQ(record.Enabled, kFalse);
    EXPECT_EQ(record.LastMail, kFalse);
  }
  GeneralSettings general;
  general.Interval = 99;
  general.NotifyType = 7;
  general.TrayType = 0;
  general.DoubleClick = 2;
  general.MailProgram = general.MDaemonPath = "stale";
  general.MDaemonActivate = 1;
  general.ReceiveLog = general.ReplaySound = kTrue;
  store.LoadGeneral(general);
  EXPECT_EQ(general.Interval, 5);
  EXPECT_EQ(general.NotifyType, 1);
  EXPECT_EQ(general.TrayType, 1);
  EXPECT_EQ(general.DoubleClick, 0);
  EXPECT_EQ(general.MailProgram, "");
  EXPECT_EQ(general.SoundFile, kSound);
  EXPECT_EQ(general.MDaemonPath, "");
  EXPECT_EQ(general.MDaemonActivate, 0);
  EXPECT_EQ(general.ReceiveLog, kFalse);
  EXPECT_EQ(general.ReplaySound, kFalse);
  EXPECT_EQ(files.ReplaceCount + files.WriteCount + files.AppendCount, 0);
  EXPECT_FALSE(files.Exists(kIni));
}

TEST_F(SettingsStoreTest, LoadsEveryMailboxKey) {
  File() = "[MailBox2]\r\nName=Work\r\nUser=bob\r\nPassword=" + TransformPassword("pw") +
           "\r\nRemoteHost=mail.example.org\r\nRemotePort=1110\r\nEnabled=1\r\nLastMail=1\r\n"
           "UIDL=abc123\r\n";
  const MailboxRecord record = Load(2);
  EXPECT_EQ(record.Name, "Work");
  EXPECT_EQ(record.User, "bob");
  EXPECT_EQ(record.Password, "pw");
  EXPECT_EQ(record.RemoteHost, "mail.example.org");
  EXPECT_EQ(record.RemotePort, 1110);
  EXPECT_EQ(record.Enabled, kTrue);
  EXPECT_EQ(record.LastMail, kTrue);
  EXPECT_EQ(record.UIDL, "abc123");
  EXPECT_EQ(files.ReadCount, 1);
}

TEST_F(SettingsStoreTest, LoadTouchesNoRunTimeField) {
  MailboxRecord record;
  record.NewestUidl = "n";
  record.MessageCount = 4;
  record.NewCount = 3;
  record.LastAccessed = 2;
  record.State = MailboxState::QuitSent;
  record.StatusText = "status";
  record.Headers.resize(4);
  record.Headers[1].Subject = "hello";
  store.LoadMailbox(record, 0);
  EXPECT_EQ(record.NewestUidl, "n");
  EXPECT_EQ(record.MessageCount, 4);
  EXPECT_EQ(record.NewCount, 3);
  EXPECT_EQ(record.LastAccessed, 2);
  EXPECT_EQ(record.State, MailboxState::QuitSent);
  EXPECT_EQ(record.StatusText, "status");
  ASSERT_EQ(record.Headers.size(), 4u);
  EXPECT_EQ(record.Headers[1].Subject, "hello");
}

TEST_F(SettingsStoreTest, LoadsGeneralKeys) {
  File() =
      "[General]\nInterval=15\nNotifyType=6\nTrayType=0\nDoubleClick=2\n"
      "MailProgram=C:\\Mail\\mail.exe /check\nSoundFile=D:\\ding.wav\nMDaemonPath=C:\\MD\n"
      "MDaemonActivate=1\nReceiveLog=1\nReplaySound=-1\n";
  const GeneralSettings general = LoadGeneral();
  EXPECT_EQ(general.Interval, 15);
  EXPECT_EQ(general.NotifyType, 6);
  EXPECT_EQ(general.TrayType, 0);
  EXPECT_EQ(general.DoubleClick, 2);
  EXPECT_EQ(general.MailProgram, "C:\\Mail\\mail.exe /check");
  EXPECT_EQ(general.SoundFile, "D:\\ding.wav");
  EXPECT_EQ(general.MDaemonPath, "C:\\MD");
  EXPECT_EQ(general.MDaemonActivate, 1);
  EXPECT_EQ(general.ReceiveLog, kTrue);
  EXPECT_EQ(general.ReplaySound, kTrue);
}

struct IntervalCase {
  const char* name;
  std::string value;
  int16_t interval;
};

class IntervalTest : public SettingsStoreTest,
                     public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(IntervalTest, ReadsTheValue) {
  File() = "[General]\r\nInterval=" + GetParam().value + "\r\n";
  EXPECT_EQ(LoadGeneral().Interval, GetParam().interval);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntervalTest,
    ::testing::Values(
        IntervalCase{"DigitBlankDigit", "1 0", 10}, IntervalCase{"DigitAndWord", "7 days", 7},
        IntervalCase{"HalfToEvenDown", "2.5", 2}, IntervalCase{"HalfToEvenUp", "3.5", 4},
        IntervalCase{"Empty", "", 0}, IntervalCase{"Word", "often", 0},
        IntervalCase{"TooLarge", "99999", 32767}, IntervalCase{"Huge", "1e999", 32767},
        IntervalCase{"TooSmall", "-99999", -32768}, IntervalCase{"Quoted", "\"12\"", 12}),
    [](const ::testing::TestParamInfo<IntervalCase>& info) { return info.param.name; });

TEST_F(SettingsStoreTest, EmptyPortIsZeroNotTheDefault) {
  File() = "[MailBox0]\nRemotePort=\n";
  EXPECT_EQ(Load(0).RemotePort, 0);
}

TEST_F(SettingsStoreTest, PortOutOfRangeIsClamped) {
  File() = "[MailBox0]\nRemotePort=1e30\n[MailBox1]\nRemotePort=-1e30\n";
  EXPECT_EQ(Load(0).RemotePort, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Load(1).RemotePort, std::numeric_limits<int32_t>::min());
}

TEST_F(SettingsStoreTest, NonZeroIsTrueAndIsWrittenBackAsOne) {
  File() = "[MailBox0]\r\nEnabled=5\r\nLastMail=0.1\r\n";
  MailboxRecord record = Load(0);
  EXPECT_EQ(record.Enabled, kTrue);
  EXPECT_EQ(record.LastMail, kTrue);
  store.SaveMailbox(record, 0);
  const std::string& file = File();
  EXPECT_NE(file.find("Enabled=1\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("LastMail=1\r\n"), std::string::npos) << file;
  EXPECT_EQ(file.find("Enabled=5"), std::string::npos);
}

TEST_F(SettingsStoreTest, LongNameIsCutTo255Characters) {
  File() = "[MailBox0]\nName=" + std::string(300, 'n') + "\n";
  EXPECT_EQ(Load(0).Name, std::string(255, 'n'));
}

TEST_F(SettingsStoreTest, LongUtf8NameIsCutBetweenCharacters) {
  std::string name;
  for (int i = 0; i < 300; ++i) name += "\xC3\xA4";
  File() = "[MailBox0]\nName=" + name + "\n";
  EXPECT_EQ(Load(0).Name, name.substr(0, 510));
}

TEST_F(SettingsStoreTest, LongPasswordIsCutToItsLast255Bytes) {
  std::string password;
  for (int i = 0; i < 300; ++i) password.push_back(static_cast<char>('a' + i % 26));
  MailboxRecord record = SampleMailbox();
  record.Password = password;
  store.SaveMailbox(record, 0);
  // The stored form is reversed, so the 255 bytes kept are the password's last 255.
  EXPECT_EQ(Load(0).Password, password.substr(300 - 255));
}

TEST_F(SettingsStoreTest, NamesAreMatchedWithoutRegardToCase) {
  File() = "[mailbox0]\nNAME=Home\nremoteport=25\n[GENERAL]\ninterval=9\n";
  EXPECT_EQ(Load(0).Name, "Home");
  EXPECT_EQ(Load(0).RemotePort, 25);
  EXPECT_EQ(LoadGeneral().Interval, 9);
}

TEST_F(SettingsStoreTest, QuotedValuesLoseTheirQuotes) {
  File() = "[MailBox0]\nName=\"  My Box  \"\nRemoteHost=\"pop.example.org\"\n";
  EXPECT_EQ(Load(0).Name, "  My Box  ");
  EXPECT_EQ(Load(0).RemoteHost, "pop.example.org");
}

TEST_F(SettingsStoreTest, FirstOfDuplicatesWins) {
  File() = "[MailBox0]\nName=first\nName=second\n[MailBox0]\nUser=ignored\n";
  const MailboxRecord record = Load(0);
  EXPECT_EQ(record.Name, "first");
  EXPECT_EQ(record.User, "");
}

TEST_F(SettingsStoreTest, Windows1252FileReadsAsUtf8) {
  File() =
      "[MailBox0]\r\nName=Postf\xE4"
      "cher\r\nPassword=" +
      TransformPassword("P\xE4ss") + "\r\n";
  const MailboxRecord record = Load(0);
  EXPECT_EQ(record.Name,
            "Postf\xC3\xA4"
            "cher");
  EXPECT_EQ(record.Password, "P\xC3\xA4ss");
}

TEST_F(SettingsStoreTest, Utf8NameAndPasswordRoundTrip) {
  MailboxRecord record = SampleMailbox();
  record.Name =
      "Postf\xC3\xA4"
      "cher \xE2\x82\xAC \xF0\x9F\x93\xAC";
  record.User = "j\xC3\xBCrgen";
  record.Password = "\xC3\x9F\xC3\xA9\xC3\xA0-\xE0\xB8\x81\xE0\xB8\x82";
  store.SaveMailbox(record, 4);
  const MailboxRecord loaded = Load(4);
  EXPECT_EQ(loaded.Name, record.Name);
  EXPECT_EQ(loaded.User, record.User);
  EXPECT_EQ(loaded.Password, record.Password);
}

TEST_F(SettingsStoreTest, PasswordsThatStartOrEndWithBlanksRoundTrip) {
  // A leading U+0E01 stores a trailing 256 - 0xE0 = blank; a leading U+0780 a trailing quote.
  // (A character of planes 12 to 15 would store a CR, which ends the line: it cannot be kept.)
  for (const std::string password :
       {"\xE0\xB8\x81"
        "abc",
        " spaced ", "\xDE\x80x\xDE\x80", "\xF0\xA0\x80\x80", "\"q\""}) {
    MailboxRecord record = SampleMailbox();
    record.Password = password;
    store.SaveMailbox(record, 0);
    EXPECT_EQ(Load(0).Password, password);
  }
}

TEST_F(SettingsStoreTest, PasswordIsStoredReversedAs256MinusEachCode) {
  MailboxRecord record = SampleMailbox();
  record.Password = "Ab1";
  store.SaveMailbox(record, 0);
  const std::string expected = {static_cast<char>(256 - '1'), static_cast<char>(256 - 'b'),
                                static_cast<char>(256 - 'A')};
  EXPECT_NE(File().find("\r\nPassword=" + expected + "\r\n"), std::string::npos);
  EXPECT_EQ(File().find("Ab1"), std::string::npos);
}

TEST_F(SettingsStoreTest, EmptyPasswordIsStoredEmpty) {
  MailboxRecord record = SampleMailbox();
  record.Password = "";
  store.SaveMailbox(record, 0);
  EXPECT_NE(File().find("\r\nPassword=\r\n"), std::string::npos);
  EXPECT_EQ(Load(0).Password, "");
}

// Saving.

TEST_F(SettingsStoreTest, FileFromNothingListsKeysInSaveOrder) {
  MailboxRecord record = SampleMailbox();
  store.SaveMailbox(record, 0);
  store.SaveUidl(0, "uid-7");
  GeneralSettings general;
  general.Interval = 10;
  general.NotifyType = 3;
  general.TrayType = 0;
  general.DoubleClick = 1;
  general.MailProgram = "mail";
  general.SoundFile = "ding.wav";
  general.MDaemonPath = "md";
  general.MDaemonActivate = 1;
  general.ReceiveLog = kTrue;  // never written
  general.ReplaySound = kTrue;
  store.SaveGeneral(general);
  EXPECT_EQ(File(),
            "[MailBox0]\r\nName=Home\r\nUser=alice\r\nPassword=" + TransformPassword("secret") +
                "\r\nRemoteHost=pop.example.org\r\nRemotePort=995\r\nEnabled=1\r\n"
                "LastMail=0\r\nUIDL=uid-7\r\n"
                "[General]\r\nInterval=10\r\nNotifyType=3\r\nTrayType=0\r\n"
                "DoubleClick=1\r\nMailProgram=mail\r\nSoundFile=ding.wav\r\n"
                "MDaemonPath=md\r\nMDaemonActivate=1\r\nReplaySound=1\r\n");
  EXPECT_TRUE(store.LastWriteSucceeded());
}

TEST_F(SettingsStoreTest, SectionsAppearInCreationOrder) {
  store.SaveMailbox(SampleMailbox(), 0);
  store.SaveMailbox(SampleMailbox(), 3);
  store.SaveGeneral(GeneralSettings{});
  const std::string& file = File();
  const auto box0 = file.find("[MailBox0]");
  const auto box3 = file.find("[MailBox3]");
  const auto general = file.find("[General]");
  ASSERT_NE(box0, std::string::npos);
  ASSERT_NE(box3, std::string::npos);
  ASSERT_NE(general, std::string::npos);
  EXPECT_LT(box0, box3);
  EXPECT_LT(box3, general);
}

TEST_F(SettingsStoreTest, EachOperationReadsOnceAndWritesOnce) {
  store.SaveMailbox(SampleMailbox(), 1);
  EXPECT_EQ(files.ReadCount, 1);
  EXPECT_EQ(files.ReplaceCount, 1);
  store.SaveGeneral(GeneralSettings{});
  EXPECT_EQ(files.ReadCount, 2);
  EXPECT_EQ(files.ReplaceCount, 2);
  store.SaveUidl(1, "u");
  EXPECT_EQ(files.ReadCount, 3);
  EXPECT_EQ(files.ReplaceCount, 3);
  Load(1);
  LoadGeneral();
  EXPECT_EQ(files.ReadCount, 5);
  EXPECT_EQ(files.ReplaceCount, 3);
  EXPECT_EQ(files.WriteCount + files.AppendCount, 0);
}

TEST_F(SettingsStoreTest, SaveMailboxLeavesTheUidlLineAlone) {
  File() = "[MailBox0]\r\nUIDL = \"old-uid\" \r\nName=x\r\n";
  MailboxRecord record = SampleMailbox();
  record.UIDL = "changed-in-memory";
  store.SaveMailbox(record, 0);
  EXPECT_NE(File().find("\r\nUIDL = \"old-uid\" \r\n"), std::string::npos) << File();
  EXPECT_EQ(File().find("changed-in-memory"), std::string::npos);
}

TEST_F(SettingsStoreTest, UnknownSecurityTextIsKeptThroughASave) {
  for (const std::string raw : {"3", "-1", "tls", "ssl", "0x1", "01"}) {
    SCOPED_TRACE(raw);
    File() = "[MailBox0]\r\nName=x\r\nSecurity=" + raw + "\r\n";
    MailboxRecord record = Load(0);
    EXPECT_FALSE(EffectiveSecurity(record.Security).has_value());
    record.Name = "renamed";
    store.SaveMailbox(record, 0);
    EXPECT_EQ(IniFile(File()).Read("MailBox0", "Security"), raw) << File();
    EXPECT_EQ(IniFile(File()).Read("MailBox0", "Name"), "renamed");
    // A choice made in the dialog replaces it.
    record.Security = 2;
    store.SaveMailbox(record, 0);
    EXPECT_EQ(IniFile(File()).Read("MailBox0", "Security"), "2");
  }
}

TEST_F(SettingsStoreTest, SaveUidlChangesOnlyThatLine) {
  store.SaveMailbox(SampleMailbox(), 0);
  store.SaveUidl(0, "first");
  const std::string before = File();
  store.SaveUidl(0, "second");
  std::string expected = before;
  expected.replace(expected.find("UIDL=first"), 10, "UIDL=second");
  EXPECT_EQ(File(), expected);
}

TEST_F(SettingsStoreTest, SaveUidlDoesNotTouchTheRecord) {
  store.SaveUidl(5, "u-1");
  EXPECT_EQ(File(), "[MailBox5]\r\nUIDL=u-1\r\n");
  EXPECT_EQ(Load(5).UIDL, "u-1");
}

TEST_F(SettingsStoreTest, HandAddedReceiveLogSurvivesSaves) {
  File() = "[General]\r\nReceiveLog=1\r\n";
  GeneralSettings general = LoadGeneral();
  EXPECT_EQ(general.ReceiveLog, kTrue);
  general.ReceiveLog = kFalse;
  store.SaveGeneral(general);
  store.SaveGeneral(general);
  EXPECT_NE(File().find("\r\nReceiveLog=1\r\n"), std::string::npos);
  EXPECT_EQ(LoadGeneral().ReceiveLog, kTrue);
}

TEST_F(SettingsStoreTest, NeverWritesReceiveLogItself) {
  GeneralSettings general;
  general.ReceiveLog = kTrue;
  store.SaveGeneral(general);
  EXPECT_EQ(File().find("ReceiveLog"), std::string::npos);
}

TEST_F(SettingsStoreTest, OtherSectionsAndUnknownKeysStay) {
  const std::string prefix =
      "; hand notes\r\n[MailBox10]\r\nName=ten\r\n[MailBox0]\r\nColour=blue\r\n";
  File() = prefix + "Name=old\r\n[Other]\r\nKey=1\r\n";
  store.SaveMailbox(SampleMailbox(), 0);
  const std::string& file = File();
  EXPECT_EQ(file.substr(0, prefix.size()), prefix);
  EXPECT_NE(file.find("\r\nName=Home\r\n"), std::string::npos);
  EXPECT_NE(file.find("[Other]\r\nKey=1\r\n"), std::string::npos);
  MailboxRecord ten;
  store.LoadMailbox(ten, 10);
  EXPECT_EQ(ten.Name, "ten");  // readable, but start-up never asks for it
}

TEST_F(SettingsStoreTest, LineFeedFileStaysLineFeed) {
  File() = "[General]\nInterval=3\n";
  store.SaveGeneral(GeneralSettings{});
  EXPECT_EQ(File().find('\r'), std::string::npos);
  EXPECT_EQ(File().substr(0, 22), "[General]\nInterval=5\nN");
}

TEST_F(SettingsStoreTest, NegativeNumbersAreWrittenWithMinus) {
  MailboxRecord record = SampleMailbox();
  record.RemotePort = -5;
  store.SaveMailbox(record, 0);
  GeneralSettings general;
  general.Interval = -32768;
  store.SaveGeneral(general);
  EXPECT_NE(File().find("\r\nRemotePort=-5\r\n"), std::string::npos);
  EXPECT_NE(File().find("\r\nInterval=-32768\r\n"), std::string::npos);
  EXPECT_EQ(Load(0).RemotePort, -5);
  EXPECT_EQ(LoadGeneral().Interval, -32768);
}

TEST_F(SettingsStoreTest, GeneralRoundTrip) {
  GeneralSettings general;
  general.Interval = 30;
  general.NotifyType = 7;
  general.TrayType = 0;
  general.DoubleClick = 2;
  general.MailProgram = "\"C:\\Program Files\\Mail\\mail.exe\" /new";
  general.SoundFile = "C:\\T\xC3\xB6ne\\ding.wav";
  general.MDaemonPath = "C:\\MDaemon";
  general.MDaemonActivate = 1;
  general.ReplaySound = kTrue;
  store.SaveGeneral(general);
  const GeneralSettings loaded = LoadGeneral();
  EXPECT_EQ(loaded.Interval, 30);
  EXPECT_EQ(loaded.NotifyType, 7);
  EXPECT_EQ(loaded.TrayType, 0);
  EXPECT_EQ(loaded.DoubleClick, 2);
  EXPECT_EQ(loaded.MailProgram, general.MailProgram);
  EXPECT_EQ(loaded.SoundFile, general.SoundFile);
  EXPECT_EQ(loaded.MDaemonPath, general.MDaemonPath);
  EXPECT_EQ(loaded.MDaemonActivate, 1);
  EXPECT_EQ(loaded.ReplaySound, kTrue);
}

TEST_F(SettingsStoreTest, GarbageFileGivesDefaultsWithoutCrashing) {
  std::string junk;
  unsigned state = 99;
  for (int i = 0; i < 1 << 20; ++i) {
    state = state * 1664525u + 1013904223u;
    junk.push_back(static_cast<char>(state >> 24));
  }
  junk += "\0\0\0[MailBox0]\0\r\n"s + std::string(1 << 20, 'L') + "\n";
  File() = junk;
  const MailboxRecord record = Load(0);
  EXPECT_EQ(record.RemotePort, 110);
  EXPECT_EQ(record.Name, "");
  EXPECT_EQ(LoadGeneral().Interval, 5);
  store.SaveUidl(0, "u");
  EXPECT_EQ(File().substr(0, junk.size()), junk);
  EXPECT_EQ(Load(0).UIDL, "u");
}

TEST_F(SettingsStoreTest, NulInValueEndsIt) {
  File() =
      "[MailBox0]\nName=Ho\0me\nRemotePort=99\0"
      "5\n"s;
  EXPECT_EQ(Load(0).Name, "Ho");
  EXPECT_EQ(Load(0).RemotePort, 99);
}

TEST_F(SettingsStoreTest, FailedWriteIsSilentAndKeepsTheOldFile) {
  File() = "[MailBox0]\r\nName=old\r\n";
  files.FailWrites = true;
  MailboxRecord record = SampleMailbox();
  store.SaveMailbox(record, 0);
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_EQ(File(), "[MailBox0]\r\nName=old\r\n");
  EXPECT_EQ(record.Name, "Home");
  files.FailWrites = false;
  store.SaveMailbox(record, 0);
  EXPECT_TRUE(store.LastWriteSucceeded());
}

TEST_F(SettingsStoreTest, UnreadableFileIsNotOverwritten) {
  files.Files[kIni] = "[MailBox0]\r\nName=keep\r\n";
  files.Unreadable.insert(kIni);
  store.SaveUidl(0, "u");
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_EQ(files.ReplaceCount, 0);
  EXPECT_EQ(files.Files[kIni], "[MailBox0]\r\nName=keep\r\n");
}

// With the real file system.

class SettingsStoreOnDiskTest : public ::testing::Test {
 protected:
  std::string ReadAll(const std::string& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TempFolder folder;
  StdFileSystem disk;
};

TEST_F(SettingsStoreOnDiskTest, SavesAndLoadsThroughAFile) {
  ASSERT_FALSE(folder.Path().empty());
  const std::string ini = folder.File("Postvane.ini");
  SettingsStore store(disk, ini, folder.File("NewMail.wav"));
  MailboxRecord record = SampleMailbox();
  record.Password = "p\xC3\xA4ss";
  store.SaveMailbox(record, 0);
  EXPECT_TRUE(store.LastWriteSucceeded());
  MailboxRecord loaded;
  SettingsStore(disk, ini, "").LoadMailbox(loaded, 0);
  EXPECT_EQ(loaded.Password, record.Password);
  EXPECT_EQ(loaded.RemotePort, 995);
  GeneralSettings general;
  store.LoadGeneral(general);
  EXPECT_EQ(general.SoundFile, folder.File("NewMail.wav"));
}

TEST_F(SettingsStoreOnDiskTest, MissingFolderFailsSilently) {
  const std::string ini = folder.File("missing/Postvane.ini");
  SettingsStore store(disk, ini, "");
  store.SaveGeneral(GeneralSettings{});
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
}

TEST_F(SettingsStoreOnDiskTest, ReadOnlyFileFailsSilentlyAndStaysIntact) {
  const std::string ini = folder.File("Postvane.ini");
  SettingsStore store(disk, ini, "");
  store.SaveUidl(0, "first");
  ASSERT_TRUE(store.LastWriteSucceeded());
  const std::string before = ReadAll(ini);
  std::filesystem::permissions(
      ini, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  MailboxRecord record = SampleMailbox();
  store.SaveMailbox(record, 0);
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_EQ(ReadAll(ini), before);
  EXPECT_EQ(record.Name, "Home");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

// Connection security keys.

struct SecurityKeyCase {
  const char* name;
  std::string line;  // empty: the key is absent
  int16_t stored;
  std::optional<SecurityMode> effective;  // nothing: the mailbox is not checked
};

class SecurityKeyTest : public SettingsStoreTest,
                        public ::testing::WithParamInterface<SecurityKeyCase> {};

TEST_P(SecurityKeyTest, ReadsTheCodeAndWritesItBackAsRead) {
  const SecurityKeyCase& c = GetParam();
  File() = "[MailBox1]\r\nName=Work\r\n" + c.line;
  MailboxRecord record = Load(1);
  EXPECT_EQ(record.Security, c.stored);
  EXPECT_EQ(EffectiveSecurity(record.Security), c.effective);
  store.SaveMailbox(record, 1);
  EXPECT_EQ(Load(1).Security, c.stored);
  if (c.line.empty()) {
    EXPECT_EQ(File().find("Security"), std::string::npos);
  } else if (!c.effective) {
    EXPECT_NE(File().find(c.line), std::string::npos) << "written back as read: " << File();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SecurityKeyTest,
    ::testing::Values(
        SecurityKeyCase{"Absent", "", 0, SecurityMode::None},
        SecurityKeyCase{"None", "Security=0\r\n", 0, SecurityMode::None},
        SecurityKeyCase{"Tls", "Security=1\r\n", 1, SecurityMode::Tls},
        SecurityKeyCase{"StartTls", "Security=2\r\n", 2, SecurityMode::StartTls},
        SecurityKeyCase{"Empty", "Security=\r\n", 0, SecurityMode::None},
        SecurityKeyCase{"Unknown", "Security=7\r\n", kUnknownSecurity, std::nullopt},
        SecurityKeyCase{"Negative", "Security=-1\r\n", kUnknownSecurity, std::nullopt},
        SecurityKeyCase{"NoNumber", "Security=tls\r\n", kUnknownSecurity, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, FingerprintIsKeptAsWrittenAndRoundTrips) {
  const std::string byHand = "ab:CD:" + std::string(60, 'e');
  File() = "[MailBox0]\r\nSecurity=1\r\nCertFingerprint=" + byHand + "\r\n";
  MailboxRecord record = Load(0);
  EXPECT_EQ(record.CertFingerprint, byHand);
  EXPECT_EQ(NormalizeFingerprint(record.CertFingerprint), "ABCD" + std::string(60, 'E'));
  store.SaveMailbox(record, 0);
  EXPECT_EQ(Load(0).CertFingerprint, byHand);
}

TEST_F(SettingsStoreTest, ClearingSecurityAndFingerprintOverwritesThem) {
  MailboxRecord record = SampleMailbox();
  record.Security = 2;
  record.CertFingerprint = std::string(64, 'A');
  store.SaveMailbox(record, 0);
  EXPECT_NE(File().find("Security=2\r\n"), std::string::npos);
  record.Security = 0;
  record.CertFingerprint.clear();
  store.SaveMailbox(record, 0);
  const MailboxRecord loaded = Load(0);
  EXPECT_EQ(loaded.Security, 0);
  EXPECT_EQ(loaded.CertFingerprint, "");
}

TEST_F(SettingsStoreOnDiskTest, ReadOnlyFolderFailsSilentlyAndKeepsTheOldFile) {
  const std::string ini = folder.File("Postvane.ini");
  SettingsStore store(disk, ini, "");
  store.SaveUidl(0, "first");
  ASSERT_TRUE(store.LastWriteSucceeded());
  const std::string before = ReadAll(ini);
  std::filesystem::permissions(
      folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  {
    // An administrator may write anywhere; the folder is read-only only for other users.
    std::ofstream probe(folder.Path() / "probe");
    if (probe) {
      probe.close();
      std::filesystem::remove(folder.Path() / "probe");
      GTEST_SKIP() << "the folder stays writable for this user";
    }
  }
  store.SaveUidl(0, "second");
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_EQ(ReadAll(ini), before);
}

// One writer at a time: every save holds the side-file lock from its read to its replace.

TEST_F(SettingsStoreTest, EverySaveReadsAndReplacesUnderTheLock) {
  store.SaveMailbox(SampleMailbox(), 0);
  store.SaveUidl(1, "u-1");
  store.SaveGeneral(GeneralSettings{});
  EXPECT_EQ(files.ReplacesWithoutLock, 0);
  EXPECT_EQ(files.ReplacesUnderLock, 3);
  EXPECT_EQ(files.ReadsUnderLock, 3);
  EXPECT_TRUE(files.HeldLocks.empty()) << "released after each save";
}

TEST_F(SettingsStoreTest, SaveWithoutTheLockWritesNothing) {
  File() = "[MailBox0]\r\nUIDL=old\r\n";
  files.FailLocks = true;
  store.SaveUidl(0, "new");
  EXPECT_FALSE(store.LastWriteSucceeded());
  EXPECT_EQ(files.ReplaceCount, 0);
  EXPECT_EQ(File(), "[MailBox0]\r\nUIDL=old\r\n");
}

// Another program saves between this store's loads and its save: both changes stay.
TEST_F(SettingsStoreTest, ChangesOfAnotherWriterAreKept) {
  store.SaveMailbox(SampleMailbox(), 0);
  SettingsStore other(files, kIni, kSound);
  other.SaveUidl(0, "acked-elsewhere");
  store.SaveUidl(1, "u-1");
  EXPECT_EQ(Load(0).UIDL, "acked-elsewhere");
  EXPECT_EQ(Load(0).Password, "secret");
  EXPECT_EQ(Load(1).UIDL, "u-1");
}

TEST_F(SettingsStoreTest, SavesRemoveLeftoverTemporariesUnderTheLock) {
  store.RemoveLeftovers();
  store.SaveUidl(0, "u");
  ASSERT_EQ(files.TemporaryCleanups.size(), 2u);
  EXPECT_EQ(files.TemporaryCleanups[0], kIni);
  files.FailLocks = true;
  store.RemoveLeftovers();
  EXPECT_EQ(files.TemporaryCleanups.size(), 2u) << "not without the lock";
}

TEST_F(SettingsStoreTest, LoadUidlsReadsEveryMailbox) {
  File() = "[MailBox3]\r\nUIDL=three\r\n[MailBox9]\r\nUIDL=nine\r\n";
  const auto uidls = store.LoadUidls();
  ASSERT_TRUE(uidls);
  for (int i = 0; i < kUserMailboxes; ++i) {
    const std::string expected = i == 3 ? "three" : (i == 9 ? "nine" : "");
    EXPECT_EQ((*uidls)[i], expected) << i;
  }
  files.Unreadable.insert(kIni);
  EXPECT_EQ(store.LoadUidls(), std::nullopt);
  files.Files.clear();
  EXPECT_EQ(store.LoadUidls(), std::nullopt);
}

TEST_F(SettingsStoreTest, HasMailboxSection) {
  struct Case {
    const char* content;
    bool hasMailbox;
  };
  for (const Case& c :
       {Case{"[General]\r\nInterval=5\r\n", false}, Case{"", false},
        Case{"[MailBox10]\r\nName=x\r\n", false}, Case{"\xEF\xBB\xBF[MailBox0]\r\n", true},
        Case{"[General]\rInterval=5\r[mailbox9]\r", true}}) {
    File() = c.content;
    EXPECT_EQ(store.HasMailboxSection(), c.hasMailbox) << c.content;
  }
  files.Files.clear();
  EXPECT_FALSE(store.HasMailboxSection());
}

// A file saved as "Unicode" by a Windows editor stays UTF-16, password and all.
TEST_F(SettingsStoreTest, Utf16FileKeepsItsEncodingThroughSaves) {
  File() = "\xFF\xFE"s +
           Utf16Bytes("[MailBox0]\r\nName=B\xC3\xBCro\r\nEnabled=1\r\n", false);
  EXPECT_EQ(Load(0).Name, "B\xC3\xBCro");
  MailboxRecord record = SampleMailbox();
  for (const std::string& password :
       {"secret"s, "p\xC3\xA4ss \xE2\x82\xAC"s, "\xF0\x9F\x94\x91"s}) {
    record.Password = password;
    store.SaveMailbox(record, 0);
    store.SaveUidl(0, "u-9");
    ASSERT_TRUE(File().starts_with("\xFF\xFE"));
    EXPECT_EQ(Load(0).Password, password);
    EXPECT_EQ(Load(0).UIDL, "u-9");
    EXPECT_EQ(File().find("secret"), std::string::npos);
  }
}

// Characters from U+C0000 to U+FFFFF start with the byte F3, which the stored form turns into a
// CR: the password used to lose everything before the last such character (a fuzz finding,
// fuzz/corpus/fuzz_settings/regression-password-line-end). Password and token come back whole,
// and their stored bytes hold no line end.
TEST_F(SettingsStoreTest, SecretsWithCharactersStoredAsLineEndsComeBack) {
  const std::string secrets[] = {
      "\x0C\x0C\x0C"
      "alice\xF3\x8C\x9B\x8E"s,                                             // the fuzz input's
      "\xF3\x80\x80\x80"s,                                                  // U+C0000, the first
      "\xF3\xBF\xBF\xBF x"s,                                                // U+FFFFF, the last
      "\xF0\x9F\x8F\xB4\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xBF"s,  // a flag with tags
      "\xF2\xBF\xBF\xBF\xF4\x80\x80\x80"s,  // neighbours, stored as before
  };
  for (const std::string& secret : secrets) {
    SCOPED_TRACE(testing::PrintToString(secret));
    MailboxRecord record = SampleMailbox();
    record.Password = secret;
    record.OAuthRefreshToken = secret;
    store.SaveMailbox(record, 1);
    const MailboxRecord loaded = Load(1);
    EXPECT_EQ(loaded.Password, secret);
    EXPECT_EQ(loaded.OAuthRefreshToken, secret);
    // Saved again unchanged, the file stays byte for byte the same.
    const std::string before = File();
    store.SaveMailbox(loaded, 1);
    EXPECT_EQ(File(), before);
    IniFile ini(File());
    for (const char* key : {"Password", "OAuthRefreshToken"}) {
      EXPECT_EQ(ini.Read("MailBox1", key)->find_first_of("\r\n"), std::string::npos) << key;
    }
  }
}

// Stored forms from older versions read as they always did, also when their Windows-1252
// bytes look like a spelled character.
TEST_F(SettingsStoreTest, OlderStoredSecretsReadAsBefore) {
  struct Case {
    std::string Stored;  // bytes before the transform
    std::string Text;
  };
  const Case cases[] = {
      {"\xF0\x9F\x94\x91", "\xF0\x9F\x94\x91"},  // UTF-8 stays UTF-8
      {"P\xE4ss", "P\xC3\xA4ss"},                // Windows-1252
      // A surrogate pair for U+C0000 as Windows-1252 text, next to a byte that is no UTF-8.
      {"\xED\xAB\x80\xED\xB0\x80\xE4",
       "\xC3\xAD\xC2\xAB\xE2\x82\xAC\xC3\xAD\xC2\xB0\xE2\x82\xAC\xC3\xA4"},
      // A pair for a character below U+C0000 is never written: its bytes stay Windows-1252.
      {"\xED\xA0\xBD\xED\xB4\x91", "\xC3\xAD\xC2\xA0\xC2\xBD\xC3\xAD\xC2\xB4\xE2\x80\x98"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Stored));
    File() = "[MailBox0]\r\nPassword=" + TransformPassword(c.Stored) +
             "\r\nOAuthRefreshToken=" + TransformPassword(c.Stored) + "\r\n";
    const MailboxRecord loaded = Load(0);
    EXPECT_EQ(loaded.Password, c.Text);
    EXPECT_EQ(loaded.OAuthRefreshToken, c.Text);
  }
}

// Every file form the reader accepts, with the saves the programs make one after another: a
// password, a name and a unique-id come back as they were saved. The passwords "d=" and "W="
// are stored as bytes that are also valid UTF-8 (C3 9C, C3 A9).
struct FileFormCase {
  const char* Name;
  std::string Start;
};

class SettingsFileFormTest : public SettingsStoreTest,
                             public ::testing::WithParamInterface<FileFormCase> {};

TEST_P(SettingsFileFormTest, ValuesComeBackAfterEverySave) {
  File() = GetParam().Start;
  // The last has a character whose first byte (F3) the transform makes a CR.
  const std::string passwords[] = {"d="s, "W="s, "p\xC3\xA4ss \xE2\x82\xAC"s, "\xF0\x9F\x94\x91"s,
                                   "pin\xF3\xA0\x81\xA7-\xF3\xB0\x80\x80"s};
  const std::string uidls[] = {"\xC3\xA9-1"s, "\xE9\xFF\x01"s, "000000016b166695"s};
  for (const std::string& password : passwords) {
    for (const std::string& uidl : uidls) {
      SCOPED_TRACE(testing::PrintToString(password) + " " + testing::PrintToString(uidl));
      MailboxRecord record = SampleMailbox();
      record.Password = password;
      record.Name = "\xC3\x83\xC2\xA9 Home";
      record.User = "\xC3\xA9l\xC3\xA8ve";
      store.SaveMailbox(record, 3);
      store.SaveUidl(3, uidl);
      store.SaveMailbox(SampleMailbox(), 4);
      GeneralSettings general = LoadGeneral();
      general.MailProgram = "/opt/\xC3\x83\xC2\xA9/mail";
      store.SaveGeneral(general);
      store.SaveUidl(4, "x");
      const MailboxRecord loaded = Load(3);
      EXPECT_EQ(loaded.Password, password);
      EXPECT_EQ(loaded.Name, record.Name);
      EXPECT_EQ(loaded.User, record.User);
      EXPECT_EQ(loaded.UIDL, uidl);
      EXPECT_EQ(LoadGeneral().MailProgram, general.MailProgram);
      EXPECT_TRUE(File().starts_with(GetParam().Start.substr(0, 2)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SettingsFileFormTest,
    ::testing::Values(
        FileFormCase{"None", ""}, FileFormCase{"Plain", "[General]\r\nInterval=5\r\n"},
        FileFormCase{"Utf8Mark", "\xEF\xBB\xBF[General]\r\nInterval=5\r\n"},
        FileFormCase{"Utf16Little", "\xFF\xFE"s + Utf16Bytes("[General]\r\nInterval=5\r\n", false)},
        FileFormCase{"Utf16Big", "\xFE\xFF"s + Utf16Bytes("[General]\r\nInterval=5\r\n", true)}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace postvane
