// The configuration dialog's rules: port and interval texts, what the controls show, what a
// mailbox switch and the closing store and save, in which order.
#include "ui/config_form.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "check/auth_method.h"
#include "check/mail_protocol.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_path_probe.h"
#include "settings/autostart_entry.h"
#include "settings/ini_file.h"

namespace postvane {
namespace {

constexpr char kIni[] = "/prog/Postvane.ini";

struct PortCase {
  const char* Text;
  std::optional<int32_t> Port;
};

class ParsePortTest : public testing::TestWithParam<PortCase> {};

TEST_P(ParsePortTest, ConvertsOnlyWholeIntegers) {
  EXPECT_EQ(ParsePort(GetParam().Text), GetParam().Port) << "text: \"" << GetParam().Text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParsePortTest,
    testing::Values(PortCase{"110", 110}, PortCase{" 995 ", 995}, PortCase{"\t143\t", 143},
                    PortCase{"-5", -5}, PortCase{"+7", 7}, PortCase{"0", 0},
                    PortCase{"2147483647", 2147483647}, PortCase{"-2147483648", INT32_MIN},
                    PortCase{"", std::nullopt}, PortCase{"   ", std::nullopt},
                    PortCase{"abc", std::nullopt}, PortCase{"1.5", std::nullopt},
                    PortCase{"12 3", std::nullopt}, PortCase{"0x10", std::nullopt},
                    PortCase{"-", std::nullopt}, PortCase{"2147483648", std::nullopt},
                    PortCase{"99999999999999999999999", std::nullopt},
                    PortCase{"110abc", std::nullopt}));

struct IntervalCase {
  const char* Text;
  int16_t Interval;
};

class ParseIntervalTest : public testing::TestWithParam<IntervalCase> {};

TEST_P(ParseIntervalTest, RoundsAndFallsBackOutsideTheRange) {
  EXPECT_EQ(ParseInterval(GetParam().Text), GetParam().Interval)
      << "text: \"" << GetParam().Text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseIntervalTest,
    testing::Values(IntervalCase{"0", 5}, IntervalCase{"1000", 5}, IntervalCase{"abc", 5},
                    IntervalCase{"", 5}, IntervalCase{"999", 999}, IntervalCase{"1", 1},
                    IntervalCase{"2.5", 2}, IntervalCase{"3.5", 4}, IntervalCase{"0.5", 5},
                    IntervalCase{"999.5", 5}, IntervalCase{"-3", 5}, IntervalCase{"1 0", 10},
                    IntervalCase{"7 minutes", 7}, IntervalCase{"99999999999", 5},
                    IntervalCase{"1e400", 5}, IntervalCase{"-1e400", 5}));

class ConfigFormTest : public testing::Test {
 protected:
  ConfigFormTest()
      : store_(files_, kIni, "/prog/NewMail.wav"), form_(mailboxes_, general_, store_) {
    for (int i = 0; i < kUserMailboxes; ++i) {
      MailboxRecord& record = mailboxes_[static_cast<std::size_t>(i)];
      record.Name = "Box " + std::to_string(i);
      record.User = "user" + std::to_string(i);
      record.Password = "pw" + std::to_string(i);
      record.RemoteHost = "host" + std::to_string(i) + ".invalid";
      record.RemotePort = 110 + i;
      record.Enabled = (i % 2 == 0) ? kTrue : kFalse;
      record.LastMail = kFalse;
    }
  }

  // Section names of the settings file, in file order.
  std::vector<std::string> Sections() const {
    std::vector<std::string> sections;
    auto it = files_.Files.find(kIni);
    if (it == files_.Files.end()) return sections;
    const std::string& text = it->second;
    std::size_t pos = 0;
    while ((pos = text.find('[', pos)) != std::string::npos) {
      const std::size_t end = text.find(']', pos);
      sections.push_back(text.substr(pos + 1, end - pos - 1));
      pos = end;
    }
    return sections;
  }

  std::optional<std::string> Key(const std::string& section, const std::string& key) const {
    auto it = files_.Files.find(kIni);
    if (it == files_.Files.end()) return std::nullopt;
    return IniFile(it->second).Read(section, key);
  }

  FakeFileSystem files_;
  MailboxTable mailboxes_{};
  GeneralSettings general_{};
  SettingsStore store_;
  ConfigForm form_;
};

TEST_F(ConfigFormTest, FirstSelectionShowsTheMailboxAndSavesNothing) {
  EXPECT_EQ(form_.ShownMailbox(), -1);
  const ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  EXPECT_EQ(form_.ShownMailbox(), 0);
  EXPECT_EQ(shown.Name, "Box 0");
  EXPECT_EQ(shown.User, "user0");
  EXPECT_EQ(shown.Password, "pw0");
  EXPECT_EQ(shown.RemoteHost, "host0.invalid");
  EXPECT_EQ(shown.RemotePort, "110");
  EXPECT_TRUE(shown.Enabled);
  EXPECT_FALSE(shown.LastMail);
  EXPECT_EQ(files_.ReplaceCount + files_.WriteCount, 0);
  EXPECT_TRUE(Sections().empty());
}

TEST_F(ConfigFormTest, SwitchSavesTheMailboxLeftBeforeShowingTheNextOne) {
  ConfigMailboxFields shown = form_.SelectMailbox(2, ConfigMailboxFields{});
  shown.Name = "Typed name";
  shown.Password = "typed secret";
  shown.RemotePort = " 995 ";
  shown.LastMail = true;
  const ConfigMailboxFields next = form_.SelectMailbox(5, shown);

  EXPECT_EQ(Sections(), std::vector<std::string>{"MailBox2"});
  EXPECT_EQ(Key("MailBox2", "Name"), "Typed name");
  EXPECT_EQ(Key("MailBox2", "Password"), TransformPassword("typed secret"));
  EXPECT_EQ(Key("MailBox2", "RemotePort"), "995");
  EXPECT_EQ(Key("MailBox2", "Enabled"), "1");
  EXPECT_EQ(Key("MailBox2", "LastMail"), "1");
  EXPECT_EQ(Key("MailBox2", "User"), "user2");
  EXPECT_EQ(Key("MailBox2", "RemoteHost"), "host2.invalid");
  EXPECT_EQ(Key("MailBox2", "UIDL"), std::nullopt);

  EXPECT_EQ(mailboxes_[2].Name, "Typed name");
  EXPECT_EQ(mailboxes_[2].Password, "typed secret");
  EXPECT_EQ(mailboxes_[2].RemotePort, 995);
  EXPECT_EQ(next.Name, "Box 5");
  EXPECT_EQ(form_.ShownMailbox(), 5);

  const ConfigMailboxFields back = form_.SelectMailbox(2, next);
  EXPECT_EQ(back.Name, "Typed name");
  EXPECT_EQ(back.RemotePort, "995");
  EXPECT_TRUE(back.LastMail);
  EXPECT_EQ(Sections(), (std::vector<std::string>{"MailBox2", "MailBox5"}));
}

TEST_F(ConfigFormTest, PortTextThatIsNoIntegerKeepsTheOldPort) {
  for (const char* text : {"", "abc", "1.5", "99999999999"}) {
    ConfigMailboxFields shown = form_.SelectMailbox(3, ConfigMailboxFields{});
    shown.RemotePort = text;
    form_.SelectMailbox(4, shown);
    EXPECT_EQ(mailboxes_[3].RemotePort, 113) << "text: \"" << text << "\"";
    EXPECT_EQ(Key("MailBox3", "RemotePort"), "113");
  }
}

TEST_F(ConfigFormTest, ClosingSavesTheShownMailboxThenTheGeneralSection) {
  ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  shown = form_.SelectMailbox(7, shown);
  files_.Files.clear();  // only what the closing writes

  shown.User = "seven";
  ConfigGeneralFields general = form_.LoadGeneral();
  general.Interval = "12";
  form_.SaveOnClose(shown, general);

  EXPECT_EQ(Sections(), (std::vector<std::string>{"MailBox7", "General"}));
  EXPECT_EQ(Key("MailBox7", "User"), "seven");
  EXPECT_EQ(Key("General", "Interval"), "12");
  EXPECT_EQ(general_.Interval, 12);
}

TEST_F(ConfigFormTest, NewFileListsTheVisitedMailboxesAndThenGeneral) {
  ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  shown = form_.SelectMailbox(3, shown);
  form_.SaveOnClose(shown, form_.LoadGeneral());
  EXPECT_EQ(Sections(), (std::vector<std::string>{"MailBox0", "MailBox3", "General"}));
  EXPECT_EQ(Key("General", "ReceiveLog"), std::nullopt);
}

TEST_F(ConfigFormTest, IntervalIsClampedWhenClosing) {
  const struct {
    const char* Text;
    int16_t Interval;
  } cases[] = {{"0", 5}, {"1000", 5}, {"abc", 5}, {"999", 999}, {"2.5", 2}};
  for (const auto& c : cases) {
    ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
    ConfigGeneralFields general = form_.LoadGeneral();
    general.Interval = c.Text;
    form_.SaveOnClose(shown, general);
    EXPECT_EQ(general_.Interval, c.Interval) << c.Text;
    EXPECT_EQ(Key("General", "Interval"), std::to_string(c.Interval)) << c.Text;
  }
}

TEST_F(ConfigFormTest, NotifyTypeSixShowsPopUpAndMailReaderOnly) {
  general_.NotifyType = 6;
  const ConfigGeneralFields fields = form_.LoadGeneral();
  EXPECT_FALSE(fields.PlaySound);
  EXPECT_TRUE(fields.PopUpWindow);
  EXPECT_TRUE(fields.RunMailReader);
  EXPECT_FALSE(ReplaySoundEnabled(fields.PlaySound));
}

TEST_F(ConfigFormTest, GeneralControlsGoBackIntoTheSettings) {
  general_.ReceiveLog = kTrue;
  ConfigGeneralFields fields;
  fields.Interval = "15";
  fields.DoubleClick = 2;
  fields.AdvancedTrayIcon = false;
  fields.PlaySound = true;
  fields.PopUpWindow = false;
  fields.RunMailReader = true;
  fields.ReplaySound = true;
  fields.MailProgram = "reader --inbox";
  fields.SoundFile = "/snd/ding.wav";
  fields.MDaemonPath = "/srv/md";
  fields.MDaemonActivate = true;
  fields.QuietFrom = "22:00";
  fields.QuietTo = "07:30";
  StoreGeneral(fields, general_);
  EXPECT_EQ(general_.QuietFrom, 22 * 60);
  EXPECT_EQ(general_.QuietTo, 7 * 60 + 30);
  EXPECT_EQ(general_.Interval, 15);
  EXPECT_EQ(general_.DoubleClick, 2);
  EXPECT_EQ(general_.TrayType, 0);
  EXPECT_EQ(general_.NotifyType, 5);
  EXPECT_EQ(general_.ReplaySound, kTrue);
  EXPECT_EQ(general_.MailProgram, "reader --inbox");
  EXPECT_EQ(general_.SoundFile, "/snd/ding.wav");
  EXPECT_EQ(general_.MDaemonPath, "/srv/md");
  EXPECT_EQ(general_.MDaemonActivate, 1);
  EXPECT_EQ(general_.ReceiveLog, kTrue);
  EXPECT_EQ(ShowGeneral(general_), fields);
}

TEST_F(ConfigFormTest, ReplaySoundIsSavedWhileTheSoundIsOff) {
  ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  ConfigGeneralFields general = form_.LoadGeneral();
  general.PlaySound = false;
  general.ReplaySound = true;
  form_.SaveOnClose(shown, general);
  EXPECT_EQ(general_.ReplaySound, kTrue);
  EXPECT_EQ(Key("General", "ReplaySound"), "1");
  EXPECT_EQ(Key("General", "NotifyType"), "0");
}

TEST_F(ConfigFormTest, DoubleClickTheListCannotShowIsKept) {
  general_.DoubleClick = 7;
  ConfigGeneralFields fields = form_.LoadGeneral();
  EXPECT_EQ(fields.DoubleClick, -1);
  StoreGeneral(fields, general_);
  EXPECT_EQ(general_.DoubleClick, 7);
  for (int16_t value = 0; value < kDoubleClickEntries; ++value) {
    general_.DoubleClick = value;
    EXPECT_EQ(ShowGeneral(general_).DoubleClick, value);
  }
}

TEST_F(ConfigFormTest, ClosingTellsWhetherTheMDaemonEntryIsShown) {
  ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  ConfigGeneralFields general = form_.LoadGeneral();
  general.MDaemonActivate = true;
  EXPECT_TRUE(form_.SaveOnClose(shown, general));
  general.MDaemonActivate = false;
  EXPECT_FALSE(form_.SaveOnClose(shown, general));
}

TEST_F(ConfigFormTest, TrayTypeShownTickedOnlyForOne) {
  general_.TrayType = 1;
  EXPECT_TRUE(form_.LoadGeneral().AdvancedTrayIcon);
  general_.TrayType = 0;
  EXPECT_FALSE(form_.LoadGeneral().AdvancedTrayIcon);
  general_.TrayType = 2;
  EXPECT_FALSE(form_.LoadGeneral().AdvancedTrayIcon);
}

TEST_F(ConfigFormTest, SelectingOutsideTheTableChangesNothing) {
  ConfigMailboxFields shown = form_.SelectMailbox(1, ConfigMailboxFields{});
  shown.Name = "edited";
  EXPECT_EQ(form_.SelectMailbox(10, shown), shown);
  EXPECT_EQ(form_.SelectMailbox(-1, shown), shown);
  EXPECT_EQ(form_.ShownMailbox(), 1);
  EXPECT_TRUE(Sections().empty());
  EXPECT_EQ(mailboxes_[1].Name, "Box 1");
}

TEST(ConfigFormAutostart, BoxShowsTheEntryAndClosingAppliesOnlyAChange) {
  FakeFileSystem files;
  test::FakePathProbe probe;
  probe.Backing = &files;
  probe.Environment["HOME"] = "/home/ann";
  AutostartEntry autostart(probe, files, "/usr/bin/postvane");
  MailboxTable mailboxes{};
  GeneralSettings general{};
  SettingsStore store(files, kIni, "/prog/NewMail.wav");
  const std::string entryFile = autostart.EntryFile();

  struct Step {
    const char* Name;
    bool Ticked;       // the box when the dialog closes
    bool ExpectEntry;  // afterwards
  };
  const Step steps[] = {{"ClearStaysClear", false, false},
                        {"TickWrites", true, true},
                        {"TickedStaysTicked", true, true},
                        {"ClearRemoves", false, false}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.Name);
    ConfigForm form(mailboxes, general, store, &autostart);
    ConfigGeneralFields fields = form.LoadGeneral();
    EXPECT_EQ(fields.StartWithDesktop, files.Files.count(entryFile) == 1);
    fields.StartWithDesktop = step.Ticked;
    form.SaveOnClose(form.SelectMailbox(0, ConfigMailboxFields{}), fields);
    EXPECT_EQ(files.Files.count(entryFile) == 1, step.ExpectEntry);
  }

  // An entry the user edited by hand survives a dialog that leaves the box ticked.
  ASSERT_TRUE(autostart.Set(true));
  files.Files[entryFile] += "X-Mine=1\n";
  ConfigForm form(mailboxes, general, store, &autostart);
  form.SaveOnClose(form.SelectMailbox(0, ConfigMailboxFields{}), form.LoadGeneral());
  EXPECT_NE(files.Files[entryFile].find("X-Mine=1"), std::string::npos);
}

TEST_F(ConfigFormTest, WithoutAnAutostartEntryTheBoxIsClearAndChangesNothing) {
  ConfigGeneralFields general = form_.LoadGeneral();
  EXPECT_FALSE(general.StartWithDesktop);
  general.StartWithDesktop = true;
  form_.SaveOnClose(form_.SelectMailbox(0, ConfigMailboxFields{}), general);
  EXPECT_EQ(files_.Files.size(), 1u);  // the settings file only
}

TEST_F(ConfigFormTest, DesktopNotificationIsTheFourthNotifyBit) {
  for (const int16_t type : {int16_t{0}, int16_t{5}, int16_t{8}, int16_t{15}}) {
    SCOPED_TRACE(type);
    general_.NotifyType = type;
    const ConfigGeneralFields fields = form_.LoadGeneral();
    EXPECT_EQ(fields.DesktopNotification, (type & kNotifyDesktop) != 0);
    GeneralSettings stored = general_;
    // Every box the other way before: the boxes alone decide the known bits.
    stored.NotifyType = static_cast<int16_t>(~type & kNotifyBoxes);
    StoreGeneral(fields, stored);
    EXPECT_EQ(stored.NotifyType, type);
  }
}

// NotifyType values with bits no box stands for, as a later version may write them.
class UnknownNotifyBitsTest : public testing::TestWithParam<int16_t> {};

TEST_P(UnknownNotifyBitsTest, BitsWithoutABoxSurviveAnyChangeOfTheBoxes) {
  const int16_t read = GetParam();
  GeneralSettings general;
  general.NotifyType = read;
  EXPECT_EQ((StoreGeneral(ShowGeneral(general), general), general.NotifyType), read);
  ConfigGeneralFields fields = ShowGeneral(general);
  fields.PlaySound = !fields.PlaySound;
  fields.DesktopNotification = !fields.DesktopNotification;
  StoreGeneral(fields, general);
  EXPECT_EQ(general.NotifyType & ~kNotifyBoxes, read & ~kNotifyBoxes);
  EXPECT_EQ(general.NotifyType & kNotifyBoxes,
            (read ^ kNotifySound ^ kNotifyDesktop) & kNotifyBoxes);
}

INSTANTIATE_TEST_SUITE_P(Values, UnknownNotifyBitsTest,
                         testing::Values(int16_t{16}, int16_t{27}, int16_t{0x4005}, int16_t{-1},
                                         int16_t{-32768}));

// Security choice and trusting a certificate.

struct PortSwitchCase {
  const char* name;
  int from;
  int to;
  std::string port;
  std::string expected;
};

class PortForSecurityTest : public testing::TestWithParam<PortSwitchCase> {};

TEST_P(PortForSecurityTest, UsualPortFollowsTheChoiceAndOthersStay) {
  const PortSwitchCase& c = GetParam();
  EXPECT_EQ(PortForSecurity(c.from, c.to, c.port), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, PortForSecurityTest,
    testing::Values(PortSwitchCase{"NoneToTls", 0, 1, "110", "995"},
                    PortSwitchCase{"TlsToNone", 1, 0, "995", "110"},
                    PortSwitchCase{"TlsToStartTls", 1, 2, "995", "110"},
                    PortSwitchCase{"StartTlsToTls", 2, 1, " 110 ", "995"},
                    PortSwitchCase{"NoneToStartTlsKeeps110", 0, 2, "110", "110"},
                    PortSwitchCase{"OwnPortStays", 0, 1, "1110", "1110"},
                    PortSwitchCase{"OwnTlsPortStays", 1, 0, "9995", "9995"},
                    PortSwitchCase{"NoNumberStays", 0, 1, "pop", "pop"},
                    PortSwitchCase{"UnknownCodeCountsAsPlain", -1, 1, "110", "995"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigFormTest, SecurityIsShownAndStoredUnknownCodesKept) {
  mailboxes_[0].Security = 1;
  mailboxes_[1].Security = 9;
  ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  EXPECT_EQ(shown.Security, 1);
  shown.Security = 2;
  shown = form_.SelectMailbox(1, shown);
  EXPECT_EQ(mailboxes_[0].Security, 2);
  EXPECT_EQ(Key("MailBox0", "Security"), "2");
  EXPECT_EQ(shown.Security, -1);
  form_.SelectMailbox(2, shown);
  EXPECT_EQ(mailboxes_[1].Security, 9);
  EXPECT_EQ(Key("MailBox1", "Security"), std::nullopt) << "only a choice is ever written";
}

TEST_F(ConfigFormTest, TrustingStoresTheRejectedFingerprintAtOnce) {
  const std::string fingerprint(64, 'D');
  mailboxes_[3].RejectedCertificate.Fingerprint = fingerprint;
  ConfigMailboxFields shown = form_.SelectMailbox(3, ConfigMailboxFields{});
  EXPECT_TRUE(CanTrustCertificate(mailboxes_[3]));
  shown.RemotePort = "995";
  ASSERT_TRUE(form_.TrustRejectedCertificate(shown));
  EXPECT_EQ(mailboxes_[3].CertFingerprint, fingerprint);
  EXPECT_EQ(Key("MailBox3", "CertFingerprint"), fingerprint);
  EXPECT_EQ(Key("MailBox3", "RemotePort"), "995");
  // Trusted now: nothing left to trust until another certificate is rejected.
  EXPECT_FALSE(CanTrustCertificate(mailboxes_[3]));
  EXPECT_FALSE(form_.TrustRejectedCertificate(shown));
  mailboxes_[3].RejectedCertificate.Fingerprint = std::string(64, 'E');
  EXPECT_TRUE(CanTrustCertificate(mailboxes_[3]));
}

TEST_F(ConfigFormTest, NothingToTrustWithoutARejectedCertificate) {
  ConfigMailboxFields shown = form_.SelectMailbox(4, ConfigMailboxFields{});
  EXPECT_FALSE(CanTrustCertificate(mailboxes_[4]));
  EXPECT_FALSE(form_.TrustRejectedCertificate(shown));
  mailboxes_[4].RejectedCertificate.Fingerprint = "not a fingerprint";
  EXPECT_FALSE(form_.TrustRejectedCertificate(shown));
  EXPECT_TRUE(mailboxes_[4].CertFingerprint.empty());
  EXPECT_TRUE(Sections().empty());
}

}  // namespace
}  // namespace postvane

namespace postvane {
namespace {

struct NewMailboxCase {
  const char* Name;
  bool Secure;         // the front end has TLS
  bool SectionInFile;  // the user filled this mailbox in before
  int Security;
  const char* Port;
};

class NewMailboxSecurity : public ConfigFormTest,
                           public testing::WithParamInterface<NewMailboxCase> {};

TEST_P(NewMailboxSecurity, ShownAndSavedOnLeaving) {
  const NewMailboxCase& c = GetParam();
  if (c.SectionInFile) {
    files_.Files[kIni] = "[MailBox4]\r\nRemotePort=114\r\n";
    store_.LoadMailbox(mailboxes_[4], 4);
  }
  form_.NewMailboxesStartSecure(c.Secure);
  ConfigMailboxFields shown = form_.SelectMailbox(4, ConfigMailboxFields{});
  EXPECT_EQ(shown.Security, c.Security);
  EXPECT_EQ(shown.RemotePort, c.Port);
  form_.SelectMailbox(5, shown);
  EXPECT_EQ(mailboxes_[4].Security, c.Security);
  EXPECT_EQ(Key("MailBox4", "RemotePort"), c.Port);
  // Once saved, the section is the user's: shown again as stored, never reset.
  shown = form_.SelectMailbox(4, form_.SelectMailbox(5, ConfigMailboxFields{}));
  EXPECT_EQ(shown.Security, c.Security);
  EXPECT_EQ(shown.RemotePort, c.Port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NewMailboxSecurity,
    testing::Values(NewMailboxCase{"NewWithTls", true, false, 1, "995"},
                    NewMailboxCase{"NewWithoutTls", false, false, 0, "114"},
                    NewMailboxCase{"FilledInBeforeWithTls", true, true, 0, "114"},
                    NewMailboxCase{"FilledInBeforeWithoutTls", false, true, 0, "114"}),
    [](const testing::TestParamInfo<NewMailboxCase>& info) {
      return std::string(info.param.Name);
    });

// A dialog without the quiet-hour boxes (nothing) keeps them; an emptied box switches them off;
// text that is no clock time keeps the old time.
TEST(QuietHourFields, StoredAsTheBoxesSay) {
  struct Row {
    std::optional<std::string> From;
    std::optional<std::string> To;
    int16_t ExpectedFrom;
    int16_t ExpectedTo;
  };
  const Row rows[] = {{std::nullopt, std::nullopt, 1320, 420},
                      {"", "", -1, -1},
                      {"23:15", " 6:05 ", 1395, 365},
                      {"11pm", "25:00", 1320, 420},
                      {"", std::nullopt, -1, 420}};
  for (const Row& row : rows) {
    GeneralSettings general;
    general.QuietFrom = 1320;
    general.QuietTo = 420;
    ConfigGeneralFields fields = ShowGeneral(general);
    EXPECT_EQ(fields.QuietFrom, "22:00");
    EXPECT_EQ(fields.QuietTo, "07:00");
    fields.QuietFrom = row.From;
    fields.QuietTo = row.To;
    StoreGeneral(fields, general);
    EXPECT_EQ(general.QuietFrom, row.ExpectedFrom) << row.From.value_or("(none)");
    EXPECT_EQ(general.QuietTo, row.ExpectedTo) << row.To.value_or("(none)");
  }
}

TEST(PasswordSentInClear, OnlyTheSecureEntriesProtectIt) {
  const struct {
    int Entry;
    bool Clear;
  } rows[] = {{0, true}, {1, false}, {2, false}, {-1, true}, {3, true}, {99, true}};
  for (const auto& row : rows) EXPECT_EQ(PasswordSentInClear(row.Entry), row.Clear) << row.Entry;
}

}  // namespace
}  // namespace postvane

namespace postvane {
namespace {

// The protocol choice and the IMAP controls.

struct ChoiceSwitchCase {
  const char* name;
  int fromProtocol, fromSecurity, toProtocol, toSecurity;
  std::string port;
  std::string expected;
};

class PortForChoiceTest : public testing::TestWithParam<ChoiceSwitchCase> {};

TEST_P(PortForChoiceTest, UsualPortFollowsProtocolAndSecurity) {
  const ChoiceSwitchCase& c = GetParam();
  EXPECT_EQ(PortForChoice(c.fromProtocol, c.fromSecurity, c.toProtocol, c.toSecurity, c.port),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, PortForChoiceTest,
    testing::Values(ChoiceSwitchCase{"Pop3ToImapPlain", 0, 0, 1, 0, "110", "143"},
                    ChoiceSwitchCase{"Pop3ToImapTls", 0, 1, 1, 1, "995", "993"},
                    ChoiceSwitchCase{"ImapToPop3StartTls", 1, 2, 0, 2, "143", "110"},
                    ChoiceSwitchCase{"ImapNoneToTls", 1, 0, 1, 1, "143", "993"},
                    ChoiceSwitchCase{"ImapTlsToStartTls", 1, 1, 1, 2, "993", "143"},
                    ChoiceSwitchCase{"OwnPortStays", 0, 0, 1, 0, "1110", "1110"},
                    ChoiceSwitchCase{"Pop3PortUnderImapStays", 1, 0, 1, 1, "110", "110"},
                    ChoiceSwitchCase{"UnknownProtocolCountsAsPop3", -1, 0, 1, 0, "110", "143"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigFormTest, ImapControlsAreShownStoredAndSaved) {
  mailboxes_[0].Protocol = 1;
  mailboxes_[0].Folder = "Eing\xC3\xA4nge";
  mailboxes_[0].Push = kFalse;
  ConfigMailboxFields shown = form_.SelectMailbox(0, ConfigMailboxFields{});
  EXPECT_EQ(shown.Protocol, 1);
  EXPECT_EQ(shown.Folder, "Eing\xC3\xA4nge");
  EXPECT_EQ(shown.Push, false);
  EXPECT_EQ(shown.MarkReadOnAck, false);
  shown.Folder = "  Lists/dev ";
  shown.Push = true;
  shown.MarkReadOnAck = true;
  form_.SelectMailbox(1, shown);
  EXPECT_EQ(mailboxes_[0].Folder, "Lists/dev");
  EXPECT_EQ(Key("MailBox0", "Protocol"), "1");
  EXPECT_EQ(Key("MailBox0", "Folder"), "Lists/dev");
  EXPECT_EQ(Key("MailBox0", "Push").value_or("1"), "1") << "on, as a file without the key reads";
  EXPECT_EQ(Key("MailBox0", "MarkReadOnAck"), "1");
}

TEST_F(ConfigFormTest, ADialogWithoutTheImapControlsKeepsTheirValues) {
  mailboxes_[2].Protocol = 1;
  mailboxes_[2].Folder = "Work";
  mailboxes_[2].Push = kFalse;
  mailboxes_[2].MarkReadOnAck = kTrue;
  form_.SelectMailbox(2, ConfigMailboxFields{});
  // Fields as a front end without the controls reads them from its widgets.
  ConfigMailboxFields typed;
  typed.Name = "Box 2";
  form_.SelectMailbox(3, typed);
  EXPECT_EQ(mailboxes_[2].Protocol, 1);
  EXPECT_EQ(mailboxes_[2].Folder, "Work");
  EXPECT_EQ(mailboxes_[2].Push, kFalse);
  EXPECT_EQ(mailboxes_[2].MarkReadOnAck, kTrue);
}

// The sign-in row.

TEST(OAuthAllowed, OnlyOverTlsOrStartTls) {
  const struct {
    int Entry;
    bool Allowed;
  } rows[] = {{0, false}, {1, true}, {2, true}, {-1, false}, {3, false}};
  for (const auto& row : rows) EXPECT_EQ(OAuthAllowed(row.Entry), row.Allowed) << row.Entry;
}

TEST_F(ConfigFormTest, SignInChoiceIsShownStoredAndSaved) {
  ConfigMailboxFields shown = form_.SelectMailbox(1, ConfigMailboxFields{});
  EXPECT_EQ(shown.Auth, 0);
  shown.Auth = 1;
  shown.OAuthProvider = "  microsoft ";
  shown.OAuthClientId = "client-1";
  shown.OAuthClientSecret = "";
  form_.SelectMailbox(2, shown);
  EXPECT_EQ(mailboxes_[1].Auth, 1);
  EXPECT_EQ(mailboxes_[1].OAuthProvider, "microsoft");
  EXPECT_EQ(Key("MailBox1", "Auth"), "1");
  EXPECT_EQ(Key("MailBox1", "OAuthClientId"), "client-1");
  EXPECT_EQ(Key("MailBox1", "OAuthClientSecret"), std::nullopt);
  // The password is kept although an OAuth mailbox does not use it.
  EXPECT_EQ(mailboxes_[1].Password, "pw1");
  EXPECT_EQ(form_.SelectMailbox(1, ConfigMailboxFields{}).Auth, 1);
}

TEST_F(ConfigFormTest, SignInSettingsStayForADialogWithoutTheRowOrAnUnknownCode) {
  mailboxes_[4].Auth = 1;
  mailboxes_[4].OAuthProvider = "google";
  mailboxes_[4].OAuthClientId = "id";
  mailboxes_[5].Auth = kUnknownAuth;
  form_.SelectMailbox(4, ConfigMailboxFields{});
  ConfigMailboxFields typed;  // a front end without the row
  typed.Name = "Box 4";
  const ConfigMailboxFields five = form_.SelectMailbox(5, typed);
  EXPECT_EQ(mailboxes_[4].Auth, 1);
  EXPECT_EQ(mailboxes_[4].OAuthProvider, "google");
  EXPECT_EQ(mailboxes_[4].OAuthClientId, "id");
  EXPECT_EQ(five.Auth, -1);
  form_.SelectMailbox(6, five);
  EXPECT_EQ(mailboxes_[5].Auth, kUnknownAuth);
}

TEST_F(ConfigFormTest, RefreshTokenIsSavedAtOnceForTheShownMailboxOnly) {
  EXPECT_FALSE(form_.StoreRefreshToken("early")) << "no mailbox shown yet";
  mailboxes_[3].Auth = 1;
  mailboxes_[3].OAuthProblem = "Sign-in expired";
  form_.SelectMailbox(3, ConfigMailboxFields{});
  ASSERT_TRUE(form_.StoreRefreshToken("rt-3"));
  EXPECT_EQ(mailboxes_[3].OAuthRefreshToken, "rt-3");
  EXPECT_TRUE(mailboxes_[3].OAuthProblem.empty());
  // On disk before any close, and not readable there.
  ASSERT_TRUE(Key("MailBox3", "OAuthRefreshToken").has_value());
  EXPECT_NE(Key("MailBox3", "OAuthRefreshToken"), "rt-3");
  MailboxRecord reread;
  store_.LoadMailbox(reread, 3);
  EXPECT_EQ(reread.OAuthRefreshToken, "rt-3");
  EXPECT_TRUE(mailboxes_[2].OAuthRefreshToken.empty());
}

TEST_F(ConfigFormTest, AnUnknownProtocolIsShownUnselectedAndKept) {
  mailboxes_[5].Protocol = kUnknownProtocol;
  ConfigMailboxFields shown = form_.SelectMailbox(5, ConfigMailboxFields{});
  EXPECT_EQ(shown.Protocol, -1);
  form_.SelectMailbox(6, shown);
  EXPECT_EQ(mailboxes_[5].Protocol, kUnknownProtocol);
  EXPECT_EQ(Key("MailBox5", "Protocol"), std::nullopt) << "only a choice is ever written";
}

}  // namespace
}  // namespace postvane
