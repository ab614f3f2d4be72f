// postvane-check and the settings file: encodings and line ends as editors leave them, a file
// without mailboxes, an acknowledgement that cannot be saved, and simultaneous writers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/check_options.h"
#include "desktop/cli_process.h"
#include "desktop/posix/posix_file_system.h"
#include "fakes/temp_folder.h"
#include "settings/settings_store.h"
#include "fakes/utf16_bytes.h"
#include "text/text_encoding.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "text/own_text.h"

namespace postvane::test {
namespace {

namespace fs = std::filesystem;

constexpr int16_t kEnglishBase = 900;
constexpr int16_t kGermanBase = 700;

// One new message after `seen`, acknowledged by a run with --ack.
Pop3Script OneNewScript(const std::string& seen, const std::string& next) {
  return Pop3Script()
      .LoginThroughUidl("alice", "secret", {seen, next})
      .Expect("TOP 2 0")
      .Send(TopReply({"From: Bob <bob@example.org>", "Subject: round " + next}))
      .Quit();
}

class CliSettingsFile : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.Path().empty()); }
  std::string Settings() const { return folder_.File("Postvane.ini"); }
  QString SettingsArgument() const { return QString::fromStdString(Settings()); }
  std::string Uidl(int16_t index) {
    PosixFileSystem disk;
    SettingsStore store(disk, Settings(), "");
    return store.LoadUidls().value_or(std::array<std::string, kUserMailboxes>{})[index];
  }

  TempFolder folder_;
};

// The same settings in every form an editor may save them; the run finds the mailbox and
// --ack leaves the file in the form it had.
struct FormCase {
  const char* name;
  std::string (*encode)(const std::string& text);
};

std::string Crlf(const std::string& text) { return text; }
std::string OnlyCr(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\n') out.push_back(c);
  }
  return out;
}
std::string Utf8Mark(const std::string& text) { return "\xEF\xBB\xBF" + text; }
// Line by line, as the platform's functions store 8-bit values (the password) in such a file:
// each byte as its Windows-1252 character.
std::string Utf16Lines(const std::string& text, bool bigEndian) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
    out += Utf16Bytes(text.substr(start, end - start), bigEndian);
    start = end;
  }
  return out;
}
std::string Utf16Le(const std::string& text) {
  return "\xFF\xFE" + Utf16Lines(text, false);
}
std::string Utf16Be(const std::string& text) {
  return "\xFE\xFF" + Utf16Lines(text, true);
}

class CliSettingsForm : public CliSettingsFile, public testing::WithParamInterface<FormCase> {};

TEST_P(CliSettingsForm, MailboxIsFoundAndTheAckKeepsTheForm) {
  ScriptedPop3Server server([](int) { return OneNewScript("u1", "u2"); });
  ASSERT_NE(server.Port(), 0);
  const std::string text = SettingsText({Mailbox(0, "B\xC3\xBCro", server.Port(), "u1")});
  WriteBytes(Settings(), GetParam().encode(text));

  const CheckResult result = RunCheck({"--settings", SettingsArgument(), "--ack"});
  ASSERT_TRUE(result.Finished) << result.Err;
  EXPECT_EQ(result.ExitCode, 0) << result.Out << result.Err;
  EXPECT_EQ(result.Out.rfind("0 B\xC3\xBCro: 1 new message(s)", 0), 0u) << result.Out;
  EXPECT_TRUE(server.Problems().empty()) << server.Problems().front();

  std::string expected = text;
  expected.replace(expected.find("UIDL=u1"), 7, "UIDL=u2");
  EXPECT_EQ(ReadBytes(Settings()), GetParam().encode(expected));
}

INSTANTIATE_TEST_SUITE_P(Forms, CliSettingsForm,
                         testing::Values(FormCase{"CrLf", Crlf}, FormCase{"OnlyCr", OnlyCr},
                                         FormCase{"Utf8Mark", Utf8Mark},
                                         FormCase{"Utf16Le", Utf16Le},
                                         FormCase{"Utf16Be", Utf16Be}),
                         [](const auto& info) { return std::string(info.param.name); });

// A file that exists but gives no mailbox is said, in the user's language, and fails.
TEST_F(CliSettingsFile, AFileWithoutMailboxesIsSaidAndFails) {
  struct Case {
    std::string content;
    QProcessEnvironment environment;
    int16_t languageBase;
  };
  const std::vector<Case> cases = {
      {"[General]\r\nInterval=5\r\n", EnglishEnvironment(), kEnglishBase},
      {"", GermanEnvironment(), kGermanBase},
      {std::string("\0\0\0garbage", 10), EnglishEnvironment(), kEnglishBase},
  };
  for (const Case& c : cases) {
    WriteBytes(Settings(), c.content);
    const CheckResult result = RunCheck({"--settings", SettingsArgument()}, c.environment);
    ASSERT_TRUE(result.Finished);
    EXPECT_EQ(result.ExitCode, kExitFailed) << result.Err;
    EXPECT_NE(result.Err.find(OwnString(c.languageBase, OwnText::NoMailboxSection)),
              std::string::npos)
        << result.Err;
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(ReadBytes(Settings()), c.content) << "left as it was";
  }
}

// The acknowledgement cannot be saved: the report still comes, stderr says why, status 74.
TEST_F(CliSettingsFile, AnAckThatCannotBeSavedSaysSoAndGivesSeventyFour) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the lock file to another user";
  ScriptedPop3Server server([](int) { return OneNewScript("u1", "u2"); });
  WriteBytes(Settings(), SettingsText({Mailbox(0, "Work", server.Port(), "u1")}));
  const std::string before = ReadBytes(Settings());
  // Another user's side file: its lock is never taken, so no save happens.
  const std::string side = Settings() + ".lock";
  WriteBytes(side, "");
  ASSERT_EQ(::chown(side.c_str(), 65534, 65534), 0);

  const CheckResult result = RunCheck({"--settings", SettingsArgument(), "--ack"});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, kExitNotSaved);
  EXPECT_NE(result.Out.find("1 new message(s)"), std::string::npos);
  EXPECT_NE(result.Err.find(OwnString(kEnglishBase, OwnText::AcknowledgementNotSaved)),
            std::string::npos)
      << result.Err;
  EXPECT_EQ(ReadBytes(Settings()), before);
}

// Two acknowledging runs at once, round after round; each must find its own key afterwards.
// (One server per mailbox: both programs take the same first local port, and one address pair
// cannot carry two connections at once.)
TEST_F(CliSettingsFile, SimultaneousAcksLoseNothing) {
  constexpr int kRounds = 200;
  auto name = [](int round) { return "r" + std::to_string(round); };
  auto script = [&](int connection) {
    return OneNewScript(name(connection - 1), name(connection));
  };
  ScriptedPop3Server serverA(script);
  ScriptedPop3Server serverB(script);
  WriteBytes(Settings(), SettingsText({Mailbox(0, "A", serverA.Port(), name(-1)),
                                       Mailbox(1, "B", serverB.Port(), name(-1))}));
  for (int round = 0; round < kRounds; ++round) {
    QProcess first;
    QProcess second;
    for (auto [process, mailbox] : {std::pair{&first, "0"}, std::pair{&second, "1"}}) {
      process->setProcessEnvironment(EnglishEnvironment());
      process->start(CheckProgram(),
                     {"--settings", SettingsArgument(), "--ack", "--quiet", "--mailbox", mailbox});
    }
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    ASSERT_EQ(first.exitCode(), 0) << round << first.readAllStandardError().toStdString();
    ASSERT_EQ(second.exitCode(), 0) << round << second.readAllStandardError().toStdString();
    ASSERT_EQ(Uidl(0), name(round)) << "round " << round;
    ASSERT_EQ(Uidl(1), name(round)) << "round " << round;
  }
  EXPECT_TRUE(serverA.Problems().empty()) << serverA.Problems().front();
  EXPECT_TRUE(serverB.Problems().empty()) << serverB.Problems().front();
}

// The tray program saves (configuration dialog, its own acknowledgements) while an --ack run
// saves: neither undoes the other.
TEST_F(CliSettingsFile, AckAgainstTheTraysSavesLosesNothing) {
  constexpr int kRounds = 40;
  auto name = [](int round) { return "r" + std::to_string(round); };
  ScriptedPop3Server server(
      [&](int connection) { return OneNewScript(name(connection - 1), name(connection)); });
  WriteBytes(Settings(), SettingsText({Mailbox(0, "A", server.Port(), name(-1))}));
  PosixFileSystem disk;
  SettingsStore tray(disk, Settings(), "");
  long traySaves = 0;
  for (int round = 0; round < kRounds; ++round) {
    QProcess run;
    run.setProcessEnvironment(EnglishEnvironment());
    run.start(CheckProgram(), {"--settings", SettingsArgument(), "--ack", "--quiet"});
    ASSERT_TRUE(run.waitForStarted(10000));
    do {
      MailboxRecord record;
      record.Name = "tray-" + std::to_string(traySaves);
      tray.SaveMailbox(record, 5);
      tray.SaveUidl(7, "tray-" + std::to_string(traySaves));
      ASSERT_TRUE(tray.LastWriteSucceeded());
      ++traySaves;
      // A short pause between the tray's saves, as between user actions, lets the other
      // program have its turn at the lock.
    } while (!run.waitForFinished(5));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    ASSERT_EQ(Uidl(0), name(round)) << "round " << round;
    ASSERT_EQ(Uidl(7), "tray-" + std::to_string(traySaves - 1)) << "round " << round;
  }
  RecordProperty("TraySaves", static_cast<int>(traySaves));
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
