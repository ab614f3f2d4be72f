// The tray program put together: settings file, check engine, timers, tray and windows.
#include "app/postvane_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/first_use.h"
#include "fakes/call_log.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_date_text.h"
#include "fakes/fake_default_mail_client.h"
#include "fakes/fake_desktop_notifier.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_forms.h"
#include "fakes/fake_program_starter.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_sound_player.h"
#include "fakes/fake_timer.h"
#include "fakes/fake_tray_icons.h"
#include "settings/program_paths.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

constexpr uint16_t kEnglish = 0x0409;
constexpr uint16_t kGerman = 0x0407;

std::string Listing(int count) {
  std::string text = "+OK " + std::to_string(count) + " messages\r\n";
  for (int n = 1; n <= count; ++n) text += std::to_string(n) + " u" + std::to_string(n) + "\r\n";
  return text + ".\r\n";
}

std::string TopReply(int n, const std::string& priority = "3") {
  return "+OK\r\nFrom: sender" + std::to_string(n) + "\r\nSubject: subject" + std::to_string(n) +
         "\r\nX-Priority: " + priority + "\r\n\r\n.\r\n";
}

class PostvaneAppTest : public ::testing::Test {
 protected:
  PostvaneAppTest() : sound(&log), programs(&log), forms(&log), mailClient(&log) {
    state.Paths = MakeProgramPaths("pv");
    clock.Set(2026, 12, 7, 10, 0, 0);
  }

  void Make() {
    app = std::make_unique<PostvaneApp>(
        state, AppPlatform{socket, minute, tray, timeout, quit, clock, dates, files, icons, sound,
                           programs, forms, notices, &mailClient});
  }

  // Start-up as the front end runs it.
  void Start(const std::string& ini, uint16_t language = kEnglish) {
    if (!ini.empty()) files.Files[state.Paths.SettingsFile] = ini;
    Make();
    app->StartUp(language);
    minute.Start();
  }

  std::string Ini() const { return files.Content(state.Paths.SettingsFile); }
  MailboxRecord& Box(int i) { return state.Mailboxes[i]; }

  // The current mailbox has connected: greeting to the UIDL listing of `messages` messages.
  void AnswerUpToListing(int messages) {
    socket.RaiseConnect();
    for (const std::string& reply :
         {std::string("+OK ready\r\n"), std::string("+OK\r\n"), std::string("+OK in\r\n"),
          "+OK " + std::to_string(messages) + " 9000\r\n", std::string("-ERR\r\n")}) {
      socket.Receive(reply);
    }
    socket.Receive(Listing(messages));
  }

  ProgramState state;
  CallLog log;
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
  std::unique_ptr<PostvaneApp> app;
};

const char kTwoMailboxes[] =
    "[MailBox1]\r\nName=Home\r\nRemoteHost=pop.home.test\r\nRemotePort=110\r\nUser=me\r\n"
    "Enabled=1\r\nUIDL=u1\r\n"
    "[MailBox4]\r\nName=Work\r\nRemoteHost=pop.work.test\r\nEnabled=1\r\n"
    "[General]\r\nInterval=2\r\nTrayType=0\r\nMDaemonActivate=1\r\nNotifyType=7\r\n"
    "MailProgram=reader --new\r\nMDaemonPath=/srv/md\r\n";

TEST_F(PostvaneAppTest, RegistersTheTickHandlersButLeavesTheTimersToTheFrontEnd) {
  Make();
  EXPECT_TRUE(minute.Handler);
  EXPECT_TRUE(tray.Handler);
  EXPECT_EQ(minute.StartCount, 0);
  EXPECT_EQ(tray.StartCount, 0);
  app.reset();
  EXPECT_FALSE(minute.Handler);
  EXPECT_FALSE(tray.Handler);
}

TEST_F(PostvaneAppTest, StartUpLoadsSettingsAndStartsTheFirstCycle) {
  Start(kTwoMailboxes, kGerman);
  EXPECT_EQ(state.LanguageBase, 700);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "LocalizeMainCaptions");
  EXPECT_EQ(log[1], "SetMDaemonMenuVisible(1)");
  EXPECT_EQ(Box(1).Name, "Home");
  EXPECT_EQ(Box(1).UIDL, "u1");
  EXPECT_EQ(state.General.Interval, 2);
  for (int i = 0; i < kUserMailboxes; ++i) EXPECT_EQ(Box(i).Headers.size(), 1u) << i;
  EXPECT_TRUE(state.Mailboxes[kEndOfCycle].Headers.empty());

  // The first enabled mailbox is connecting; the single icon animates.
  ASSERT_EQ(socket.Connects.size(), 1u);
  EXPECT_EQ(socket.Connects[0].RemoteHost, "pop.home.test");
  EXPECT_EQ(state.CurrentMailbox, 1);
  EXPECT_EQ(icons.Picture[0], 135);
  EXPECT_EQ(icons.ToolTip[0], LocalString(700, StringId::Checking));
  EXPECT_EQ(icons.CountWrites(FakeTrayIcons::What::Visible), 0);
  EXPECT_TRUE(timeout.IsRunning());
}

TEST_F(PostvaneAppTest, FirstStartOpensTheDialogOnTheMailboxesTabOnceTheTrayShows) {
  Make();
  // The tray is drawn before the dialog is asked for.
  std::vector<std::string> tipWhenDialogOpened;
  forms.OnShowConfigOn = [&] { tipWhenDialogOpened.push_back(icons.ToolTip[0]); };
  app->StartUp(kEnglish);
  EXPECT_EQ(log, (CallLog{"LocalizeMainCaptions", "SetMDaemonMenuVisible(0)",
                          "ShowConfigOn(Mailboxes)"}));
  EXPECT_TRUE(socket.Connects.empty());
  EXPECT_EQ(icons.VisibleIcons(), std::vector<int>{0});
  EXPECT_EQ(icons.Picture[0], 101);
  EXPECT_EQ(icons.ToolTip[0], "Postvane: " + OwnString(900, OwnText::NoMailboxEnabled));
  EXPECT_EQ(tipWhenDialogOpened, std::vector<std::string>{icons.ToolTip[0]});
  EXPECT_TRUE(files.Files.empty());  // start-up writes nothing
}

TEST_F(PostvaneAppTest, WithASettingsFileNoDialogOpensAtStartUp) {
  for (const std::string& ini :
       {std::string(), std::string("[General]\r\nInterval=5\r\n"), std::string(kTwoMailboxes)}) {
    files.Files[state.Paths.SettingsFile] = ini;  // even an empty file was saved by someone
    log.clear();
    Make();
    app->StartUp(kEnglish);
    EXPECT_EQ(std::count(log.begin(), log.end(), "ShowConfigOn(Mailboxes)"), 0) << ini;
  }
}

TEST_F(PostvaneAppTest, ClosingTheDialogWithANewLoginChecksAtOnce) {
  Start("");
  ASSERT_TRUE(socket.Connects.empty());
  app->OnConfigClosed();  // closed without entering anything
  EXPECT_TRUE(socket.Connects.empty());

  // As the dialog leaves it: mailbox 3 entered and enabled.
  Box(3).RemoteHost = "pop.new.test";
  Box(3).RemotePort = 110;
  Box(3).User = "me";
  Box(3).Enabled = kTrue;
  app->OnConfigClosed();
  ASSERT_EQ(socket.Connects.size(), 1u);
  EXPECT_EQ(socket.Connects[0].RemoteHost, "pop.new.test");
  EXPECT_EQ(state.CurrentMailbox, 3);

  // Opened and closed again without a change: the check runs on its own schedule.
  app->OnConfigClosed();
  EXPECT_EQ(socket.Connects.size(), 1u);

  Box(3).Password = "typo fixed";
  app->OnConfigClosed();
  EXPECT_EQ(socket.Connects.size(), 2u);
}

// The menu's Run Mail Reader and the double click without a mail program: the desktop's mail
// client, or the status window when the desktop has none.
TEST_F(PostvaneAppTest, WithoutAProgramTheDefaultClientOrTheStatusOpens) {
  const std::function<void(PostvaneApp&)> entries[] = {
      [](PostvaneApp& a) { a.OpenMailReader(); }, [](PostvaneApp& a) { a.OnTrayDoubleClick(0); }};
  for (const auto& entry : entries) {
    for (const char* program : {"", "   "}) {
      for (const char* client : {"Mail", ""}) {
        Start(std::string("[General]\r\nDoubleClick=0\r\nMailProgram=\"") + program + "\"\r\n");
        mailClient.ClientName = client;
        log.clear();
        entry(*app);
        const CallLog expected =
            *client != '\0' ? CallLog{"StartMailClient(Mail)"} : CallLog{"ShowStatus"};
        EXPECT_EQ(log, expected) << "'" << program << "' '" << client << "'";
      }
    }
  }
}

// A settings file that yields no mailbox (here UTF-32, which nothing reads) does not pass for a
// quiet idle program: the tool tip says so, in both tray modes, until a mailbox is saved.
TEST_F(PostvaneAppTest, SettingsFileWithoutMailboxesIsSaidInTheToolTip) {
  for (const char* trayType : {"0", "1"}) {
    SCOPED_TRACE(trayType);
    const std::string unreadable = std::string("\xFF\xFE\0\0[\0\0\0M\0\0\0", 12);
    files.Files[state.Paths.SettingsFile] = unreadable;
    Start("", kGerman);
    state.General.TrayType = static_cast<int16_t>(std::stoi(trayType));
    app->RefreshTray();
    EXPECT_EQ(icons.ToolTip[0],
              "00:00:00 - Postvane: " + OwnString(700, OwnText::NoMailboxSection));
    EXPECT_EQ(files.Content(state.Paths.SettingsFile), unreadable) << "left as it was";

    // Once the file has a mailbox section, the tool tip is the set-up hint for a file with no
    // mailbox switched on yet.
    files.Files[state.Paths.SettingsFile] = "[MailBox4]\r\nName=New\r\n";
    app->StartCycle();
    app->RefreshTray();
    EXPECT_EQ(icons.ToolTip[0], NoMailboxToolTip(700));
    app.reset();
  }
}

TEST_F(PostvaneAppTest, CycleNotifiesAndAClickAcknowledgesAndSaves) {
  Start(
      "[MailBox0]\r\nName=Inbox\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "[General]\r\nNotifyType=7\r\nMailProgram=reader\r\n");
  AnswerUpToListing(3);
  EXPECT_EQ(Box(0).NewCount, 2);
  socket.Receive(TopReply(2, "1"));
  socket.Receive(TopReply(3));
  log.clear();
  socket.Receive("+OK bye\r\n");
  EXPECT_EQ(log, (CallLog{"PlayAsync(" + state.Paths.DefaultSoundFile + ")", "ShowStatus",
                          "StartDetached(reader)"}));
  EXPECT_EQ(icons.VisibleIcons(), std::vector<int>{0});
  EXPECT_EQ(icons.ToolTip[0], "2026-12-07 10:00:00 - Inbox has 2 new message(s)!");

  const std::vector<StatusNode> tree = app->BuildStatusTree();
  ASSERT_EQ(tree.size(), 16u);
  EXPECT_EQ(tree[0].Text, "Inbox 2 new message(s) - 2026-12-07 10:00:00");
  EXPECT_EQ(tree[0].Color, NodeColor::Magenta);
  EXPECT_EQ(tree[3].Text, "From: sender3");
  EXPECT_EQ(app->StatusNodeTextOnExpand("0 Account"), "Inbox - 2026-12-07 10:00:00");

  app->OnTrayClick(0);
  EXPECT_EQ(Box(0).NewCount, 0);
  EXPECT_EQ(Box(0).UIDL, "u3");
  EXPECT_NE(Ini().find("UIDL=u3"), std::string::npos);
  EXPECT_EQ(Ini().find("UIDL=u1"), std::string::npos);
  EXPECT_EQ(app->StatusNodeTextOnCollapse("0 Account"),
            "Inbox 0 new message(s) - 2026-12-07 10:00:00");

  ASSERT_TRUE(tray.Fire());
  EXPECT_EQ(icons.Picture[0], 101);
  EXPECT_EQ(icons.ToolTip[0], "2026-12-07 10:00:00 - Postvane");
}

// Quiet hours (clock injected) and the desktop's do-not-disturb: the counts and the tray
// update, but nothing sounds, opens or is sent.
class FakeDoNotDisturb : public DoNotDisturb {
 public:
  bool On = false;
  int Asked = 0;
  bool Active() override {
    ++Asked;
    return On;
  }
};

TEST_F(PostvaneAppTest, QuietHoursAndDoNotDisturbSilenceTheNotification) {
  struct Row {
    const char* What;
    const char* Quiet;  // the General keys
    int Hour;
    int Minute;
    bool DoNotDisturb;
    bool Silent;
  };
  const Row rows[] = {
      {"inside a span across midnight, evening", "QuietFrom=1320\r\nQuietTo=420\r\n", 23, 30, false,
       true},
      {"inside a span across midnight, morning", "QuietFrom=1320\r\nQuietTo=420\r\n", 6, 59, false,
       true},
      {"at its end", "QuietFrom=1320\r\nQuietTo=420\r\n", 7, 0, false, false},
      {"a day-time span", "QuietFrom=720\r\nQuietTo=780\r\n", 12, 15, false, true},
      {"one end empty is off", "QuietFrom=720\r\nQuietTo=\r\n", 12, 15, false, false},
      {"no quiet hours", "", 23, 30, false, false},
      {"the desktop's do-not-disturb", "", 10, 0, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.What);
    FakeDoNotDisturb dnd;
    dnd.On = row.DoNotDisturb;
    clock.Set(2026, 12, 7, row.Hour, row.Minute, 0);
    files.Files[state.Paths.SettingsFile] =
        std::string(
            "[MailBox0]\r\nName=Inbox\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
            "[General]\r\nNotifyType=15\r\nMailProgram=reader\r\n") +
        row.Quiet;
    state.NotifiedCount.fill(0);
    app = std::make_unique<PostvaneApp>(
        state, AppPlatform{socket, minute, tray, timeout, quit, clock, dates, files, icons, sound,
                           programs, forms, notices, &mailClient, &dnd});
    app->StartUp(kEnglish);
    AnswerUpToListing(2);
    socket.Receive(TopReply(2));
    log.clear();
    const std::size_t noticesBefore = notices.Shown.size();
    socket.Receive("+OK bye\r\n");
    EXPECT_EQ(Box(0).NewCount, 1);
    EXPECT_NE(icons.ToolTip[0].find("Inbox has 1 new message(s)!"), std::string::npos);
    EXPECT_EQ(log.empty(), row.Silent) << ::testing::PrintToString(log);
    EXPECT_EQ(notices.Shown.size() == noticesBefore, row.Silent);
    app.reset();
  }
}

// Asking the desktop costs a bus call and a program start: a cycle with nothing new to tell
// does not ask.
TEST_F(PostvaneAppTest, DoNotDisturbIsAskedOnlyWhenANotificationIsDue) {
  FakeDoNotDisturb dnd;
  files.Files[state.Paths.SettingsFile] =
      "[MailBox0]\r\nName=Inbox\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "[General]\r\nNotifyType=8\r\n";
  app = std::make_unique<PostvaneApp>(
      state, AppPlatform{socket, minute, tray, timeout, quit, clock, dates, files, icons, sound,
                         programs, forms, notices, &mailClient, &dnd});
  app->StartUp(kEnglish);
  const auto cycle = [&] {
    AnswerUpToListing(2);
    socket.Receive(TopReply(2));
    socket.Receive("+OK bye\r\n");
  };
  cycle();
  ASSERT_EQ(Box(0).NewCount, 1);
  EXPECT_EQ(dnd.Asked, 1);
  const std::size_t shown = notices.Shown.size();
  for (int i = 0; i < 3; ++i) {
    app->StartCycle();
    cycle();
  }
  EXPECT_EQ(Box(0).NewCount, 1);
  EXPECT_EQ(notices.Shown.size(), shown);
  EXPECT_EQ(dnd.Asked, 1);
  app.reset();
}

class FakeWebBrowser : public WebBrowser {
 public:
  std::vector<std::string> Opened;
  bool OpenWebPage(const std::string& url) override {
    Opened.push_back(url);
    return true;
  }
};

TEST_F(PostvaneAppTest, NoticeClickAcknowledgesAndOpensTheWebMail) {
  FakeWebBrowser browser;
  files.Files[state.Paths.SettingsFile] =
      "[MailBox0]\r\nName=Inbox\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "WebMailUrl=https://mail.example.org/\r\n[MailBox1]\r\nWebMailUrl=http://plain.example/\r\n"
      "[General]\r\nNotifyType=8\r\n";
  app = std::make_unique<PostvaneApp>(
      state, AppPlatform{socket, minute, tray, timeout, quit, clock, dates, files, icons, sound,
                         programs, forms, notices, &mailClient, nullptr, &browser});
  app->StartUp(kEnglish);
  AnswerUpToListing(2);
  socket.Receive(TopReply(2));
  socket.Receive("+OK bye\r\n");
  ASSERT_EQ(Box(0).NewCount, 1);
  notices.Click();
  EXPECT_EQ(Box(0).NewCount, 0);
  EXPECT_EQ(browser.Opened, std::vector<std::string>{"https://mail.example.org/"});
  // Nothing new: the click only acknowledges.
  notices.Click();
  EXPECT_EQ(browser.Opened.size(), 1u);
  // The menu entry; a plain http address is never opened.
  app->OpenWebMail(0);
  app->OpenWebMail(1);
  app->OpenWebMail(10);
  EXPECT_EQ(browser.Opened.size(), 2u);
}

// The tray timer wakes the program only while the tray has work; each row is what happens
// next, whether the timer then runs, and whether one more tick stops it.
TEST_F(PostvaneAppTest, TrayTimerRunsOnlyWhileTheTrayHasWork) {
  Start(
      "[MailBox0]\r\nName=Inbox\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "[General]\r\nTrayType=1\r\nNotifyType=0\r\nMDaemonActivate=1\r\nMDaemonPath=/srv/md\r\n");
  EXPECT_TRUE(tray.IsRunning()) << "the start-up check animates";

  struct Step {
    const char* what;
    std::function<void()> act;
    bool running;
  };
  const std::vector<Step> steps = {
      {"check with new mail: icons blink",
       [&] {
         AnswerUpToListing(2);
         socket.Receive(TopReply(2));
         socket.Receive("+OK bye\r\n");
       },
       true},
      {"blinking goes on tick after tick", [&] { tray.Fire(); }, true},
      {"a click acknowledges; the timer waits to show it", [&] { app->OnTrayClick(0); }, true},
      {"the next tick shows the idle icon and stops", [&] { tray.Fire(); }, false},
      {"a minute without a check changes nothing", [&] { minute.Fire(); }, false},
      {"an MDaemon request is polled on each tick", [&] { app->RequestMDaemon(); }, true},
      {"the semaphore is written", [&] { tray.Fire(); }, true},
      {"MDaemon idle: the check starts and animates", [&] { tray.Fire(); }, true},
      {"nothing new: the cycle ends",
       [&] {
         AnswerUpToListing(2);
         socket.Receive("+OK bye\r\n");
       },
       true},
      {"one tick shows the result and stops", [&] { tray.Fire(); }, false},
      {"saved settings are shown at the next tick", [&] { app->TrayStateChanged(); }, true},
      {"and then it stops again", [&] { tray.Fire(); }, false},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(tray.IsRunning(), step.running) << step.what;
  }
  EXPECT_EQ(icons.Picture[0], 101);
  EXPECT_EQ(state.MDaemonRequest, 0);
}

TEST_F(PostvaneAppTest, RunningTrayTimerKeepsItsRhythmThroughChanges) {
  Start("[MailBox0]\r\nRemoteHost=pop.test\r\nEnabled=1\r\n[General]\r\nTrayType=1\r\n");
  const int starts = tray.StartCount;
  ASSERT_TRUE(tray.IsRunning());
  app->RequestMDaemon();
  app->RefreshTray();
  app->StartCycle();
  EXPECT_EQ(tray.StartCount, starts);
}

TEST_F(PostvaneAppTest, AcknowledgingWithoutAListingKeepsTheSavedPosition) {
  Start("[MailBox2]\r\nName=Box\r\nUIDL=keep-me\r\n[General]\r\nTrayType=0\r\n");
  Box(2).NewCount = 3;  // counted without a unique-id listing
  state.NotifiedCount[2] = 3;
  const std::string before = Ini();
  const int writes = files.WriteCount + files.ReplaceCount + files.AppendCount;
  app->OnTrayClick(0);
  EXPECT_EQ(Box(2).NewCount, 0);
  EXPECT_EQ(state.NotifiedCount[2], 0);
  EXPECT_EQ(Box(2).UIDL, "keep-me");
  EXPECT_EQ(Ini(), before);
  EXPECT_EQ(files.WriteCount + files.ReplaceCount + files.AppendCount, writes);
}

// postvane-check acknowledged mail while the tray ran: the next cycle counts from there, and a
// later acknowledgement in the tray does not undo the other mailbox's.
TEST_F(PostvaneAppTest, CycleTakesOverAnAcknowledgementSavedByAnotherProgram) {
  Start(
      "[MailBox0]\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "[MailBox1]\r\nUIDL=b1\r\n[General]\r\nInterval=0\r\n");
  EXPECT_EQ(files.TemporaryCleanups, std::vector<std::string>{state.Paths.SettingsFile});
  AnswerUpToListing(3);
  EXPECT_EQ(Box(0).NewCount, 2);

  SettingsStore other(files, state.Paths.SettingsFile, "");
  other.SaveUidl(0, "u3");
  other.SaveUidl(1, "b7");
  app->StartCycle();
  EXPECT_EQ(Box(0).UIDL, "u3");
  EXPECT_EQ(Box(1).UIDL, "b7");
  AnswerUpToListing(3);
  EXPECT_EQ(Box(0).NewCount, 0);

  // A failed save of the tray's own acknowledgement is not undone by the file's older id.
  Box(0).UIDL = "u9";
  app->StartCycle();
  EXPECT_EQ(Box(0).UIDL, "u9");
  EXPECT_NE(Ini().find("UIDL=b7"), std::string::npos);
}

// The same for an IMAP mailbox's point, which postvane-check --ack saves beside UIDL.
TEST_F(PostvaneAppTest, CycleTakesOverAnImapPointSavedByAnotherProgram) {
  Start(
      "[MailBox0]\r\nProtocol=1\r\nImapUidValidity=5\r\nImapLastUid=3\r\nUIDL=u1\r\n"
      "[General]\r\nInterval=0\r\n");
  EXPECT_EQ(Box(0).ImapLastUid, 3u);
  SettingsStore other(files, state.Paths.SettingsFile, "");
  other.SaveImapPoint(0, 6, 9);
  app->StartCycle();
  EXPECT_EQ(Box(0).ImapUidValidity, 6u);
  EXPECT_EQ(Box(0).ImapLastUid, 9u);
  EXPECT_EQ(Box(0).UIDL, "u1");
  // The tray's own later point, whose save failed, is not undone by the file's older one.
  Box(0).ImapLastUid = 12;
  app->StartCycle();
  EXPECT_EQ(Box(0).ImapLastUid, 12u);
}

TEST_F(PostvaneAppTest, OutOfTurnCheckOfOneMailboxNotifiesAsACycleDoes) {
  Start(
      "[MailBox0]\r\nName=Inbox\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "[MailBox2]\r\nName=Other\r\nRemoteHost=pop.other.test\r\nEnabled=1\r\n"
      "[General]\r\nNotifyType=1\r\n");
  socket.RaiseError(10061, "refused");  // mailbox 0 of the start-up cycle
  socket.RaiseError(10061, "refused");  // mailbox 2: the cycle ends
  ASSERT_FALSE(app->Engine().CycleRunning());
  SettingsStore other(files, state.Paths.SettingsFile, "");
  other.SaveUidl(0, "u2");
  log.clear();

  app->CheckMailboxNow(0);
  EXPECT_EQ(Box(0).UIDL, "u2");
  ASSERT_EQ(socket.Connects.size(), 3u);
  EXPECT_EQ(socket.Connects.back().RemoteHost, "pop.test");
  AnswerUpToListing(3);
  EXPECT_EQ(Box(0).NewCount, 1);
  socket.Receive(TopReply(3));
  socket.Receive("+OK bye\r\n");
  EXPECT_EQ(socket.Connects.size(), 3u);
  EXPECT_EQ(log, CallLog{"PlayAsync(" + state.Paths.DefaultSoundFile + ")"});
  EXPECT_EQ(icons.ToolTip[0], "2026-12-07 10:00:00 - Inbox has 1 new message(s)!");
  EXPECT_FALSE(app->Engine().CycleRunning());
}

// The tray program with push: a watch per IMAP mailbox that asks for it, news from the
// server checks that mailbox out of turn, and the watches follow the settings and the exit.
class PostvaneAppPushTest : public PostvaneAppTest {
 protected:
  PostvaneAppPushTest() {
    push.MakeSocket = [this] {
      auto made = std::make_unique<FakeSocket>();
      watchSockets.push_back(made.get());
      return made;
    };
    push.MakeTimer = [this](int milliseconds) {
      auto timer = std::make_unique<FakeTimer>(milliseconds);
      watchTimers.push_back(timer.get());
      return timer;
    };
  }

  void StartWithPush(const std::string& ini) {
    files.Files[state.Paths.SettingsFile] = ini;
    AppPlatform platform{socket, minute, tray,  timeout,  quit,  clock,   dates,
                         files,  icons,  sound, programs, forms, notices, &mailClient};
    platform.Push = &push;
    app = std::make_unique<PostvaneApp>(state, platform);
    app->StartUp(kEnglish);
    minute.Start();
  }

  PushPlatform push;
  std::vector<FakeSocket*> watchSockets;
  std::vector<FakeTimer*> watchTimers;
};

const char kImapAndPop[] =
    "[MailBox0]\r\nName=Pop\r\nRemoteHost=pop.test\r\nEnabled=1\r\n"
    "[MailBox3]\r\nName=Imap\r\nRemoteHost=imap.test\r\nRemotePort=143\r\nSecurity=0\r\n"
    "Protocol=1\r\nUser=me\r\nPassword=pw\r\nEnabled=1\r\n"
    "[General]\r\nInterval=4\r\n";

TEST_F(PostvaneAppPushTest, NewsFromTheWatchChecksThatMailboxAfterTheRunningCycle) {
  StartWithPush(kImapAndPop);
  ASSERT_EQ(watchSockets.size(), 1u);
  FakeSocket& watch = *watchSockets[0];
  ASSERT_EQ(watch.Connects.size(), 1u);
  EXPECT_EQ(watch.Connects[0].RemoteHost, "imap.test");
  EXPECT_EQ(watch.Connects[0].LocalPort, 0);
  watch.RaiseConnect();
  watch.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] hi\r\n");
  watch.Receive("W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\nW2 OK [READ-ONLY] ok\r\n+ idling\r\n");
  ASSERT_EQ(app->Push()->Watch(3)->Current(), ImapWatch::Step::Idling);

  // The start-up cycle is still at mailbox 0: it will check 3 anyway.
  ASSERT_EQ(state.CurrentMailbox, 0);
  watch.Receive("* 7 EXISTS\r\n");
  EXPECT_TRUE(app->Engine().WaitingChecks().empty());
  socket.RaiseError(10061, "refused");  // mailbox 0 fails, the cycle goes on to 3
  ASSERT_EQ(state.CurrentMailbox, 3);
  // Under way already, it may have missed this one: 3 waits for the cycle's end.
  watch.Receive("* 8 EXISTS\r\n");
  EXPECT_EQ(app->Engine().WaitingChecks(), std::vector<int16_t>{3});
  socket.RaiseError(10061, "refused");  // mailbox 3 fails: the cycle ends, 3 alone follows
  EXPECT_EQ(state.CurrentMailbox, 3);
  EXPECT_EQ(socket.Connects.back().RemoteHost, "imap.test");
  EXPECT_EQ(socket.Connects.back().LocalPort, kFirstLocalPort);
  EXPECT_TRUE(app->Engine().CycleRunning());
}

TEST_F(PostvaneAppPushTest, ServerWithoutIdleLeavesTheMailboxToTheIntervalChecks) {
  StartWithPush(kImapAndPop);
  FakeSocket& watch = *watchSockets.at(0);
  watch.RaiseConnect();
  watch.Receive("* OK [CAPABILITY IMAP4rev1] hi\r\nW1 OK [CAPABILITY IMAP4rev1] in\r\n");
  EXPECT_EQ(app->Push()->Watch(3)->Current(), ImapWatch::Step::NoPush);
  EXPECT_FALSE(watch.Open);
  socket.RaiseError(10061, "refused");
  socket.RaiseError(10061, "refused");
  ASSERT_FALSE(app->Engine().CycleRunning());
  const std::size_t connects = socket.Connects.size();
  for (int tick = 0; tick <= 4; ++tick) minute.Fire();  // Interval=4: the fifth tick checks
  ASSERT_EQ(socket.Connects.size(), connects + 1);
  socket.RaiseError(10061, "refused");
  EXPECT_EQ(socket.Connects.back().RemoteHost, "imap.test");
  // Nothing of the watch came back meanwhile.
  EXPECT_EQ(watch.Connects.size(), 1u);
}

TEST_F(PostvaneAppPushTest, WatchesFollowTheDialogAndEndWithTheProgram) {
  StartWithPush(kImapAndPop);
  ASSERT_NE(app->Push()->Watch(3), nullptr);
  Box(3).Push = kFalse;
  app->OnConfigClosed();
  EXPECT_EQ(app->Push()->Watch(3), nullptr);
  EXPECT_FALSE(watchSockets[0]->Open);
  Box(3).Push = kTrue;
  Box(3).Folder = "Work";
  app->OnConfigClosed();
  ASSERT_NE(app->Push()->Watch(3), nullptr);
  EXPECT_EQ(app->Push()->Watch(3)->Target().Folder, "Work");
  app->ExitProgram();
  EXPECT_EQ(app->Push()->Watch(3), nullptr);
  EXPECT_TRUE(forms.Exited);
}

TEST_F(PostvaneAppPushTest, WatchLinesGoToTheReceiveLogWithoutThePassword) {
  StartWithPush(std::string(kImapAndPop) + "ReceiveLog=1\r\n");
  FakeSocket& watch = *watchSockets.at(0);
  watch.RaiseConnect();
  watch.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] hi\r\n");
  watch.RaisePeerClose();
  const std::string log = files.Content(state.Paths.ReceiveLog);
  EXPECT_NE(log.find("Imap IDLE: W1 LOGIN \"me\" xxxxx"), std::string::npos) << log;
  EXPECT_NE(log.find(OwnString(900, OwnText::IdleConnectionLost)), std::string::npos);
  EXPECT_EQ(log.find("pw"), std::string::npos);
}

TEST_F(PostvaneAppTest, MinuteTimerStartsACycleOnEveryIntervalPlusOnethTick) {
  Start("[MailBox3]\r\nRemoteHost=pop3.test\r\nEnabled=1\r\n[General]\r\nInterval=1\r\n");
  ASSERT_EQ(socket.Connects.size(), 1u);
  minute.Fire();
  EXPECT_EQ(socket.Connects.size(), 1u);
  minute.Fire();
  EXPECT_EQ(socket.Connects.size(), 2u);
  EXPECT_EQ(state.MinuteCount, 0);
  // A manual check does not move the schedule.
  minute.Fire();
  app->StartCycle();
  EXPECT_EQ(socket.Connects.size(), 3u);
  minute.Fire();
  EXPECT_EQ(socket.Connects.size(), 4u);
}

TEST_F(PostvaneAppTest, TrayTimerDrivesTheMDaemonRequestToACheck) {
  Start(kTwoMailboxes);
  const std::string semaphore = JoinPath("/srv/md", "PROCNOW.SEM");
  files.Files[JoinPath("/srv/md", "PREDIAL.SEM")] = "";
  const size_t connects = socket.Connects.size();
  app->RequestMDaemon();
  tray.Fire();
  EXPECT_EQ(files.Content(semaphore), "Process Now\r\n");
  tray.Fire();
  tray.Fire();
  EXPECT_EQ(socket.Connects.size(), connects);
  files.Files.erase(JoinPath("/srv/md", "PREDIAL.SEM"));
  tray.Fire();
  EXPECT_EQ(socket.Connects.size(), connects + 1);
  EXPECT_EQ(state.MDaemonRequest, 0);
}

TEST_F(PostvaneAppTest, EmptyMDaemonPathStillChecksTwoTicksAfterTheClick) {
  Start("[MailBox0]\r\nRemoteHost=pop.test\r\nEnabled=1\r\n[General]\r\nMDaemonActivate=1\r\n");
  files.Files[JoinPath("", "ONLINE.SEM")] = "";
  const size_t connects = socket.Connects.size();
  const int writes = files.WriteCount;
  app->RequestMDaemon();
  tray.Fire();
  tray.Fire();
  EXPECT_EQ(files.WriteCount, writes);
  EXPECT_EQ(socket.Connects.size(), connects + 1);
}

class CheckMailDoubleClickTest : public PostvaneAppTest {
 protected:
  void SetUp() override {
    Start(
        "[MailBox0]\r\nName=A\r\nRemoteHost=a.test\r\nEnabled=1\r\n"
        "[MailBox1]\r\nName=B\r\nRemoteHost=b.test\r\nEnabled=1\r\n"
        "[General]\r\nDoubleClick=2\r\nInterval=5\r\nNotifyType=1\r\n");
  }
};

TEST_F(CheckMailDoubleClickTest, DuringADialogueTheCycleGoesOnAndNotifies) {
  socket.RaiseConnect();
  socket.Receive("+OK ready\r\n");
  app->OnTrayDoubleClick(0);
  EXPECT_EQ(state.CurrentMailbox, 0);
  EXPECT_EQ(state.MinuteCount, 1);
  EXPECT_EQ(Box(0).State, MailboxState::UserSent);
  for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK 1 100\r\n", "-ERR\r\n"}) {
    socket.Receive(reply);
  }
  socket.Receive(Listing(1));
  socket.Receive(TopReply(1));
  socket.Receive("+OK bye\r\n");
  EXPECT_EQ(state.CurrentMailbox, 1);
  EXPECT_EQ(socket.Connects.back().RemoteHost, "b.test");
  EXPECT_TRUE(state.Mailboxes[kEndOfCycle].NewestUidl.empty());
  AnswerUpToListing(0);
  socket.Receive("+OK bye\r\n");
  EXPECT_EQ(sound.Played.size(), 1u);
}

TEST_F(CheckMailDoubleClickTest, DuringTheQuitWaitTheCycleGoesOn) {
  AnswerUpToListing(0);
  ASSERT_TRUE(quit.IsRunning());
  app->OnTrayDoubleClick(0);
  EXPECT_EQ(state.CurrentMailbox, 0);
  socket.Receive("+OK bye\r\n");
  EXPECT_EQ(state.CurrentMailbox, 1);
  EXPECT_EQ(socket.Connects.back().RemoteHost, "b.test");
}

TEST_F(CheckMailDoubleClickTest, BetweenCyclesAcknowledgesAndCountsAMinute) {
  AnswerUpToListing(0);
  socket.Receive("+OK bye\r\n");
  AnswerUpToListing(0);
  socket.Receive("+OK bye\r\n");
  ASSERT_FALSE(quit.IsRunning());
  Box(1).NewCount = 2;
  Box(1).NewestUidl = "u9";
  const size_t connects = socket.Connects.size();
  app->OnTrayDoubleClick(1);
  EXPECT_EQ(Box(1).NewCount, 0);
  EXPECT_NE(Ini().find("UIDL=u9"), std::string::npos);
  EXPECT_EQ(state.CurrentMailbox, kEndOfCycle);
  EXPECT_EQ(state.MinuteCount, 1);
  EXPECT_EQ(socket.Connects.size(), connects);

  state.MinuteCount = 5;
  app->OnTrayDoubleClick(1);
  EXPECT_EQ(socket.Connects.size(), connects + 1);
  EXPECT_EQ(socket.Connects.back().RemoteHost, "a.test");
  EXPECT_EQ(state.MinuteCount, 0);
}

TEST_F(PostvaneAppTest, DoubleClickOtherActions) {
  Start("[General]\r\nDoubleClick=0\r\n");
  Box(5).NewCount = 1;
  Box(5).NewestUidl = "u5";
  log.clear();
  app->OnTrayDoubleClick(0);  // no mail program: the desktop's mail client
  EXPECT_EQ(Box(5).NewCount, 0);
  EXPECT_EQ(log, CallLog{"StartMailClient(Mail Client)"});
  log.clear();

  state.General.DoubleClick = 1;
  Box(5).NewCount = 2;
  app->OnTrayDoubleClick(0);
  EXPECT_EQ(Box(5).NewCount, 2);
  EXPECT_EQ(log, CallLog{"ShowStatus"});

  state.General.DoubleClick = 0;
  state.General.MailProgram = "reader";
  log.clear();
  app->OnTrayDoubleClick(3);
  EXPECT_EQ(log, CallLog{"StartDetached(reader)"});
}

TEST_F(PostvaneAppTest, MenuCommands) {
  Start("[General]\r\nMailProgram=reader\r\n");
  log.clear();
  app->OnTrayMenuRequest(4);
  app->OpenMailReader();
  app->ShowStatus();
  app->ShowConfig();
  app->ShowAbout();
  app->RequestMDaemon();
  EXPECT_EQ(state.MDaemonRequest, 1);
  app->ExitProgram();
  EXPECT_EQ(log, (CallLog{"ShowTrayMenu", "StartDetached(reader)", "ShowStatus", "ShowConfig",
                          "ShowAbout", "ExitProgram"}));
}

TEST_F(PostvaneAppTest, PerMailboxClickAcknowledgesOnlyThatMailbox) {
  Start("[General]\r\nTrayType=1\r\n");
  Box(4).NewCount = 1;
  Box(4).NewestUidl = "u4";
  Box(6).NewCount = 2;
  Box(6).NewestUidl = "u6";
  app->OnTrayClick(4);
  EXPECT_EQ(Box(4).NewCount, 0);
  EXPECT_EQ(Box(6).NewCount, 2);
  EXPECT_NE(Ini().find("UIDL=u4"), std::string::npos);
  EXPECT_EQ(Ini().find("UIDL=u6"), std::string::npos);
}

TEST_F(PostvaneAppTest, ClickOnTheDesktopNoticeAcknowledgesLikeTheTrayIcon) {
  Start("");
  for (int i : {1, 4}) {
    state.Mailboxes[i].Enabled = kTrue;
    state.Mailboxes[i].NewCount = 2;
    state.Mailboxes[i].NewestUidl = "u" + std::to_string(i);
  }
  ASSERT_TRUE(notices.HasClickHandler());
  notices.Click();
  for (int i : {1, 4}) {
    EXPECT_EQ(state.Mailboxes[i].NewCount, 0);
    EXPECT_EQ(state.Mailboxes[i].UIDL, "u" + std::to_string(i));
  }
  app.reset();
  EXPECT_FALSE(notices.HasClickHandler());
}

// Another client holds the mailbox: the counts stay, but its tool tip and check-result line
// say why they were not renewed, until a check gets through again.
TEST_F(PostvaneAppTest, LockedMailboxSaysSoUntilTheNextCheckGetsThrough) {
  Start(
      "[MailBox1]\r\nName=Home\r\nRemoteHost=pop.home.test\r\nEnabled=1\r\nUIDL=u1\r\n"
      "[General]\r\nTrayType=1\r\n");
  const std::string inUse = OwnString(900, OwnText::MailboxInUse);
  socket.RaiseConnect();
  for (const char* reply : {"+OK ready\r\n", "+OK\r\n", "-ERR [IN-USE] Mailbox in use\r\n"}) {
    socket.Receive(reply);
  }
  EXPECT_EQ(Box(1).State, MailboxState::Idle);
  EXPECT_NE(icons.ToolTip[1].find("Home: " + inUse), std::string::npos) << icons.ToolTip[1];
  const auto lineSays = [&](const std::string& text) {
    for (const StatusNode& node : app->BuildStatusTree()) {
      if (node.Parent == "1 Account" && node.Text == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(lineSays(inUse));

  app->StartCycle();
  AnswerUpToListing(1);
  socket.Receive("+OK bye\r\n");
  tray.Fire();
  EXPECT_EQ(Box(1).StatusText, "");
  EXPECT_EQ(icons.ToolTip[1].find(inUse), std::string::npos) << icons.ToolTip[1];
  EXPECT_TRUE(lineSays(LocalString(900, StringId::NoError)));
}

}  // namespace
}  // namespace postvane
