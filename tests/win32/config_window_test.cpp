// The Windows configuration dialog against a settings file the Linux program wrote: Ok gives
// back every key it has no control for exactly as read.
#include "win32/gui/frm_config.h"

// commctrl.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
// The file system port's ReplaceFile, not the Windows function's macro.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../fakes/example_settings.h"
#include "../fakes/temp_folder.h"
#include "check/connection_security.h"
#include "settings/ini_file.h"
#include "text/own_text.h"
#include "text/string_table.h"
#include "win32/credential_store.h"
#include "win32/run_key_autostart.h"
#include "win32/wide_text.h"
#include "win32/win32_file_system.h"

namespace postvane {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string WithLineEnd(std::string text, const std::string& end) {
  std::string out;
  std::size_t pos = 0;
  for (std::size_t next; (next = text.find("\r\n", pos)) != std::string::npos; pos = next + 2) {
    out += text.substr(pos, next - pos) + end;
  }
  return out + text.substr(pos);
}

struct LineEndCase {
  const char* name;
  const char* end;
};

class ConfigWindowRoundTrip : public testing::TestWithParam<LineEndCase> {};

TEST_P(ConfigWindowRoundTrip, OkOverEveryMailboxChangesNoByte) {
  TempFolder folder;
  const std::filesystem::path file = folder.Path() / "Postvane.ini";
  const std::string written = WithLineEnd(ExampleSettingsFile(), GetParam().end);
  WriteAll(file, written);

  Win32FileSystem files;
  SettingsStore store(files, file.string(), (folder.Path() / "NewMail.wav").string());
  ProgramState state;
  store.LoadGeneral(state.General);
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    store.LoadMailbox(state.Mailboxes[static_cast<std::size_t>(i)], i);
  }
  bool closed = false;
  {
    frmConfig window(
        state, store, [](bool) {}, [&closed] { closed = true; });
    for (int i = 0; i < kUserMailboxes; ++i) {
      SendMessageW(GetDlgItem(window.Handle(), frmConfig::kOption1 + i), BM_CLICK, 0, 0);
    }
    SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
  }
  ASSERT_TRUE(closed);
  EXPECT_TRUE(store.LastWriteSucceeded());
  EXPECT_EQ(ReadAll(file), written);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ConfigWindowRoundTrip,
                         testing::Values(LineEndCase{"CrLf", "\r\n"}, LineEndCase{"Lf", "\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A settings file of one mailbox, loaded as the tray program loads it.
class ConfigWindowTest : public testing::Test {
 protected:
  void Load(const std::string& mailbox) {
    WriteAll(file_, "[General]\r\nInterval=5\r\n[MailBox0]\r\n" + mailbox);
    store_.LoadGeneral(state_.General);
    store_.LoadMailbox(state_.Mailboxes[0], 0);
    window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  }
  HWND Control(int id) const { return GetDlgItem(window_->Handle(), id); }
  bool Checked(int id) const { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  // The control's own visibility: the dialog itself is never put on the screen here.
  bool Shown(int id) const { return (GetWindowLongW(Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }
  std::wstring TextOf(int id) const {
    wchar_t text[256] = {};
    GetWindowTextW(Control(id), text, 256);
    return text;
  }
  void SetTextOf(int id, const std::string& text) {
    SetWindowTextW(Control(id), Widen(text).c_str());
  }
  void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  void ChooseProtocol(int entry) {
    SendMessageW(Control(frmConfig::kProtocol), CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(frmConfig::kProtocol, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Control(frmConfig::kProtocol)));
  }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  void ChooseSecurity(int entry) {
    SendMessageW(Control(frmConfig::kSecurity), CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(frmConfig::kSecurity, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Control(frmConfig::kSecurity)));
  }
  std::optional<std::string> Saved(const std::string& key) {
    SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    return IniFile(ReadAll(file_)).Read("MailBox0", key);
  }
  std::optional<std::string> Key(const std::string& section, const std::string& key) {
    return IniFile(ReadAll(file_)).Read(section, key);
  }

  TempFolder folder_;
  std::filesystem::path file_ = folder_.Path() / "Postvane.ini";
  Win32FileSystem files_;
  SettingsStore store_{files_, file_.string(), ""};
  ProgramState state_;
  std::unique_ptr<frmConfig> window_;
};

struct SecuritySwitch {
  const char* name;
  int from;
  const char* port;
  int to;
  const char* portAfter;
};

class SecurityListTest : public ConfigWindowTest,
                         public testing::WithParamInterface<SecuritySwitch> {};

TEST_P(SecurityListTest, ChoiceIsSavedAndTheUsualPortFollows) {
  const SecuritySwitch& c = GetParam();
  Load("RemotePort=" + std::string(c.port) + "\r\nSecurity=" + std::to_string(c.from) + "\r\n");
  EXPECT_EQ(SendMessageW(Control(frmConfig::kSecurity), CB_GETCURSEL, 0, 0), c.from);
  ChooseSecurity(c.to);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kRemotePort)), c.portAfter);
  EXPECT_EQ(Saved("RemotePort"), c.portAfter);
  EXPECT_EQ(IniFile(ReadAll(file_)).Read("MailBox0", "Security"), std::to_string(c.to));
}

INSTANTIATE_TEST_SUITE_P(Switches, SecurityListTest,
                         testing::Values(SecuritySwitch{"PlainToTls", 0, "110", 1, "995"},
                                         SecuritySwitch{"TlsToPlain", 1, "995", 0, "110"},
                                         SecuritySwitch{"TlsToStartTls", 1, "995", 2, "110"},
                                         SecuritySwitch{"StartTlsToTls", 2, "110", 1, "995"},
                                         SecuritySwitch{"OwnPortStays", 0, "2110", 1, "2110"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigWindowTest, UnknownSecurityCodeIsShownAsNoEntryAndKept) {
  Load("RemotePort=995\r\nSecurity=7\r\n");
  EXPECT_EQ(SendMessageW(Control(frmConfig::kSecurity), CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(Saved("Security"), "7");
}

TEST_F(ConfigWindowTest, TrustingShowsTheCertificateAsTextAndSavesItsFingerprint) {
  Load("RemotePort=995\r\nSecurity=1\r\n");
  TlsCertificate& rejected = state_.Mailboxes[0].RejectedCertificate;
  // Markup in a name must reach the user as the characters it is.
  rejected.Subject = "CN=<b>pop.example.org</b>";
  rejected.Issuer = "CN=Self & Co";
  rejected.Fingerprint = std::string(64, 'A');
  window_->ShowTab(0);
  EXPECT_TRUE(Shown(frmConfig::kTrustCertificate));
  std::wstring shown;
  int asked = 0;
  window_->ConfirmTrust = [&](HWND, const std::wstring&, const std::wstring& details) {
    ++asked;
    shown = details;
    return asked > 1;  // no the first time, yes the second
  };
  SendMessageW(Control(frmConfig::kTrustCertificate), BM_CLICK, 0, 0);
  EXPECT_EQ(IniFile(ReadAll(file_)).Read("MailBox0", "CertFingerprint"), std::nullopt);
  EXPECT_TRUE(Shown(frmConfig::kTrustCertificate));
  SendMessageW(Control(frmConfig::kTrustCertificate), BM_CLICK, 0, 0);
  EXPECT_EQ(asked, 2);
  EXPECT_NE(shown.find(L"CN=<b>pop.example.org</b>"), std::wstring::npos);
  EXPECT_NE(shown.find(L"CN=Self & Co"), std::wstring::npos);
  EXPECT_EQ(IniFile(ReadAll(file_)).Read("MailBox0", "CertFingerprint"),
            NormalizeFingerprint(rejected.Fingerprint));
  EXPECT_FALSE(Shown(frmConfig::kTrustCertificate));
}

TEST_F(ConfigWindowTest, NoTrustButtonWithoutARejectedCertificateOrOffTheMailboxTab) {
  Load("RemotePort=995\r\nSecurity=1\r\n");
  EXPECT_FALSE(Shown(frmConfig::kTrustCertificate));
  state_.Mailboxes[0].RejectedCertificate.Fingerprint = std::string(64, 'B');
  window_->ShowTab(1);
  EXPECT_FALSE(Shown(frmConfig::kTrustCertificate));
  window_->ShowTab(0);
  EXPECT_TRUE(Shown(frmConfig::kTrustCertificate));
}

TEST_F(ConfigWindowTest, DesktopNotificationBoxSetsOnlyItsBit) {
  WriteAll(file_, "[General]\r\nNotifyType=17\r\n[MailBox0]\r\nRemotePort=110\r\n");
  store_.LoadGeneral(state_.General);
  store_.LoadMailbox(state_.Mailboxes[0], 0);
  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  EXPECT_FALSE(Checked(frmConfig::kDesktopNotification));
  SendMessageW(Control(frmConfig::kDesktopNotification), BM_CLICK, 0, 0);
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(IniFile(ReadAll(file_)).Read("General", "NotifyType"), "25");
}

TEST_F(ConfigWindowTest, KeyringBoxMovesThePasswordIntoTheCredentialManagerAndBack) {
  CredentialStore credentials;
  store_.UseSecretStore(&credentials);
  WriteAll(file_, "[General]\r\nInterval=5\r\n[MailBox0]\r\nPassword=" +
                      TransformPassword("s\u00e9cret") + "\r\nRemotePort=110\r\n");
  store_.LoadGeneral(state_.General);
  store_.LoadMailbox(state_.Mailboxes[0], 0);
  // The key the Linux keyring uses too: the settings file and the mailbox.
  const std::string key =
      std::filesystem::absolute(file_).lexically_normal().string() + " mailbox 0";
  std::string secret;
  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  EXPECT_FALSE(Checked(frmConfig::kKeyring));
  SendMessageW(Control(frmConfig::kKeyring), BM_CLICK, 0, 0);
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  IniFile saved(ReadAll(file_));
  EXPECT_EQ(saved.Read("General", "Keyring"), "1");
  EXPECT_EQ(saved.Read("MailBox0", "PasswordInKeyring"), "1");
  EXPECT_EQ(saved.Read("MailBox0", "Password"), "");
  EXPECT_EQ(credentials.Read(key, secret), SecretResult::Ok);
  EXPECT_EQ(secret, "s\u00e9cret");

  // A new start reads it from there; clearing the box brings it back into the file.
  ProgramState later;
  store_.LoadGeneral(later.General);
  store_.LoadMailbox(later.Mailboxes[0], 0);
  EXPECT_EQ(later.Mailboxes[0].Password, "s\u00e9cret");
  window_ = std::make_unique<frmConfig>(later, store_, [](bool) {});
  EXPECT_TRUE(Checked(frmConfig::kKeyring));
  SendMessageW(Control(frmConfig::kKeyring), BM_CLICK, 0, 0);
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  IniFile back(ReadAll(file_));
  EXPECT_EQ(back.Read("General", "Keyring"), std::nullopt);
  EXPECT_EQ(back.Read("MailBox0", "PasswordInKeyring"), std::nullopt);
  EXPECT_EQ(back.Read("MailBox0", "Password"), TransformPassword("s\u00e9cret"));
  EXPECT_EQ(credentials.Read(key, secret), SecretResult::NotFound);
}

TEST_F(ConfigWindowTest, StartWithWindowsBoxShowsAndSwitchesTheRunValue) {
  const std::wstring key =
      L"Software\\PostvaneTest\\Dialog" + std::to_wstring(GetCurrentProcessId());
  RunKeyAutostart autostart(key, L"Postvane", "C:\\Postvane\\postvane.exe");
  ASSERT_TRUE(autostart.Set(true));
  WriteAll(file_, "[MailBox0]\r\nRemotePort=110\r\n");
  window_ = std::make_unique<frmConfig>(
      state_, store_, [](bool) {}, [] {}, &autostart);
  EXPECT_TRUE(Checked(frmConfig::kStartWithWindows));
  SendMessageW(Control(frmConfig::kStartWithWindows), BM_CLICK, 0, 0);
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(autostart.Exists());
  window_ = std::make_unique<frmConfig>(
      state_, store_, [](bool) {}, [] {}, &autostart);
  EXPECT_FALSE(Checked(frmConfig::kStartWithWindows));
  SendMessageW(Control(frmConfig::kStartWithWindows), BM_CLICK, 0, 0);
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(autostart.Exists());
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(ConfigWindowTest, NewMailboxStartsOnTlsAndAStoredOneShowsWhatTheFileSays) {
  Load("RemotePort=110\r\n");
  EXPECT_EQ(SendMessageW(Control(frmConfig::kSecurity), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kRemotePort)), "110");
  Click(frmConfig::kOption1 + 3);
  EXPECT_EQ(SendMessageW(Control(frmConfig::kSecurity), CB_GETCURSEL, 0, 0),
            static_cast<LRESULT>(SecurityMode::Tls));
  EXPECT_EQ(Narrow(TextOf(frmConfig::kRemotePort)), std::to_string(kTlsPop3Port));
  SetTextOf(frmConfig::kRemoteHost, "pop.example.org");
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(Key("MailBox3", "Security"), "1");
  EXPECT_EQ(Key("MailBox3", "RemotePort"), std::to_string(kTlsPop3Port));
  EXPECT_EQ(Key("MailBox0", "Security"), std::nullopt);
  EXPECT_EQ(Key("MailBox0", "RemotePort"), "110");
}

struct PlainLineCase {
  const char* name;
  const char* mailbox;
  int tab;
  bool rejectedCertificate;
  bool shown;
};

class PlainPasswordLineTest : public ConfigWindowTest,
                              public testing::WithParamInterface<PlainLineCase> {};

TEST_P(PlainPasswordLineTest, ShowsWhileTheShownSecuritySendsThePasswordReadable) {
  const PlainLineCase& c = GetParam();
  Load(c.mailbox);
  if (c.rejectedCertificate) {
    state_.Mailboxes[0].RejectedCertificate.Fingerprint = std::string(64, 'C');
  }
  window_->ShowTab(c.tab);
  EXPECT_EQ(Shown(frmConfig::kPlainPassword), c.shown);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kPlainPassword)),
            OwnString(900, OwnText::PasswordSentUnencrypted));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlainPasswordLineTest,
    testing::Values(PlainLineCase{"None", "Security=0\r\n", 0, false, true},
                    PlainLineCase{"UnknownCode", "Security=7\r\n", 0, false, true},
                    PlainLineCase{"Tls", "Security=1\r\n", 0, false, false},
                    PlainLineCase{"StartTls", "Security=2\r\n", 0, false, false},
                    PlainLineCase{"OtherTab", "Security=0\r\n", 1, false, false},
                    PlainLineCase{"TrustButtonInItsPlace", "Security=0\r\n", 0, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigWindowTest, PlainPasswordLineFollowsTheSecurityList) {
  Load("Security=1\r\nRemotePort=995\r\n");
  EXPECT_FALSE(Shown(frmConfig::kPlainPassword));
  ChooseSecurity(0);
  EXPECT_TRUE(Shown(frmConfig::kPlainPassword));
  ChooseSecurity(2);
  EXPECT_FALSE(Shown(frmConfig::kPlainPassword));
}

TEST_F(ConfigWindowTest, WebMailAddressIsShownAndOnlyHttpsIsSaved) {
  WriteAll(file_,
           "[MailBox0]\r\nWebMailUrl=https://mail.example.org/\r\n[MailBox2]\r\n"
           "WebMailUrl=https://two.example/\r\n[MailBox4]\r\nRemotePort=110\r\n");
  for (int16_t i : {0, 2, 4}) store_.LoadMailbox(state_.Mailboxes[static_cast<std::size_t>(i)], i);
  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  EXPECT_EQ(Narrow(TextOf(frmConfig::kWebMailUrl)), "https://mail.example.org/");
  SetTextOf(frmConfig::kWebMailUrl, "");  // no web mail any more
  Click(frmConfig::kOption1 + 2);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kWebMailUrl)), "https://two.example/");
  SetTextOf(frmConfig::kWebMailUrl, "http://two.example/");  // not https: the old one stays
  Click(frmConfig::kOption1 + 4);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kWebMailUrl)), "");
  SetTextOf(frmConfig::kWebMailUrl, " https://four.example/ ");
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(Key("MailBox0", "WebMailUrl"), std::nullopt);
  EXPECT_EQ(Key("MailBox2", "WebMailUrl"), "https://two.example/");
  EXPECT_EQ(Key("MailBox4", "WebMailUrl"), "https://four.example/");
}

TEST_F(ConfigWindowTest, MarkerColorIsTypedOrPickedAndOnlyAColourIsSaved) {
  Load("MarkerColor=#FF8000\r\n");
  EXPECT_EQ(Narrow(TextOf(frmConfig::kMarkerColor)), "#FF8000");
  std::vector<COLORREF> offered;
  std::optional<COLORREF> answer;  // cancel first
  window_->PickColor = [&](HWND, COLORREF initial) {
    offered.push_back(initial);
    return answer;
  };
  Click(frmConfig::kPickColor);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kMarkerColor)), "#FF8000");
  answer = RGB(0x1e, 0x90, 0xff);
  Click(frmConfig::kPickColor);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kMarkerColor)), "#1e90ff");
  SetTextOf(frmConfig::kMarkerColor, "blue");  // no colour: the picker starts on black
  Click(frmConfig::kPickColor);
  EXPECT_EQ(offered, (std::vector<COLORREF>{RGB(0xff, 0x80, 0), RGB(0xff, 0x80, 0), RGB(0, 0, 0)}));
  SetTextOf(frmConfig::kMarkerColor, "blue");
  EXPECT_EQ(Saved("MarkerColor"), "#FF8000");

  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  window_->PickColor = [](HWND, COLORREF) { return RGB(0x12, 0x34, 0x56); };
  Click(frmConfig::kPickColor);
  EXPECT_EQ(Saved("MarkerColor"), "#123456");
  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  SetTextOf(frmConfig::kMarkerColor, "");  // back to the picture's own colour
  EXPECT_EQ(Saved("MarkerColor"), std::nullopt);
}

TEST_F(ConfigWindowTest, QuietHoursAreShownAsClockTimesAndSavedInMinutes) {
  WriteAll(file_, "[General]\r\nQuietFrom=1320\r\n[MailBox0]\r\nRemotePort=110\r\n");
  store_.LoadGeneral(state_.General);
  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  EXPECT_EQ(Narrow(TextOf(frmConfig::kQuietFrom)), "22:00");
  EXPECT_EQ(Narrow(TextOf(frmConfig::kQuietTo)), "");
  SetTextOf(frmConfig::kQuietFrom, "23:30");
  SetTextOf(frmConfig::kQuietTo, "6:45");
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(Key("General", "QuietFrom"), "1410");
  EXPECT_EQ(Key("General", "QuietTo"), "405");

  window_ = std::make_unique<frmConfig>(state_, store_, [](bool) {});
  SetTextOf(frmConfig::kQuietFrom, "25:00");  // no clock time: the old one stays
  SetTextOf(frmConfig::kQuietTo, "");         // switched off
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(Key("General", "QuietFrom"), "1410");
  EXPECT_EQ(Key("General", "QuietTo"), std::nullopt);
}

TEST_F(ConfigWindowTest, EmptyMailProgramBoxShowsTheDefaultClientInGrey) {
  Load("RemotePort=110\r\n");
  window_->ShowMailProgramHint("Mail Client \u00e9");
  wchar_t hint[64] = {};
  ASSERT_TRUE(SendMessageW(Control(frmConfig::kMailProgram), EM_GETCUEBANNER,
                           reinterpret_cast<WPARAM>(hint), 64));
  EXPECT_EQ(Narrow(hint), "Mail Client \u00e9");
  EXPECT_EQ(TextOf(frmConfig::kMailProgram), L"");
}

// The captions of all the controls of a window.
std::vector<std::wstring> CaptionsOf(HWND window) {
  std::vector<std::wstring> captions;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM list) {
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(text);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&captions));
  return captions;
}

class ConfigWindowLanguageTest : public ConfigWindowTest,
                                 public testing::WithParamInterface<int16_t> {};

TEST_P(ConfigWindowLanguageTest, NotifyFrameAndFileTypesAreInTheUsersLanguage) {
  const int16_t base = GetParam();
  state_.LanguageBase = base;
  Load("RemotePort=110\r\n");
  const std::vector<std::wstring> captions = CaptionsOf(window_->Handle());
  const auto has = [&](const std::string& text) {
    return std::find(captions.begin(), captions.end(), Widen(text)) != captions.end();
  };
  EXPECT_TRUE(has(LocalString(base, StringId::NotifyOptions)));
  EXPECT_EQ(has("Notify Options"), base == 900);

  std::vector<std::wstring> filters;
  window_->PickFile = [&](HWND, const std::wstring& filter, const std::wstring&) {
    filters.push_back(filter);
    return filters.size() == 1 ? std::optional<std::wstring>(L"C:\\Sounds\\Bell.wav")
                               : std::nullopt;
  };
  Click(frmConfig::kBrowseSound);
  Click(frmConfig::kBrowseMailProgram);
  const auto entry = [&](OwnText kind, const std::wstring& pattern) {
    return Widen(OwnString(base, kind)) + L" (" + pattern + L")" + std::wstring(1, L'\0') +
           pattern + std::wstring(1, L'\0');
  };
  EXPECT_EQ(filters, (std::vector<std::wstring>{entry(OwnText::SoundFiles, L"*.wav"),
                                                entry(OwnText::ProgramFiles, L"*.exe")}));
  EXPECT_EQ(TextOf(frmConfig::kSoundFile), L"C:\\Sounds\\Bell.wav");
  EXPECT_EQ(TextOf(frmConfig::kMailProgram), L"");  // cancelled
}

INSTANTIATE_TEST_SUITE_P(Languages, ConfigWindowLanguageTest,
                         testing::Values(int16_t{300}, int16_t{700}, int16_t{900}, int16_t{1000},
                                         int16_t{1600}, int16_t{1900}));

struct ChoiceSwitch {
  const char* name;
  const char* mailbox;
  int protocol;  // chosen after the security below, when not -1
  int security;  // -1: left as it is
  const char* portAfter;
};

class ProtocolListTest : public ConfigWindowTest,
                         public testing::WithParamInterface<ChoiceSwitch> {};

TEST_P(ProtocolListTest, UsualPortFollowsProtocolAndSecurity) {
  const ChoiceSwitch& c = GetParam();
  Load(c.mailbox);
  if (c.security >= 0) ChooseSecurity(c.security);
  if (c.protocol >= 0) ChooseProtocol(c.protocol);
  EXPECT_EQ(Narrow(TextOf(frmConfig::kRemotePort)), c.portAfter);
  const std::string protocol =
      std::to_string(SendMessageW(Control(frmConfig::kProtocol), CB_GETCURSEL, 0, 0));
  EXPECT_EQ(Saved("RemotePort"), c.portAfter);
  EXPECT_EQ(Key("MailBox0", "Protocol").value_or("0"), protocol);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ProtocolListTest,
    testing::Values(ChoiceSwitch{"Pop3PlainToImap", "RemotePort=110\r\n", 1, -1, "143"},
                    ChoiceSwitch{"Pop3TlsToImap", "RemotePort=995\r\nSecurity=1\r\n", 1, -1, "993"},
                    ChoiceSwitch{"ImapTlsToPop3", "Protocol=1\r\nRemotePort=993\r\nSecurity=1\r\n",
                                 0, -1, "995"},
                    ChoiceSwitch{"ImapStartTlsToPop3",
                                 "Protocol=1\r\nRemotePort=143\r\nSecurity=2\r\n", 0, -1, "110"},
                    ChoiceSwitch{"ImapPlainToTls", "Protocol=1\r\nRemotePort=143\r\n", -1, 1,
                                 "993"},
                    ChoiceSwitch{"ImapTlsToStartTls",
                                 "Protocol=1\r\nRemotePort=993\r\nSecurity=1\r\n", -1, 2, "143"},
                    ChoiceSwitch{"TlsThenImap", "RemotePort=110\r\n", 1, 1, "993"},
                    ChoiceSwitch{"OwnPortStays", "RemotePort=2110\r\n", 1, 1, "2110"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigWindowTest, ImapControlsTakeInputOnlyForImapAndAreSaved) {
  Load("RemotePort=110\r\n");
  for (int id : {frmConfig::kFolder, frmConfig::kPush, frmConfig::kMarkReadOnAck}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  EXPECT_TRUE(Checked(frmConfig::kPush));  // on until switched off
  EXPECT_FALSE(Checked(frmConfig::kMarkReadOnAck));
  ChooseProtocol(1);
  for (int id : {frmConfig::kFolder, frmConfig::kPush, frmConfig::kMarkReadOnAck}) {
    EXPECT_TRUE(Enabled(id)) << id;
  }
  SetTextOf(frmConfig::kFolder, " Arbeit/B\u00fcro ");
  Click(frmConfig::kPush);
  Click(frmConfig::kMarkReadOnAck);
  Click(frmConfig::kOption1 + 1);  // a POP3 mailbox again
  EXPECT_FALSE(Enabled(frmConfig::kFolder));
  EXPECT_EQ(TextOf(frmConfig::kFolder), L"");
  Click(frmConfig::kOption1);
  EXPECT_TRUE(Enabled(frmConfig::kFolder));
  EXPECT_EQ(Narrow(TextOf(frmConfig::kFolder)), "Arbeit/B\u00fcro");
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(Key("MailBox0", "Protocol"), "1");
  EXPECT_EQ(Key("MailBox0", "RemotePort"), "143");
  EXPECT_EQ(Key("MailBox0", "Folder"), "Arbeit/B\u00fcro");
  EXPECT_EQ(Key("MailBox0", "Push"), "0");
  EXPECT_EQ(Key("MailBox0", "MarkReadOnAck"), "1");
}

TEST_F(ConfigWindowTest, Pop3MailboxGainsNoImapLineAndAnUnknownProtocolIsKept) {
  Load("RemotePort=110\r\n");
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  for (const char* key : {"Protocol", "Folder", "Push", "MarkReadOnAck"}) {
    EXPECT_EQ(Key("MailBox0", key), std::nullopt) << key;
  }
  Load("Protocol=7\r\nRemotePort=110\r\nFolder=Sent\r\n");
  EXPECT_EQ(SendMessageW(Control(frmConfig::kProtocol), CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_FALSE(Enabled(frmConfig::kFolder));
  EXPECT_EQ(Saved("Protocol"), "7");
  EXPECT_EQ(Key("MailBox0", "Folder"), "Sent");
}

}  // namespace
}  // namespace postvane
