// The command-line check as both programs run it: arguments, the settings pre-check, the
// engine on the platform's adapters, events until the run ends, and the exit status.
#include "app/one_shot_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/check_options.h"
#include "check/silent_server_guard.h"
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

std::string OneMailbox() {
  return "[MailBox0]\r\nName=Work\r\nUser=alice\r\nPassword=" + TransformPassword("secret") +
         "\r\nRemoteHost=pop.test\r\nRemotePort=2110\r\nEnabled=1\r\n[General]\r\n";
}

struct OneShotRig {
  FakeFileSystem Files;
  FakeSocket Socket;
  FakeClock Clock;
  std::vector<FakeTimer*> Timers;  // in the order the run made them; gone after the run
  std::vector<int> Intervals;      // the same timers' intervals, kept after the run
  std::vector<std::optional<std::string>> SettingsAsked;
  std::function<void(OneShotRig&)> WhileRunning = [](OneShotRig&) {};
  int EventRounds = 0;
  int Quits = 0;
  std::ostringstream Out;
  std::ostringstream Err;

  int Run(std::vector<std::string> arguments, const char* replyTimeout = nullptr) {
    const OneShotPlatform platform{
        .Arguments = std::move(arguments),
        .UserLanguageId = 0x0407,
        .ChoosePaths =
            [this](const std::optional<std::string>& settingsFile) {
              SettingsAsked.push_back(settingsFile);
              ChosenPaths chosen;
              chosen.Paths = MakeProgramPaths("pv");
              // The same text on every system, whatever separator the platform joins with.
              chosen.Paths.SettingsFile = settingsFile ? *settingsFile : kSettings;
              return chosen;
            },
        .Files = Files,
        .ServerSocket = Socket,
        .SystemClock = Clock,
        .MakeTimer =
            [this](int milliseconds) {
              auto timer = std::make_unique<FakeTimer>(milliseconds);
              Timers.push_back(timer.get());
              Intervals.push_back(milliseconds);
              return timer;
            },
        .RunEvents =
            [this](const std::function<bool()>& finished) {
              if (finished()) return;
              ++EventRounds;
              WhileRunning(*this);
            },
        .Quit = [this] { ++Quits; },
        .ReplyTimeoutSetting = replyTimeout,
        .MakeSocket = {},
        .QuitOnSignals = {},
    };
    return RunOneShotCheck(platform, Out, Err);
  }

  FakeTimer* TimerOf(int milliseconds) const {
    for (FakeTimer* timer : Timers) {
      if (timer->IntervalMs == milliseconds) return timer;
    }
    return nullptr;
  }
};

TEST(OneShotCheck, UsageErrorAndHelpNeverTouchTheSettings) {
  struct Row {
    std::vector<std::string> Arguments;
    int Status;
    const char* OutStart;  // empty: nothing on stdout
    bool ErrText;
  };
  const Row rows[] = {
      {{"--no-such-option"}, kExitUsage, "", true},
      {{"--timeout"}, kExitUsage, "", true},
      {{"--help"}, 0, "Usage: postvane-check", false},
  };
  for (const Row& row : rows) {
    OneShotRig rig;
    EXPECT_EQ(rig.Run(row.Arguments), row.Status) << row.Arguments[0];
    EXPECT_EQ(rig.Out.str().rfind(row.OutStart, 0), 0u) << row.Arguments[0];
    if (*row.OutStart == '\0') {
      EXPECT_EQ(rig.Out.str(), "") << row.Arguments[0];
    }
    EXPECT_EQ(rig.Err.str().empty(), !row.ErrText) << row.Arguments[0];
    EXPECT_TRUE(rig.SettingsAsked.empty()) << row.Arguments[0];
    EXPECT_TRUE(rig.Intervals.empty()) << row.Arguments[0];
  }
}

TEST(OneShotCheck, VersionNamesTheBuildAndTheSettingsFileARunWouldUse) {
  OneShotRig rig;
  EXPECT_EQ(rig.Run({"--settings", "elsewhere/My.ini", "--version"}), 0);
  const std::string version = std::to_string(POSTVANE_VERSION_MAJOR) + "." +
                              std::to_string(POSTVANE_VERSION_MINOR) + "." +
                              std::to_string(POSTVANE_VERSION_PATCH);
  EXPECT_EQ(rig.Out.str().rfind("postvane-check " + version + "\n", 0), 0u) << rig.Out.str();
  // In the user's language (German here), on the line after the version.
  EXPECT_NE(
      rig.Out.str().find("\n" + OwnString(700, OwnText::SettingsFile) + " elsewhere/My.ini\n"),
      std::string::npos)
      << rig.Out.str();
  ASSERT_EQ(rig.SettingsAsked.size(), 1u);
  EXPECT_EQ(rig.SettingsAsked[0], "elsewhere/My.ini");
  EXPECT_TRUE(rig.Socket.Connects.empty());
}

TEST(OneShotCheck, AFileWithoutMailboxesFailsBeforeAnyConnection) {
  OneShotRig rig;
  rig.Files.Files[kSettings] = "[General]\r\nInterval=5\r\n";
  EXPECT_EQ(rig.Run({}), kExitFailed);
  EXPECT_NE(rig.Err.str().find(OwnString(700, OwnText::NoMailboxSection)), std::string::npos);
  EXPECT_TRUE(rig.Socket.Connects.empty());
  EXPECT_TRUE(rig.Intervals.empty());
}

TEST(OneShotCheck, AMissingFileIsSaidAndTheRunHasNothingToDo) {
  OneShotRig rig;
  EXPECT_EQ(rig.Run({"--quiet"}), kExitNoNewMail);
  EXPECT_NE(rig.Err.str().find("no settings file pv/Postvane.ini"), std::string::npos);
  EXPECT_TRUE(rig.Socket.Connects.empty());
  EXPECT_EQ(rig.EventRounds, 0);
}

TEST(OneShotCheck, RunsEventsUntilTheDeadlineEndsTheRun) {
  OneShotRig rig;
  rig.Files.Files[kSettings] = OneMailbox();
  rig.WhileRunning = [](OneShotRig& r) {
    // The connection is asked for and the server stays silent until the whole run is over.
    ASSERT_EQ(r.Socket.Connects.size(), 1u);
    FakeTimer* deadline = r.TimerOf(3 * 1000);
    ASSERT_NE(deadline, nullptr);
    EXPECT_TRUE(deadline->Fire());
  };
  EXPECT_EQ(rig.Run({"--timeout", "3"}), kExitFailed);
  EXPECT_EQ(rig.EventRounds, 1);
  EXPECT_EQ(rig.Quits, 1);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop.test");
  EXPECT_EQ(rig.Socket.Connects[0].RemotePort, 2110);
  EXPECT_NE(rig.Out.str().find("Work"), std::string::npos);
}

TEST(OneShotCheck, AConnectThatFailsAtOnceFailsTheMailboxWithoutWaiting) {
  OneShotRig rig;
  rig.Files.Files[kSettings] = OneMailbox();
  rig.Socket.ConnectErrorAlways = {10065, "No route to host"};
  EXPECT_EQ(rig.Run({"--json"}), kExitFailed);
  EXPECT_EQ(rig.EventRounds, 0);
  EXPECT_NE(rig.Out.str().find("No route to host"), std::string::npos) << rig.Out.str();
}

TEST(OneShotCheck, TheReplyTimeOutFollowsTheEnvironmentSetting) {
  struct Row {
    const char* Setting;
    int Milliseconds;
  };
  const Row rows[] = {{nullptr, kReplyTimeoutMs},
                      {"250", 250},
                      {"100", 100},
                      {"99", kReplyTimeoutMs},
                      {"60000", 60000},
                      {"60001", kReplyTimeoutMs},
                      {"", kReplyTimeoutMs},
                      {"2s", kReplyTimeoutMs},
                      {" 500", kReplyTimeoutMs},
                      {"-500", kReplyTimeoutMs},
                      {"99999999999", kReplyTimeoutMs}};
  for (const Row& row : rows) {
    const std::string name = row.Setting == nullptr ? "(unset)" : row.Setting;
    EXPECT_EQ(ReplyTimeoutMs(row.Setting), row.Milliseconds) << name;
    OneShotRig rig;
    rig.Files.Files[kSettings] = OneMailbox();
    rig.Socket.ConnectErrorAlways = {10065, "No route to host"};
    rig.Run({"--quiet"}, row.Setting);
    // The first timer the run makes is the reply time-out of its silent-server guard.
    ASSERT_FALSE(rig.Intervals.empty()) << name;
    EXPECT_EQ(rig.Intervals[0], row.Milliseconds) << name;
  }
}

}  // namespace
}  // namespace postvane
