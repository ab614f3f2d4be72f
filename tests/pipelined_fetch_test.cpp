// Header fetch from a server that lists PIPELINING: TOP commands go out in windows, replies
// are matched in order however the bytes are split, and every way the fetch can end behaves
// as it does one TOP at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "check/top_pipeline.h"
#include "fakes/check_engine_rig.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

constexpr std::size_t kWindowBytes = PipelineLimits{}.Bytes;

std::string Top(int n) {
  return "+OK\r\nFrom: sender" + std::to_string(n) + "\r\nSubject: subject" + std::to_string(n) +
         "\r\n\r\n.\r\n";
}

std::string Listing(int messages) {
  std::string listing = "+OK\r\n";
  for (int n = 1; n <= messages; ++n)
    listing += std::to_string(n) + " uid-" + std::to_string(n) + "\r\n";
  return listing + ".\r\n";
}

// Every command line sent so far, a write of several split into its lines.
Lines CommandLines(const FakeSocket& socket) {
  Lines lines;
  for (const std::string& bytes : socket.Sent) {
    std::size_t start = 0;
    std::size_t end = 0;
    while ((end = bytes.find("\r\n", start)) != std::string::npos) {
      lines.push_back(bytes.substr(start, end - start));
      start = end + 2;
    }
  }
  return lines;
}

Lines TopLines(const FakeSocket& socket) {
  Lines tops;
  for (const std::string& line : CommandLines(socket)) {
    if (line.starts_with("TOP ")) tops.push_back(line);
  }
  return tops;
}

int MessageOf(const std::string& topLine) { return std::stoi(topLine.substr(4)); }

class PipelinedFetchTest : public ::testing::Test {
 protected:
  PipelinedFetchTest() {
    MailboxRecord& box = rig.Enable(0);
    box.Security = 1;
    box.UIDL = "uid-1";
    rig.LogOn();
  }

  MailboxRecord& Box() { return rig.Box(0); }

  // A new cycle over TLS up to the listing of `messages` messages, all but the first new.
  void CheckUpToListing(int messages,
                        const std::string& capa = "+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n") {
    rig.StartAndConnect();
    rig.Socket.FinishHandshake({});
    const std::string stat = "+OK " + std::to_string(messages) + " 1000\r\n";
    for (const std::string& reply :
         {std::string("+OK ready\r\n"), capa, std::string("+OK user\r\n"),
          std::string("+OK pass\r\n"), stat, std::string("+OK 0\r\n")}) {
      rig.Socket.Receive(reply);
    }
    answered_ = 0;
    rig.Socket.Receive(Listing(messages));
  }

  // The replies to the commands sent and not yet answered, joined.
  std::string Outstanding(int refused = 0, std::size_t bigAt = 0) {
    const Lines tops = TopLines(rig.Socket);
    std::string replies;
    for (; answered_ < tops.size(); ++answered_) {
      const int n = MessageOf(tops[answered_]);
      if (n == refused) {
        replies += "-ERR no such message\r\n";
      } else if (bigAt != 0 && static_cast<std::size_t>(n) == bigAt) {
        replies += HugeHeaderReply(n);
      } else {
        replies += Top(n);
      }
    }
    return replies;
  }

  std::size_t InFlight() const { return TopLines(rig.Socket).size() - answered_; }
  // Bytes of the commands not answered yet, as they went on the wire.
  std::size_t InFlightBytes() const {
    const Lines tops = TopLines(rig.Socket);
    std::size_t bytes = 0;
    for (std::size_t i = answered_; i < tops.size(); ++i) bytes += tops[i].size() + 2;
    return bytes;
  }

  CheckEngineRig rig;
  std::size_t answered_ = 0;
};

struct SplitCase {
  const char* name;
  std::size_t chunk;  // bytes per block; 0: each round's replies in one block
};

class PipelinedSplitTest : public PipelinedFetchTest,
                           public ::testing::WithParamInterface<SplitCase> {};

TEST_P(PipelinedSplitTest, FetchesEveryHeaderInOrderWithinTheWindow) {
  const int messages = 150;
  CheckUpToListing(messages);
  // All the commands fit the byte window: they go at once.
  ASSERT_EQ(InFlight(), static_cast<std::size_t>(messages - 1));
  std::size_t rounds = 0;
  while (rig.Socket.LastLine() != "QUIT" && rounds < 10000) {
    ++rounds;
    ASSERT_LE(InFlightBytes(), kWindowBytes);
    const std::string bytes = Outstanding();
    ASSERT_FALSE(bytes.empty()) << "no command left unanswered and no QUIT";
    const std::size_t chunk = GetParam().chunk == 0 ? bytes.size() : GetParam().chunk;
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
      rig.Socket.Receive(bytes.substr(at, chunk));
  }
  ASSERT_EQ(rig.Socket.LastLine(), "QUIT");

  const Lines tops = TopLines(rig.Socket);
  ASSERT_EQ(tops.size(), static_cast<std::size_t>(messages - 1));
  for (std::size_t i = 0; i < tops.size(); ++i)
    EXPECT_EQ(MessageOf(tops[i]), static_cast<int>(i) + 2);
  ASSERT_EQ(Box().Headers.size(), static_cast<std::size_t>(messages));
  for (int n = 2; n <= messages; ++n) {
    EXPECT_EQ(Box().Headers[static_cast<std::size_t>(messages - n + 1)].From,
              "sender" + std::to_string(n));
  }

  // One record per command and per reply, each command before its reply, replies in order.
  const std::string log = rig.Log();
  std::size_t lastReply = 0;
  for (int n = 2; n <= messages; ++n) {
    const std::string command = "\"TOP " + std::to_string(n) + " 0\"";
    const std::string reply = "\"" + Top(n) + "\"";
    const std::size_t commandAt = log.find(command);
    const std::size_t replyAt = log.find(reply);
    ASSERT_NE(commandAt, std::string::npos) << n;
    ASSERT_NE(replyAt, std::string::npos) << n;
    EXPECT_EQ(log.find(command, commandAt + 1), std::string::npos) << n;
    EXPECT_EQ(log.find(reply, replyAt + 1), std::string::npos) << n;
    EXPECT_LT(commandAt, replyAt) << n;
    EXPECT_LT(lastReply, replyAt) << n;
    lastReply = replyAt;
  }

  // A complete fetch is not repeated for the same count.
  rig.Socket.Receive("+OK bye\r\n");
  rig.Socket.Sent.clear();
  CheckUpToListing(messages);
  EXPECT_TRUE(TopLines(rig.Socket).empty());
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
}

INSTANTIATE_TEST_SUITE_P(Splits, PipelinedSplitTest,
                         ::testing::Values(SplitCase{"ManyRepliesPerBlock", 0},
                                           SplitCase{"OneReplyOverManyBlocks", 7},
                                           SplitCase{"SingleBytes", 1},
                                           SplitCase{"BlocksAcrossReplyEnds", 61}),
                         [](const auto& info) { return std::string(info.param.name); });

// Thousands of new messages: the window is bounded by the bytes of the commands the server
// has not answered, never by their count, so each round trip carries as many as fit.
TEST_F(PipelinedFetchTest, ManyHeadersTakeAsFewRoundTripsAsTheByteWindowAllows) {
  const int messages = 2001;
  CheckUpToListing(messages);
  std::size_t rounds = 0;
  std::size_t commandBytes = 0;
  while (rig.Socket.LastLine() != "QUIT" && rounds < 1000) {
    ++rounds;
    ASSERT_LE(InFlightBytes(), kWindowBytes);
    // Nearly a full window in flight whenever commands are left to send.
    if (TopLines(rig.Socket).size() < static_cast<std::size_t>(messages - 1)) {
      ASSERT_GT(InFlightBytes(), kWindowBytes - kWindowBytes / 8);
    }
    commandBytes += InFlightBytes();
    // The server answers everything it has read in one go.
    rig.Socket.Receive(Outstanding());
  }
  ASSERT_EQ(rig.Socket.LastLine(), "QUIT");
  EXPECT_EQ(TopLines(rig.Socket).size(), static_cast<std::size_t>(messages - 1));
  EXPECT_LE(rounds, commandBytes / kWindowBytes + 2);
  EXPECT_EQ(Box().Headers[1].From, "sender" + std::to_string(messages));
  EXPECT_EQ(Box().Headers[static_cast<std::size_t>(messages - 1)].From, "sender2");
}

struct EndCase {
  const char* name;
  int refused;  // message answered "-ERR"
};

class PipelinedEndTest : public PipelinedFetchTest,
                         public ::testing::WithParamInterface<EndCase> {};

TEST_P(PipelinedEndTest, FetchEndsAtTheBadReplyAndIsNotRepeated) {
  const int messages = 100;
  const int bad = GetParam().refused;
  CheckUpToListing(messages);
  // The replies before the bad one in one block, the bad one and the rest in the next.
  const std::string replies = Outstanding(bad);
  const std::size_t badAt = replies.find("-ERR");
  const std::size_t cut = replies.rfind(".\r\n", badAt);
  const std::size_t split = cut == std::string::npos ? 0 : cut + 3;
  if (split > 0) rig.Socket.Receive(replies.substr(0, split));
  const std::size_t sentBefore = TopLines(rig.Socket).size();
  rig.Socket.Receive(replies.substr(split) + Outstanding());
  // Nothing more is asked for after the bad reply, and QUIT follows once the rest is in.
  EXPECT_EQ(TopLines(rig.Socket).size(), sentBefore);
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  EXPECT_EQ(Box().State, MailboxState::QuitSent);
  for (int n = 2; n <= messages; ++n) {
    const std::string& from = Box().Headers[static_cast<std::size_t>(messages - n + 1)].From;
    if (n < bad) {
      EXPECT_EQ(from, "sender" + std::to_string(n));
    } else {
      EXPECT_TRUE(from.empty()) << n;
    }
  }
  rig.Socket.Receive("+OK bye\r\n");
  rig.Socket.Sent.clear();
  CheckUpToListing(messages);
  EXPECT_TRUE(TopLines(rig.Socket).empty());
}

INSTANTIATE_TEST_SUITE_P(Ends, PipelinedEndTest,
                         ::testing::Values(EndCase{"RefusedInTheMiddle", 9},
                                           EndCase{"RefusedFirst", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

class PipelinedHugeHeaderTest : public PipelinedFetchTest,
                                public ::testing::WithParamInterface<SplitCase> {};

// One reply past the header bound keeps the lines that fit and the fetch goes on past it.
TEST_P(PipelinedHugeHeaderTest, KeepsWhatFitsAndFetchesTheRest) {
  const int messages = 40;
  const int huge = 12;
  CheckUpToListing(messages);
  std::size_t rounds = 0;
  while (rig.Socket.LastLine() != "QUIT" && rounds < 1000) {
    ++rounds;
    const std::string bytes = Outstanding(0, huge);
    ASSERT_FALSE(bytes.empty()) << "no command left unanswered and no QUIT";
    const std::size_t chunk = GetParam().chunk == 0 ? bytes.size() : GetParam().chunk;
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
      rig.Socket.Receive(bytes.substr(at, chunk));
  }
  ASSERT_EQ(rig.Socket.LastLine(), "QUIT");
  EXPECT_EQ(TopLines(rig.Socket).size(), static_cast<std::size_t>(messages - 1));
  for (int n = 2; n <= messages; ++n) {
    const MessageHeader& header = Box().Headers[static_cast<std::size_t>(messages - n + 1)];
    EXPECT_EQ(header.From, "sender" + std::to_string(n));
    EXPECT_EQ(header.Subject, n == huge ? "" : "subject" + std::to_string(n)) << n;
  }
  rig.Socket.Receive("+OK bye\r\n");
  EXPECT_EQ(Box().StatusText, "");
  rig.Socket.Sent.clear();
  CheckUpToListing(messages);
  EXPECT_TRUE(TopLines(rig.Socket).empty()) << "the fetch counts as complete";
}

INSTANTIATE_TEST_SUITE_P(Splits, PipelinedHugeHeaderTest,
                         ::testing::Values(SplitCase{"ManyRepliesPerBlock", 0},
                                           SplitCase{"Blocks", 65536},
                                           SplitCase{"OddBlocks", 4093}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CutCase {
  const char* name;
  int how;  // 0: new cycle, 1: peer close, 2: socket error
};

class PipelinedCutTest : public PipelinedFetchTest,
                         public ::testing::WithParamInterface<CutCase> {};

TEST_P(PipelinedCutTest, FetchCutOffMidWindowIsRefetched) {
  const int messages = 120;
  CheckUpToListing(messages);
  // Part of the window answered, one reply half in.
  const std::string replies = Outstanding();
  rig.Socket.Receive(replies.substr(0, replies.size() / 2));
  switch (GetParam().how) {
    case 1:
      rig.Socket.RaisePeerClose();
      break;
    case 2:
      rig.Socket.RaiseError(10054, "Connection reset by peer");
      break;
    default:
      break;
  }
  rig.Socket.Sent.clear();
  CheckUpToListing(messages);
  const Lines tops = TopLines(rig.Socket);
  ASSERT_EQ(tops.size(), static_cast<std::size_t>(messages - 1));
  EXPECT_EQ(tops.front(), "TOP 2 0");
  // Whatever the old window still brings is not taken for the new one.
  while (rig.Socket.LastLine() != "QUIT") {
    const std::string bytes = Outstanding();
    ASSERT_FALSE(bytes.empty());
    rig.Socket.Receive(bytes);
  }
  EXPECT_EQ(Box().Headers[1].From, "sender" + std::to_string(messages));
}

INSTANTIATE_TEST_SUITE_P(Cuts, PipelinedCutTest,
                         ::testing::Values(CutCase{"NewCycle", 0}, CutCase{"PeerClose", 1},
                                           CutCase{"SocketError", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OneAtATimeCase {
  const char* name;
  const char* capa;
};

class OneAtATimeTest : public PipelinedFetchTest,
                       public ::testing::WithParamInterface<OneAtATimeCase> {};

TEST_P(OneAtATimeTest, ServerWithoutPipeliningGetsOneTopAtATime) {
  CheckUpToListing(4, GetParam().capa);
  EXPECT_EQ(TopLines(rig.Socket), (Lines{"TOP 2 0"}));
  rig.Socket.Receive(Top(2));
  EXPECT_EQ(TopLines(rig.Socket), (Lines{"TOP 2 0", "TOP 3 0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Capa, OneAtATimeTest,
    ::testing::Values(OneAtATimeCase{"Refused", "-ERR what\r\n"},
                      OneAtATimeCase{"NotListed", "+OK\r\nUIDL\r\nTOP\r\n.\r\n"},
                      OneAtATimeCase{"OnlyAsArgument", "+OK\r\nX-NOTE PIPELINING\r\n.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace postvane
