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

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "../fakes/example_settings.h"
#include "../fakes/temp_folder.h"
#include "check/connection_security.h"
#include "settings/ini_file.h"
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
  void ChooseSecurity(int entry) {
    SendMessageW(Control(frmConfig::kSecurity), CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(frmConfig::kSecurity, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Control(frmConfig::kSecurity)));
  }
  std::optional<std::string> Saved(const std::string& key) {
    SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    return IniFile(ReadAll(file_)).Read("MailBox0", key);
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

}  // namespace
}  // namespace postvane
