// postvane-check --watch: polls at the interval, checks at once on push news, prints a line or
// a JSON object only when a mailbox's new count changes, and ends cleanly when told to.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/check_options.h"
#include "app/one_shot_check.h"
#include "app/push_watches.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "settings/program_paths.h"
#include "settings/settings_store.h"
#include "text/own_text.h"

namespace postvane {
namespace {

constexpr const char* kSettings = "pv/Postvane.ini";
constexpr int kPollMs = 5 * 60 * 1000;  // Interval=4

std::string Settings(const std::string& more = "") {
  return "[MailBox0]\r\nName=Work\r\nUser=alice\r\nPassword=" + TransformPassword("secret") +
         "\r\nRemoteHost=pop.test\r\nEnabled=1\r\nUIDL=u1\r\n" + more +
         "[General]\r\nInterval=4\r\n";
}

const std::string kImapMailbox =
    "[MailBox2]\r\nName=Imap\r\nUser=bob\r\nPassword=" + TransformPassword("pw") +
    "\r\nRemoteHost=imap.test\r\nRemotePort=143\r\nSecurity=0\r\nProtocol=1\r\nEnabled=1\r\n";

struct WatchRig {
  FakeFileSystem Files;
  FakeSocket Socket;
  FakeClock Clock;
  std::vector<FakeTimer*> Timers;
  std::vector<FakeSocket*> WatchSockets;
  std::function<void(WatchRig&)> WhileRunning = [](WatchRig&) {};
  int SignalHooks = 0;
  std::ostringstream Out;
  std::ostringstream Err;

  int Run(std::vector<std::string> arguments) {
    const OneShotPlatform platform{
        .Arguments = std::move(arguments),
        .UserLanguageId = 0x0409,
        .ChoosePaths =
            [](const std::optional<std::string>&) {
              ChosenPaths chosen;
              chosen.Paths = MakeProgramPaths("pv");
              chosen.Paths.SettingsFile = kSettings;
              return chosen;
            },
        .Files = Files,
        .ServerSocket = Socket,
        .SystemClock = Clock,
        .MakeTimer =
            [this](int milliseconds) {
              auto timer = std::make_unique<FakeTimer>(milliseconds);
              Timers.push_back(timer.get());
              return timer;
            },
        .RunEvents = [this](const std::function<bool()>&) { WhileRunning(*this); },
        .Quit = [] {},
        .MakeSocket =
            [this] {
              auto socket = std::make_unique<FakeSocket>();
              WatchSockets.push_back(socket.get());
              return socket;
            },
        .QuitOnSignals = [this] { ++SignalHooks; },
    };
    return RunOneShotCheck(platform, Out, Err);
  }

  FakeTimer& Poll() {
    for (FakeTimer* timer : Timers) {
      if (timer->IntervalMs == kPollMs) return *timer;
    }
    ADD_FAILURE() << "no poll timer";
    static FakeTimer none;
    return none;
  }

  // The current POP3 check, from the connect event to QUIT, with `messages` messages u1..un.
  void AnswerCheck(int messages) {
    Socket.RaiseConnect();
    for (const std::string& reply :
         {std::string("+OK ready\r\n"), std::string("+OK\r\n"), std::string("+OK in\r\n"),
          "+OK " + std::to_string(messages) + " 9000\r\n", std::string("-ERR\r\n")}) {
      Socket.Receive(reply);
    }
    std::string listing = "+OK\r\n";
    for (int n = 1; n <= messages; ++n) {
      listing += std::to_string(n) + " u" + std::to_string(n) + "\r\n";
    }
    Socket.Receive(listing + ".\r\n");
    while (Socket.LastLine().rfind("TOP ", 0) == 0) {
      Socket.Receive("+OK\r\nFrom: a@b.test\r\nSubject: s\r\n\r\n.\r\n");
    }
    ASSERT_EQ(Socket.LastLine(), "QUIT");
    Socket.Receive("+OK bye\r\n");
  }

  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST(WatchRunTest, PrintsALineEachTimeTheNewCountChangesAndOnlyThen) {
  WatchRig rig;
  rig.Files.Files[kSettings] = Settings();
  rig.WhileRunning = [](WatchRig& r) {
    r.AnswerCheck(3);  // u2 and u3 are new
    ASSERT_EQ(r.OutLines().size(), 1u);
    ASSERT_TRUE(r.Poll().Fire());
    r.AnswerCheck(3);  // the same: nothing printed
    EXPECT_EQ(r.OutLines().size(), 1u);
    ASSERT_TRUE(r.Poll().Fire());
    r.AnswerCheck(4);
    // Acknowledged by another program meanwhile: the next poll reads it from the file.
    SettingsStore(r.Files, kSettings, "").SaveUidl(0, "u4");
    ASSERT_TRUE(r.Poll().Fire());
    r.AnswerCheck(4);
  };
  EXPECT_EQ(rig.Run({"--watch"}), 0);
  const std::vector<std::string> lines = rig.OutLines();
  ASSERT_EQ(lines.size(), 3u) << rig.Out.str();
  EXPECT_EQ(lines[0].rfind("0 Work: 2 new message(s)", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("0 Work: 3 new message(s)", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("0 Work: 0 new message(s)", 0), 0u) << lines[2];
  EXPECT_EQ(rig.Err.str(), "");
  EXPECT_EQ(rig.SignalHooks, 1);
}

TEST(WatchRunTest, JsonPrintsTheWholePictureAsOneObjectPerChange) {
  WatchRig rig;
  rig.Files.Files[kSettings] = Settings();
  rig.WhileRunning = [](WatchRig& r) { r.AnswerCheck(2); };
  EXPECT_EQ(rig.Run({"--watch", "--json"}), 0);
  const std::vector<std::string> lines = rig.OutLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("{\"mailboxes\":[{\"index\":0,\"name\":\"Work\"", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("\"newTotal\":1}"), std::string::npos) << lines[0];
}

TEST(WatchRunTest, OptionsThatMakeNoSenseWithAWatchAreUsageErrors) {
  for (const char* other : {"--ack", "--quiet"}) {
    WatchRig rig;
    rig.Files.Files[kSettings] = Settings();
    EXPECT_EQ(rig.Run({"--watch", other}), kExitUsage) << other;
    EXPECT_NE(rig.Err.str().find("--watch"), std::string::npos);
    EXPECT_TRUE(rig.Socket.Connects.empty());
  }
}

TEST(WatchRunTest, PushNewsChecksThatMailboxAtOnceAndALostWatchIsSaid) {
  WatchRig rig;
  rig.Files.Files[kSettings] = Settings(kImapMailbox);
  rig.WhileRunning = [](WatchRig& r) {
    ASSERT_EQ(r.WatchSockets.size(), 1u);
    FakeSocket& watch = *r.WatchSockets[0];
    ASSERT_EQ(watch.Connects.size(), 1u);
    EXPECT_EQ(watch.Connects[0].RemoteHost, "imap.test");
    watch.RaiseConnect();
    watch.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] hi\r\n");
    watch.Receive("W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\nW2 OK [READ-ONLY] ok\r\n+ idling\r\n");
    r.Socket.RaiseError(10061, "refused");  // mailbox 0
    r.Socket.RaiseError(10061, "refused");  // mailbox 2: the first cycle is over
    const std::size_t connects = r.Socket.Connects.size();
    watch.Receive("* 1 EXISTS\r\n");
    ASSERT_EQ(r.Socket.Connects.size(), connects + 1);
    EXPECT_EQ(r.Socket.Connects.back().RemoteHost, "imap.test");
    EXPECT_EQ(r.Err.str(), "");
    // A lost watch is said on stderr, in the user's language, the server's words as text.
    watch.Receive("* BYE going \x1b[31mdown\r\n");
    EXPECT_EQ(r.Err.str(), "postvane-check: Imap: " + OwnString(900, OwnText::IdleConnectionLost) +
                               " - BYE going \xEF\xBF\xBD[31mdown\n");
    // The lost watch waits before it connects again.
    EXPECT_EQ(watch.Connects.size(), 1u);
  };
  EXPECT_EQ(rig.Run({"--watch", "--mailbox", "0", "--mailbox", "2"}), 0);
  // The end closes everything: the watch's socket went with the watch, the check's is shut.
  EXPECT_FALSE(rig.Socket.Open);
}

TEST(WatchRunTest, MailboxesLeftOutGetNoWatch) {
  WatchRig rig;
  rig.Files.Files[kSettings] = Settings(kImapMailbox);
  EXPECT_EQ(rig.Run({"--watch", "--mailbox", "0"}), 0);
  EXPECT_TRUE(rig.WatchSockets.empty());
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop.test");
}

}  // namespace
}  // namespace postvane
