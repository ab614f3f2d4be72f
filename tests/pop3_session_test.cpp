// One POP3 session on its own, fed what a connection delivers: the recorded server dialogues
// in fuzz/transcripts replayed as rows of one table, and the session's ways of ending.
#include "check/pop3_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "check/connection_security.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

// Everything the session asked of its connection, in order.
class RecordingOutput : public SessionOutput {
 public:
  Lines Calls;
  Lines Written;  // each write as it went out
  std::optional<MailboxOutcome> Outcome;
  // Writes from this one on report the connection gone.
  std::size_t FailWritesFrom = SIZE_MAX;
  bool RefuseTls = false;

  bool Write(std::string_view bytes) override {
    Calls.push_back("write " + std::string(bytes));
    Written.emplace_back(bytes);
    return Written.size() <= FailWritesFrom;
  }
  bool StartTls(const TlsRequest& request) override {
    Calls.push_back("tls " + request.HostName);
    return !RefuseTls;
  }
  void Log(int16_t code, std::string_view text) override {
    Calls.push_back("log " + std::to_string(code) + " " + std::string(text));
  }
  void StopConnectTimeout() override { Calls.emplace_back("stop connect time-out"); }
  void StartQuitWait() override { Calls.emplace_back("start quit wait"); }
  void StopQuitWait() override { Calls.emplace_back("stop quit wait"); }
  void Finish(const MailboxOutcome& outcome) override {
    Calls.emplace_back("finish");
    EXPECT_FALSE(Outcome.has_value()) << "finished twice";
    Outcome = outcome;
  }

  // The command lines sent, a write of several split into its lines.
  Lines CommandLines() const {
    Lines lines;
    for (const std::string& bytes : Written) {
      std::size_t start = 0;
      for (std::size_t end = bytes.find("\r\n"); end != std::string::npos;
           end = bytes.find("\r\n", start)) {
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
      }
    }
    return lines;
  }
};

struct SessionRig {
  MailboxRecord Record;
  RecordingOutput Output;
  bool Unfinished = false;
  Pop3Session Session{{.Record = Record,
                       .Output = Output,
                       .LanguageBase = 900,
                       .Charsets = nullptr,
                       .UidlLimit = kUidlBufferLimit,
                       .HeaderLimit = kHeaderBufferLimit,
                       .HeaderFetchUnfinished = Unfinished}};

  SessionRig() {
    Record.Headers.resize(1);
    Record.User = "alice";
    Record.Password = "secret";
    Record.RemoteHost = "pop.test";
    Record.Enabled = kTrue;
    Record.State = MailboxState::Connecting;
  }
};

// One step of a recorded dialogue: the command the client sent (none before the greeting)
// and the server's reply.
struct Step {
  std::optional<std::string> Command;
  std::string Reply;
};

// Reads the transcripts' JSON: an array of objects with "command" (a string or null) and
// "reply" (a string), the only escapes being those of JSON strings.
class TranscriptReader {
 public:
  explicit TranscriptReader(std::string text) : text_(std::move(text)) {}

  std::vector<Step> Steps() {
    std::vector<Step> steps;
    Expect('[');
    while (Peek() != ']') {
      Expect('{');
      Step step;
      while (Peek() != '}') {
        const std::string key = String();
        Expect(':');
        if (key == "command") {
          if (Peek() == 'n') {
            at_ += 4;  // null
          } else {
            step.Command = String();
          }
        } else {
          step.Reply = String();
        }
        if (Peek() == ',') ++at_;
      }
      Expect('}');
      steps.push_back(std::move(step));
      if (Peek() == ',') ++at_;
    }
    return steps;
  }

 private:
  char Peek() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    return at_ < text_.size() ? text_[at_] : '\0';
  }
  void Expect(char c) {
    ASSERT_EQ(Peek(), c) << "at " << at_;
    ++at_;
  }
  std::string String() {
    std::string out;
    EXPECT_EQ(Peek(), '"');
    ++at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (c == '\\') {
        const char e = text_[at_++];
        switch (e) {
          case 'r':
            c = '\r';
            break;
          case 'n':
            c = '\n';
            break;
          case 't':
            c = '\t';
            break;
          case 'u':
            c = static_cast<char>(std::stoi(text_.substr(at_, 4), nullptr, 16));
            at_ += 4;
            break;
          default:
            c = e;
            break;
        }
      }
      out += c;
    }
    ++at_;
    return out;
  }

  std::string text_;
  std::size_t at_ = 0;
};

std::vector<std::string> TranscriptFiles() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(POSTVANE_FUZZ_TRANSCRIPTS)) {
    if (entry.path().extension() == ".json") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

class TranscriptReplay : public testing::TestWithParam<std::string> {};

TEST_P(TranscriptReplay, SendsTheRecordedCommandsAndEndsAsTheServerSaid) {
  std::ifstream file(GetParam(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::vector<Step> steps = TranscriptReader(text.str()).Steps();
  ASSERT_FALSE(steps.empty());

  SessionRig rig;
  // The recording's user, as its USER line names it.
  for (const Step& step : steps) {
    if (step.Command && step.Command->starts_with("USER "))
      rig.Record.User = step.Command->substr(5);
  }
  rig.Session.OnConnected();
  Lines expected;
  int acceptedTops = 0;
  for (const Step& step : steps) {
    if (step.Command) {
      // The log shows the password masked, as the recording does.
      expected.push_back(RightTrimmed(*step.Command));
      ASSERT_FALSE(rig.Output.Outcome) << "ended before " << *step.Command;
    }
    if (step.Command && step.Command->starts_with("TOP") && step.Reply.starts_with("+OK")) {
      ++acceptedTops;
    }
    rig.Session.OnData(step.Reply);
  }
  Lines logged;
  for (const std::string& call : rig.Output.Calls) {
    // Commands are logged under the state they were sent in, after their write.
    const std::size_t text = call.find(' ', 4);
    if (call.starts_with("log ") && text != std::string::npos) {
      const std::string line = call.substr(text + 1);
      if (std::find(expected.begin(), expected.end(), line) != expected.end()) {
        logged.push_back(line);
      }
    }
  }
  EXPECT_EQ(logged, expected);
  // One command per write, with nothing after the last argument.
  for (const std::string& bytes : rig.Output.Written) {
    EXPECT_EQ(bytes.find("\r\n"), bytes.size() - 2) << bytes;
    EXPECT_NE(bytes[bytes.size() - 3], ' ') << bytes;
  }
  EXPECT_EQ(rig.Output.CommandLines().size(), expected.size());

  ASSERT_TRUE(rig.Output.Outcome.has_value());
  const bool quit = steps.back().Command == "QUIT";
  EXPECT_EQ(rig.Output.Outcome->Counted(), quit);
  if (quit) {
    EXPECT_EQ(rig.Output.Outcome->Result == MailboxResult::NewMail, rig.Record.NewCount > 0);
    for (int n = 1; n <= acceptedTops; ++n) {
      EXPECT_FALSE(rig.Record.Headers.at(static_cast<std::size_t>(n)).From.empty()) << n;
    }
    EXPECT_EQ(rig.Record.State, MailboxState::QuitSent);
  } else {
    EXPECT_FALSE(rig.Record.StatusText.empty());
    EXPECT_EQ(rig.Record.State, MailboxState::Idle);
  }
}

INSTANTIATE_TEST_SUITE_P(Recorded, TranscriptReplay, testing::ValuesIn(TranscriptFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = std::filesystem::path(info.param).stem().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(Pop3SessionTest, AGoneConnectionStopsTheSessionAtTheWrite) {
  SessionRig rig;
  rig.Output.FailWritesFrom = 2;  // USER goes, PASS finds the connection gone
  rig.Session.OnConnected();
  rig.Session.OnData("+OK ready\r\n");
  rig.Session.OnData("+OK\r\n");
  EXPECT_EQ(rig.Output.Written, (Lines{"USER alice\r\n", "PASS secret\r\n"}));
  // The write's log record still follows, and nothing else.
  EXPECT_EQ(rig.Output.Calls.back(), "log 4 PASS xxxxx");
  EXPECT_FALSE(rig.Output.Outcome.has_value());
}

TEST(Pop3SessionTest, TlsThatCannotBeginFailsBeforeAnythingIsSent) {
  SessionRig rig;
  rig.Record.Security = 1;
  rig.Output.RefuseTls = true;
  rig.Session.OnConnected();
  EXPECT_TRUE(rig.Output.Written.empty());
  ASSERT_TRUE(rig.Output.Outcome.has_value());
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::Failed);
  EXPECT_EQ(rig.Output.Outcome->Text, rig.Record.StatusText);
  EXPECT_EQ(rig.Record.State, MailboxState::Idle);
  EXPECT_EQ(rig.Output.Calls.front(), "tls pop.test");
}

TEST(Pop3SessionTest, AnUnknownSecuritySettingFailsAtTheConnectWithNothingSent) {
  SessionRig rig;
  rig.Record.Security = kUnknownSecurity;
  rig.Session.OnConnected();
  EXPECT_TRUE(rig.Output.Written.empty());
  ASSERT_TRUE(rig.Output.Outcome.has_value());
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::Failed);
  EXPECT_FALSE(rig.Record.StatusText.empty());
  EXPECT_EQ(rig.Output.Outcome->Text, rig.Record.StatusText);
  EXPECT_EQ(rig.Record.State, MailboxState::Idle);
}

TEST(Pop3SessionTest, OverTlsTheLoginWaitsForTheHandshakeAndPipelinesTheHeaders) {
  SessionRig rig;
  rig.Record.Security = 1;
  rig.Session.OnConnected();
  EXPECT_TRUE(rig.Session.Securing());
  // The handshake ends well: the time-out has done its work and the greeting comes next.
  rig.Session.OnHandshake({});
  EXPECT_FALSE(rig.Session.Securing());
  EXPECT_NE(std::find(rig.Output.Calls.begin(), rig.Output.Calls.end(), "stop connect time-out"),
            rig.Output.Calls.end());
  for (const char* reply :
       {"+OK ready\r\n", "+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n", "+OK\r\n", "+OK\r\n",
        "+OK 3 300\r\n", "-ERR\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"}) {
    rig.Session.OnData(reply);
  }
  EXPECT_EQ(rig.Session.ServerCapabilities(), (Lines{"PIPELINING", "UIDL"}));
  // All three TOP commands in one write.
  EXPECT_EQ(rig.Output.Written.back(), "TOP 1 0\r\nTOP 2 0\r\nTOP 3 0\r\n");
  rig.Session.OnData("+OK\r\nFrom: a\r\n\r\n.\r\n+OK\r\nFrom: b\r\n\r\n.\r\n");
  rig.Session.OnData("+OK\r\nFrom: c\r\n\r\n.\r\n");
  EXPECT_EQ(rig.Output.Written.back(), "QUIT\r\n");
  // The newest message stands first.
  EXPECT_EQ(rig.Record.Headers[1].From, "c");
  EXPECT_EQ(rig.Record.Headers[3].From, "a");
  EXPECT_FALSE(rig.Unfinished);
  rig.Session.OnQuitWaitOver();
  ASSERT_TRUE(rig.Output.Outcome.has_value());
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::NewMail);
}

TEST(Pop3SessionTest, PlainTopGoesOneAtATimeAndACutFetchIsLeftUnfinished) {
  SessionRig rig;
  rig.Session.OnConnected();
  for (const char* reply : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 300\r\n", "-ERR\r\n",
                            "+OK\r\n1 a\r\n2 b\r\n.\r\n"}) {
    rig.Session.OnData(reply);
  }
  EXPECT_EQ(rig.Output.Written.back(), "TOP 1 0\r\n");
  EXPECT_TRUE(rig.Unfinished);
  rig.Session.OnData("+OK\r\nFrom: a\r\n\r\n.\r\n");
  EXPECT_EQ(rig.Output.Written.back(), "TOP 2 0\r\n");
  EXPECT_TRUE(rig.Unfinished);
  rig.Session.OnData("+OK\r\nFrom: b\r\n\r\n.\r\n");
  EXPECT_EQ(rig.Output.Written.back(), "QUIT\r\n");
  EXPECT_FALSE(rig.Unfinished);
}

TEST(Pop3SessionTest, EventsOutsideTheirStepChangeNothing) {
  SessionRig rig;
  rig.Session.OnQuitWaitOver();
  rig.Session.OnHandshake({});
  rig.Session.OnSecureTimeout();
  EXPECT_TRUE(rig.Output.Calls.empty());
  rig.Session.OnConnected();
  const Lines once = rig.Output.Calls;
  rig.Session.OnConnected();
  EXPECT_EQ(rig.Output.Calls, once);
  EXPECT_EQ(rig.Record.State, MailboxState::Connected);
}

}  // namespace
}  // namespace postvane
