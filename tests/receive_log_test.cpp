// The receive log: record format to the byte, the trace of a whole check, switched off, faults.
#include "check/receive_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "fakes/check_engine_rig.h"
#include "fakes/fake_file_system.h"

namespace postvane {
namespace {

TEST(ReceiveLogFormatTest, RecordOfAUserCommand) {
  EXPECT_EQ(FormatReceiveLogRecord(3, LocalDateTime{1999, 3, 5, 8, 15, 0}, "USER alice"),
            "3,#1999-03-05 08:15:00#,\"USER alice\"\r\n");
}

TEST(ReceiveLogFormatTest, MidnightLeavesTheTimeOut) {
  EXPECT_EQ(FormatLogDateTime(LocalDateTime{2024, 1, 9, 0, 0, 0}), "#2024-01-09#");
  EXPECT_EQ(FormatLogDateTime(LocalDateTime{2024, 1, 9, 0, 0, 1}), "#2024-01-09 00:00:01#");
  EXPECT_EQ(FormatLogDateTime(LocalDateTime{2024, 12, 31, 23, 59, 59}), "#2024-12-31 23:59:59#");
  EXPECT_EQ(FormatReceiveLogRecord(0, LocalDateTime{2024, 1, 9, 0, 0, 0}, "x"),
            "0,#2024-01-09#,\"x\"\r\n");
}

struct LogTextCase {
  const char* name;
  std::string text;    // as the server sent it
  std::string stored;  // as the record holds it
};

class ReceiveLogTextTest : public ::testing::TestWithParam<LogTextCase> {};

// `cat receive.log` must not replay a server's terminal controls.
TEST_P(ReceiveLogTextTest, KeepsTextAndEscapesTerminalControls) {
  const std::string record =
      FormatReceiveLogRecord(2, LocalDateTime{2024, 5, 6, 7, 8, 9}, GetParam().text);
  EXPECT_EQ(record, "2,#2024-05-06 07:08:09#,\"" + GetParam().stored + "\"\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReceiveLogTextTest,
    ::testing::Values(
        LogTextCase{"QuotesAndLineEnds", "+OK \"quoted\"\r\nx\r\n", "+OK \"quoted\"\r\nx\r\n"},
        LogTextCase{"Tab", "a\tb", "a\tb"},
        LogTextCase{"EightBitBytes", "\xff\x80\xc3\xa9", "\xff\x80\xc3\xa9"},
        LogTextCase{"Escape", "\x1b[2J\x1b]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        LogTextCase{"LoneCarriageReturn", "shown\rhidden", "shown\\x0Dhidden"},
        LogTextCase{"LoneLineFeed", "a\nb", "a\\x0Ab"},
        LogTextCase{"LineFeedBeforeCarriageReturn", "\n\r", "\\x0A\\x0D"},
        LogTextCase{"Nul", std::string("a\0b", 3), "a\\x00b"},
        LogTextCase{"Delete", "a\x7f", "a\\x7F"},
        LogTextCase{"Backspace", "pass\b\b\b\b", "pass\\x08\\x08\\x08\\x08"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiveLogFormatTest, GreetingEndingInLineBreakPutsTheQuoteOnTheNextLine) {
  EXPECT_EQ(FormatReceiveLogRecord(2, LocalDateTime{2024, 5, 6, 7, 8, 9}, "+OK ready\r\n"),
            "2,#2024-05-06 07:08:09#,\"+OK ready\r\n\"\r\n");
}

class ReceiveLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.Clock.Set(2024, 3, 5, 8, 15, 0);
    MailboxRecord& box = rig.Enable(0);
    box.User = "alice";
    box.Password = "p4ss-w0rd";
  }

  // One mailbox with one new message, from the connect event to the reply to QUIT.
  void RunCompleteCheck() {
    rig.Engine.StartCycle();
    rig.Socket.RaiseConnect();
    rig.Socket.Receive("+OK POP3 ready\r\n");
    rig.Socket.Receive("+OK\r\n");
    rig.Socket.Receive("+OK logged in\r\n");
    rig.Socket.Receive("+OK 1 320\r\n");
    rig.Socket.Receive("+OK 0\r\n");
    rig.Socket.Receive("+OK\r\n1 abc\r\n.\r\n");
    rig.Socket.Receive("+OK\r\nFrom: bob\r\n\r\n.\r\n");
    rig.Socket.Receive("+OK bye\r\n");
  }

  CheckEngineRig rig;
};

TEST_F(ReceiveLogTest, CompleteCheckWithOneNewMessage) {
  rig.LogOn();
  RunCompleteCheck();
  ASSERT_EQ(rig.Box(0).NewCount, 1);
  ASSERT_EQ(rig.Box(0).Headers[1].From, "bob");
  // clang-format off
  const std::string expected =
      "2,#2024-03-05 08:15:00#,\"+OK POP3 ready\r\n\"\r\n"
      "3,#2024-03-05 08:15:00#,\"USER alice\"\r\n"
      "3,#2024-03-05 08:15:00#,\"+OK\r\n\"\r\n"
      "4,#2024-03-05 08:15:00#,\"PASS xxxxx\"\r\n"
      "4,#2024-03-05 08:15:00#,\"+OK logged in\r\n\"\r\n"
      "5,#2024-03-05 08:15:00#,\"STAT\"\r\n"
      "5,#2024-03-05 08:15:00#,\"+OK 1 320\r\n\"\r\n"
      "6,#2024-03-05 08:15:00#,\"LAST\"\r\n"
      "6,#2024-03-05 08:15:00#,\"+OK 0\r\n\"\r\n"
      "7,#2024-03-05 08:15:00#,\"UIDL\"\r\n"
      "7,#2024-03-05 08:15:00#,\"+OK\r\n1 abc\r\n.\r\n\"\r\n"
      "8,#2024-03-05 08:15:00#,\"TOP 1 0\"\r\n"
      "8,#2024-03-05 08:15:00#,\"+OK\r\nFrom: bob\r\n\r\n.\r\n\"\r\n"
      "9,#2024-03-05 08:15:00#,\"QUIT\"\r\n"
      "9,#2024-03-05 08:15:00#,\"+OK bye\r\n\"\r\n";
  // clang-format on
  EXPECT_EQ(rig.Log(), expected);
  // One append per record.
  EXPECT_EQ(rig.Files.AppendCount, 15);
}

TEST_F(ReceiveLogTest, EveryBlockOfAListingIsARecord) {
  rig.LogOn();
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 9\r\n", "+OK 0\r\n"}) {
    rig.Socket.Receive(reply);
  }
  const std::string before = rig.Log();
  rig.Socket.Receive("+OK\r\n1 a");
  rig.Socket.Receive("\r\n2 b\r\n");
  rig.Socket.Receive(".\r\n");
  // clang-format off
  EXPECT_EQ(rig.Log().substr(before.size()),
            "7,#2024-03-05 08:15:00#,\"+OK\r\n1 a\"\r\n"
            "7,#2024-03-05 08:15:00#,\"\r\n2 b\r\n\"\r\n"
            "7,#2024-03-05 08:15:00#,\".\r\n\"\r\n"
            "8,#2024-03-05 08:15:00#,\"TOP 1 0\"\r\n");
  // clang-format on
}

TEST_F(ReceiveLogTest, PasswordNeverReachesTheLog) {
  rig.LogOn();
  RunCompleteCheck();
  EXPECT_EQ(rig.Log().find("p4ss-w0rd"), std::string::npos);
  EXPECT_NE(rig.Log().find("\"PASS xxxxx\""), std::string::npos);
  EXPECT_EQ(rig.Socket.Sent[1], "PASS p4ss-w0rd\r\n");
}

TEST_F(ReceiveLogTest, NothingWrittenWhenSwitchedOff) {
  rig.State.General.ReceiveLog = kFalse;
  RunCompleteCheck();
  rig.Engine.WriteReceiveLog(0, "direct");
  EXPECT_EQ(rig.Files.AppendCount, 0);
  EXPECT_TRUE(rig.Files.Files.empty());
  EXPECT_EQ(rig.Box(0).NewCount, 1);
}

TEST_F(ReceiveLogTest, AnyNonZeroSettingSwitchesItOn) {
  rig.State.General.ReceiveLog = 1;
  rig.Engine.WriteReceiveLog(7, "UIDL");
  EXPECT_EQ(rig.Log(), "7,#2024-03-05 08:15:00#,\"UIDL\"\r\n");
}

TEST_F(ReceiveLogTest, RecordsAreAppendedToWhatIsThere) {
  rig.LogOn();
  rig.Files.Files[rig.State.Paths.ReceiveLog] = "old line\r\n";
  rig.Engine.WriteReceiveLog(0, "Host not found");
  EXPECT_EQ(rig.Log(), "old line\r\n0,#2024-03-05 08:15:00#,\"Host not found\"\r\n");
}

TEST_F(ReceiveLogTest, MidnightRecordInTheDialogue) {
  rig.LogOn();
  rig.Clock.Set(2025, 1, 1, 0, 0, 0);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  rig.Socket.Receive("+OK\r\n");
  EXPECT_EQ(rig.Log(), "2,#2025-01-01#,\"+OK\r\n\"\r\n3,#2025-01-01#,\"USER alice\"\r\n");
}

TEST_F(ReceiveLogTest, FailingWritesDoNotDisturbTheCheck) {
  rig.LogOn();
  rig.Files.FailWrites = true;
  RunCompleteCheck();
  EXPECT_GT(rig.Files.AppendCount, 0);
  EXPECT_EQ(rig.Box(0).NewCount, 1);
  EXPECT_EQ(rig.Box(0).Headers[1].From, "bob");
  EXPECT_EQ(rig.Hooks.Calls, (std::vector<std::string>{"RefreshTray", "NotifyNewMail"}));
}

class ThrowingFileSystem : public FakeFileSystem {
 public:
  bool AppendFile(const std::string&, const std::string&) override {
    throw std::runtime_error("disk gone");
  }
};

TEST(ReceiveLogThrowTest, ThrowingWriteDoesNotDisturbTheCheck) {
  ProgramState state;
  state.General.ReceiveLog = kTrue;
  state.Paths = MakeProgramPaths("pv");
  for (int i = 0; i < kUserMailboxes; ++i) state.Mailboxes[i].Headers.resize(1);
  state.Mailboxes[0].Enabled = kTrue;
  FakeSocket socket;
  FakeTimer timeout;
  FakeTimer timerQuit;
  FakeClock clock;
  ThrowingFileSystem files;
  FakeCycleHooks hooks;
  CheckEngine engine(state, socket, timeout, timerQuit, clock, files, hooks,
                     {state.General.ReceiveLog, state.Paths.ReceiveLog});
  engine.StartCycle();
  socket.RaiseConnect();
  socket.Receive("+OK\r\n");
  EXPECT_EQ(state.Mailboxes[0].State, MailboxState::UserSent);
  socket.RaiseError(10061, "Connection refused");
  EXPECT_EQ(state.Mailboxes[0].StatusText, "Connection refused");
  EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"RefreshTray", "RefreshTray", "NotifyNewMail"}));
}

TEST(ReceiveLogFormatTest, LongTextIsCutWithAMarker) {
  const LocalDateTime when{2024, 5, 6, 7, 8, 9};
  const std::string head = FormatReceiveLogRecord(2, when, "");
  for (const std::size_t size :
       {kReceiveLogTextLimit, kReceiveLogTextLimit + 1, std::size_t{68} * 1024 * 1024}) {
    const std::string text(size, 'u');
    const std::string record = FormatReceiveLogRecord(2, when, text);
    const bool cut = size > kReceiveLogTextLimit;
    EXPECT_EQ(record.size(), head.size() + std::min(size, kReceiveLogTextLimit) +
                                 (cut ? kReceiveLogCutMarker.size() : 0));
    EXPECT_EQ(record.find(kReceiveLogCutMarker) != std::string::npos, cut) << size;
    EXPECT_TRUE(record.ends_with("\"\r\n"));
  }
}

TEST(ReceiveLogRotationTest, AFullLogMovesAsideReplacingTheOlderOne) {
  FakeFileSystem files;
  const std::string log = "/prog/receive.log";
  files.Files[log + ".1"] = "oldest";
  constexpr std::uintmax_t kLimit = 100;
  for (int n = 0; n < 25; ++n) {
    ASSERT_TRUE(AppendReceiveLog(files, log, "record-" + std::to_string(n) + "\r\n", kLimit));
    EXPECT_LE(files.Content(log).size(), kLimit);
  }
  EXPECT_GE(files.Renames.size(), 2u);
  for (const auto& [from, to] : files.Renames) {
    EXPECT_EQ(from, log);
    EXPECT_EQ(to, log + ".1");
  }
  EXPECT_NE(files.Content(log + ".1"), "oldest");
  EXPECT_TRUE(files.Content(log).ends_with("record-24\r\n"));
  // What moved aside ends where the live log begins.
  const std::string aside = files.Content(log + ".1");
  const std::string live = files.Content(log);
  const int lastAside = std::stoi(aside.substr(aside.rfind("record-") + 7));
  const int firstLive = std::stoi(live.substr(7));
  EXPECT_EQ(firstLive, lastAside + 1);
}

TEST(ReceiveLogRotationTest, ARecordLargerThanTheLimitStillGoesIn) {
  FakeFileSystem files;
  const std::string log = "receive.log";
  ASSERT_TRUE(AppendReceiveLog(files, log, std::string(300, 'x'), 100));
  EXPECT_TRUE(files.Renames.empty()) << "an empty log is never moved aside";
  ASSERT_TRUE(AppendReceiveLog(files, log, "y", 100));
  EXPECT_EQ(files.Content(log), "y");
}

// A hostile server's endless listing, block by block: the log stays within its bound.
TEST_F(ReceiveLogTest, EndlessListingKeepsTheLogBounded) {
  rig.LogOn();
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 9\r\n", "+OK 0\r\n"}) {
    rig.Socket.Receive(reply);
  }
  // 25 MiB in blocks twice the record bound: cut records alone would pass the log's limit.
  const std::string block(2 * kReceiveLogTextLimit, '7');
  for (int n = 0; n < 200; ++n) rig.Socket.Receive("+OK\r\n" + block);
  const std::string log = rig.State.Paths.ReceiveLog;
  EXPECT_LE(rig.Files.Content(log).size(), kReceiveLogLimit);
  EXPECT_LE(rig.Files.Content(log + ".1").size(), kReceiveLogLimit);
  EXPECT_FALSE(rig.Files.Renames.empty());
}

}  // namespace
}  // namespace postvane
