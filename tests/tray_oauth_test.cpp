// The tray program with an OAuth mailbox: the access token is renewed before each check, the
// refresh token read again first (postvane-check may have renewed it), and a new one saved at
// once, before the mailbox is even connected.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/postvane_app.h"
#include "check/oauth_request.h"
#include "fakes/call_log.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_date_text.h"
#include "fakes/fake_default_mail_client.h"
#include "fakes/fake_desktop_notifier.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_forms.h"
#include "fakes/fake_http_client.h"
#include "fakes/fake_program_starter.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_sound_player.h"
#include "fakes/fake_timer.h"
#include "fakes/fake_tray_icons.h"
#include "settings/ini_file.h"
#include "settings/program_paths.h"
#include "settings/settings_store.h"
#include "text/own_text.h"

namespace postvane {
namespace {

std::string OAuthIni(const std::string& refreshToken) {
  return "[General]\r\nInterval=5\r\n[MailBox0]\r\nName=Work\r\nUser=alice\r\nRemoteHost=pop."
         "test\r\n"
         "RemotePort=995\r\nEnabled=1\r\nSecurity=1\r\nAuth=1\r\nOAuthProvider=google\r\n"
         "OAuthClientId=id\r\nOAuthRefreshToken=" +
         TransformPassword(refreshToken) + "\r\n";
}

class TrayOAuthTest : public testing::Test {
 protected:
  TrayOAuthTest() : sound(&log), programs(&log), forms(&log), mailClient(&log) {
    state.Paths = MakeProgramPaths("pv");
    clock.Set(2026, 12, 7, 10, 0, 0);
  }
  void Start(const std::string& ini) {
    files.Files[state.Paths.SettingsFile] = ini;
    AppPlatform platform{socket, minute, tray,  timeout,  quit,  clock,   dates,
                         files,  icons,  sound, programs, forms, notices, &mailClient};
    platform.Http = &http;
    app = std::make_unique<PostvaneApp>(state, platform);
    app->StartUp(0x0409);
  }
  std::string StoredToken() {
    return TransformPassword(IniFile(files.Content(state.Paths.SettingsFile))
                                 .Read("MailBox0", "OAuthRefreshToken")
                                 .value_or(""));
  }

  CallLog log;
  ProgramState state;
  FakeSocket socket;
  FakeTimer minute{kMinuteTimerMs};
  FakeTimer tray{kTrayTimerMs};
  FakeTimer timeout{kConnectTimeoutMs};
  FakeTimer quit{kQuitWaitMs};
  FakeClock clock;
  FakeDateText dates;
  FakeFileSystem files;
  FakeTrayIcons icons;
  FakeSoundPlayer sound;
  FakeProgramStarter programs;
  FakeForms forms;
  FakeDesktopNotifier notices;
  FakeDefaultMailClient mailClient;
  FakeHttpClient http;
  std::unique_ptr<PostvaneApp> app;
};

TEST_F(TrayOAuthTest, ReloadsRefreshesAndSavesTheNewTokenBeforeConnecting) {
  Start(OAuthIni("rt-1"));
  // The check at start-up asks with the token of the file; a second request for a check while
  // it is on its way asks nobody twice.
  ASSERT_EQ(http.Pending(), 1u);
  EXPECT_NE(http.Requests[0].Body.find("refresh_token=rt-1&"), std::string::npos);
  app->StartCycle();
  EXPECT_EQ(http.Requests.size(), 1u);
  http.Unreachable();
  EXPECT_TRUE(socket.Connects.empty());

  // postvane-check renewed the token meanwhile: the tray's copy is older.
  files.Files[state.Paths.SettingsFile] = OAuthIni("rt-from-check");
  app->StartCycle();
  ASSERT_EQ(http.Requests.size(), 2u);
  EXPECT_EQ(http.Requests.back().Body,
            RefreshBody("rt-from-check", "id", "", PresetEndpoints("google")->Scope));
  EXPECT_TRUE(socket.Connects.empty());

  const std::string file = files.Content(state.Paths.SettingsFile);
  http.Answer(200, R"({"access_token":"at","token_type":"Bearer","expires_in":3600,
                       "refresh_token":"rt-2"})");
  EXPECT_EQ(StoredToken(), "rt-2");
  // Only that line changed.
  IniFile restored(files.Content(state.Paths.SettingsFile));
  restored.WriteBytes("MailBox0", "OAuthRefreshToken", TransformPassword("rt-from-check"));
  EXPECT_EQ(restored.Bytes(), file);
  ASSERT_EQ(socket.Connects.size(), 1u);
  EXPECT_EQ(state.Mailboxes[0].OAuthAccessToken.Token, "at");
}

TEST_F(TrayOAuthTest, UnreachableProviderFailsOnlyThatMailbox) {
  Start(OAuthIni("rt-1") +
        "[MailBox1]\r\nName=Home\r\nUser=bob\r\nPassword=x\r\nRemoteHost=pop1.test\r\n"
        "RemotePort=110\r\nEnabled=1\r\n");
  if (http.Pending() == 0) app->StartCycle();
  ASSERT_EQ(http.Pending(), 1u);
  http.Unreachable();
  EXPECT_EQ(state.Mailboxes[0].StatusText,
            OwnString(state.LanguageBase, OwnText::SignInServiceUnreachable));
  ASSERT_EQ(socket.Connects.size(), 1u);
  EXPECT_EQ(socket.Connects[0].RemoteHost, "pop1.test");
}

}  // namespace
}  // namespace postvane
