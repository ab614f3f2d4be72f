// The pipelined header fetch: window bounds, replies matched in order, wire order of events.
#include "check/top_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace postvane {
namespace {

using Kind = PipelineEvent::Kind;

std::string Reply(int n) {
  return "+OK\r\nFrom: sender" + std::to_string(n) + "\r\nSubject: s" + std::to_string(n) +
         "\r\n\r\n.\r\n";
}

// A server that answers every command as it arrives, in order; `refuse` answers "-ERR".
struct Server {
  std::vector<int> refuse;
  std::string Answer(const PipelineEvent& command) const {
    for (int n : refuse) {
      if (n == command.Message) return "-ERR no such message\r\n";
    }
    return Reply(command.Message);
  }
};

// Runs a whole fetch with the server's bytes cut into pieces of random sizes; returns every
// event in wire order.
std::vector<PipelineEvent> RunFetch(int first, int last, PipelineLimits limits,
                                    const Server& server, uint32_t seed) {
  TopPipeline pipeline(first, last, limits);
  std::vector<PipelineEvent> all = pipeline.Start();
  std::string wire;  // what the server has yet to deliver
  std::size_t answered = 0;
  std::mt19937 random(seed);
  for (int guard = 0; guard < 100000 && !pipeline.Done() && !pipeline.Failed(); ++guard) {
    for (; answered < all.size(); ++answered) {
      if (all[answered].What == Kind::Command) wire += server.Answer(all[answered]);
    }
    const std::size_t cut = std::min<std::size_t>(wire.size(), 1 + random() % 700);
    std::vector<PipelineEvent> events = pipeline.Feed(std::string_view(wire).substr(0, cut));
    wire.erase(0, cut);
    for (PipelineEvent& event : events) all.push_back(std::move(event));
    EXPECT_LE(pipeline.CommandsInFlight(), limits.Commands);
  }
  EXPECT_TRUE(wire.empty());
  return all;
}

TEST(TopPipeline, FirstWindowKeepsToBothBounds) {
  struct Row {
    const char* what;
    int first, last;
    PipelineLimits limits;
    std::size_t commands;
  };
  const Row rows[] = {
      {"fewer messages than the window", 3, 7, {}, 5},
      {"the command bound", 1, 2000, {64, 16384, 0}, 64},
      {"the byte bound", 1000, 2000, {64, 60, 0}, 5},  // "TOP 1000 0\r\n" is 12 bytes
      {"one command however small the byte bound", 1, 10, {64, 1, 0}, 1},
      // Nine commands of 9 bytes, then three of 10 fit 120 bytes.
      {"bytes alone without a command bound", 1, 100, {kAnyCommandCount, 120, 0}, 12},
      {"nothing to fetch", 5, 4, {}, 0},
  };
  for (const Row& row : rows) {
    TopPipeline pipeline(row.first, row.last, row.limits);
    const std::vector<PipelineEvent> events = pipeline.Start();
    ASSERT_EQ(events.size(), row.commands) << row.what;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
      EXPECT_EQ(events[i].What, Kind::Command) << row.what;
      EXPECT_EQ(events[i].Message, row.first + static_cast<int>(i)) << row.what;
      EXPECT_EQ(events[i].Text, "TOP " + std::to_string(events[i].Message) + " 0\r\n");
      bytes += events[i].Text.size();
    }
    EXPECT_EQ(pipeline.BytesInFlight(), bytes) << row.what;
    EXPECT_EQ(pipeline.Done(), row.commands == 0) << row.what;
  }
}

// Every message is asked for once, every reply goes to its own command in order, and each
// reply shows up after its command and before anything sent later than the refill it allowed.
TEST(TopPipeline, RepliesMatchTheirCommandsInOrderHoweverTheBytesAreCut) {
  struct Row {
    const char* what;
    int first, last;
    PipelineLimits limits;
    std::vector<int> refused;
  };
  const Row rows[] = {
      {"2,000 messages in windows of 64", 1, 2000, {64, 16384, 0}, {}},
      {"a small byte bound", 1, 300, {64, 100, 0}, {}},
      {"refusals in between", 10, 90, {8, 16384, 0}, {10, 11, 50, 90}},
      {"one at a time", 1, 20, {1, 16384, 0}, {7}},
  };
  for (const Row& row : rows) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      SCOPED_TRACE(std::string(row.what) + ", seed " + std::to_string(seed));
      const std::vector<PipelineEvent> events =
          RunFetch(row.first, row.last, row.limits, Server{row.refused}, seed);
      std::vector<int> commands;
      std::size_t replies = 0;
      for (const PipelineEvent& event : events) {
        if (event.What == Kind::Command) {
          commands.push_back(event.Message);
          continue;
        }
        ASSERT_LT(replies, commands.size()) << "a reply before its command";
        EXPECT_EQ(event.Message, commands[replies]);
        const bool refused =
            std::find(row.refused.begin(), row.refused.end(), event.Message) != row.refused.end();
        EXPECT_EQ(event.Accepted, !refused) << event.Message;
        EXPECT_EQ(event.Text, refused ? "-ERR no such message\r\n" : Reply(event.Message));
        ++replies;
      }
      ASSERT_EQ(commands.size(), static_cast<std::size_t>(row.last - row.first + 1));
      for (std::size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands[i], row.first + static_cast<int>(i));
      }
      EXPECT_EQ(replies, commands.size());
    }
  }
}

TEST(TopPipeline, RefillsOnlyOnceAnEighthOfTheWindowIsAnswered) {
  TopPipeline pipeline(1, 100, {32, 16384, 0});
  ASSERT_EQ(pipeline.Start().size(), 32u);
  std::size_t sent = 0;
  for (int n = 1; n <= 4; ++n) {
    const std::vector<PipelineEvent> events = pipeline.Feed(Reply(n));
    ASSERT_GE(events.size(), 1u);
    EXPECT_EQ(events[0].What, Kind::Reply);
    sent = events.size() - 1;
    if (n < 4) {
      EXPECT_EQ(sent, 0u) << n;
    }
  }
  EXPECT_EQ(sent, 4u);  // back to a full window in one write
  EXPECT_EQ(pipeline.CommandsInFlight(), 32u);
}

// "TOP 10 0\r\n" to "TOP 99 0\r\n" are 10 bytes each: ten fill 100 bytes, and an eighth of
// that is free once two are answered.
TEST(TopPipeline, RefillsOnlyOnceAnEighthOfTheByteWindowIsAnswered) {
  TopPipeline pipeline(10, 99, {kAnyCommandCount, 100, 0});
  ASSERT_EQ(pipeline.Start().size(), 10u);
  std::vector<PipelineEvent> events = pipeline.Feed(Reply(10));
  ASSERT_EQ(events.size(), 1u);
  events = pipeline.Feed(Reply(11));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].Text, "TOP 20 0\r\n");
  EXPECT_EQ(events[2].Text, "TOP 21 0\r\n");
  EXPECT_EQ(pipeline.BytesInFlight(), 100u);
}

TEST(TopPipeline, StopSendingLetsTheRepliesInFlightEndTheFetch) {
  TopPipeline pipeline(1, 100, {4, 16384, 0});
  pipeline.Start();
  pipeline.StopSending();
  std::vector<PipelineEvent> events = pipeline.Feed(Reply(1) + "-ERR gone\r\n" + Reply(3));
  EXPECT_EQ(events.size(), 3u);
  EXPECT_FALSE(pipeline.Done());
  events = pipeline.Feed(Reply(4));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(pipeline.Done());
  EXPECT_FALSE(pipeline.Failed());
}

TEST(TopPipeline, StopAtRefusalSendsNothingAfterTheRefusedReply) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stops" : "goes on");
    TopPipeline pipeline(1, 100, {8, 16384, 0, stop});
    pipeline.Start();
    std::string replies;
    for (int n = 1; n <= 8; ++n) replies += n == 3 ? std::string("-ERR gone\r\n") : Reply(n);
    std::size_t commands = 0;  // after the refused reply
    bool refused = false;
    for (const PipelineEvent& event : pipeline.Feed(replies)) {
      if (event.What == Kind::Reply && !event.Accepted) refused = true;
      if (refused && event.What == Kind::Command) ++commands;
    }
    ASSERT_TRUE(refused);
    // Without the stop the window is refilled; with it, the fetch ends with the replies.
    EXPECT_EQ(commands == 0, stop);
    if (stop) {
      // The commands sent before the refusal are still answered.
      pipeline.Feed(Reply(9) + Reply(10));
      EXPECT_TRUE(pipeline.Done());
    }
  }
}

// A reply past the bound, cut at every split of its end mark and of what follows it.
TEST(TopPipeline, LongReplyIsCutItsRestSkippedAndTheNextMatched) {
  const std::size_t bound = 64;
  const std::string longReply = "+OK\r\nFrom: a\r\n" + std::string(500, 'x') + "\r\n\r\n.\r\n";
  const std::string wire = longReply + Reply(2) + Reply(3);
  for (std::size_t split = 1; split < wire.size(); ++split) {
    SCOPED_TRACE(split);
    TopPipeline pipeline(
        1, 3, {.Commands = 64, .Bytes = 16384, .ReplyBytes = bound, .CutLongReplies = true});
    pipeline.Start();
    std::vector<PipelineEvent> replies;
    for (const std::string_view part :
         {std::string_view(wire).substr(0, split), std::string_view(wire).substr(split)}) {
      for (PipelineEvent& event : pipeline.Feed(part)) {
        if (event.What == Kind::Reply) replies.push_back(std::move(event));
      }
    }
    EXPECT_FALSE(pipeline.Failed());
    EXPECT_TRUE(pipeline.Done());
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].Message, 1);
    EXPECT_TRUE(replies[0].Cut);
    EXPECT_TRUE(replies[0].Accepted);
    EXPECT_EQ(replies[0].Text, longReply.substr(0, bound));
    for (int n = 2; n <= 3; ++n) {
      EXPECT_EQ(replies[static_cast<std::size_t>(n - 1)].Text, Reply(n));
      EXPECT_FALSE(replies[static_cast<std::size_t>(n - 1)].Cut);
    }
  }
}

TEST(TopPipeline, SkippedRestIsNotKept) {
  TopPipeline pipeline(
      1, 2, {.Commands = 64, .Bytes = 16384, .ReplyBytes = 1024, .CutLongReplies = true});
  pipeline.Start();
  EXPECT_EQ(pipeline.Feed("+OK\r\n" + std::string(4096, 'x')).size(), 1u);
  for (int k = 0; k < 1000; ++k) {
    ASSERT_TRUE(pipeline.Feed(std::string(4096, 'y') + "\r\n").empty());
    ASSERT_LT(pipeline.PendingBytes(), 8u);
  }
  EXPECT_FALSE(pipeline.Failed());
  const std::vector<PipelineEvent> events = pipeline.Feed(".\r\n" + Reply(2));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Text, Reply(2));
  EXPECT_TRUE(pipeline.Done());
}

TEST(TopPipeline, RestPastTheSkipBoundFails) {
  TopPipeline pipeline(1, 2,
                       {.Commands = 64,
                        .Bytes = 16384,
                        .ReplyBytes = 100,
                        .CutLongReplies = true,
                        .SkippedBytes = 1000});
  pipeline.Start();
  EXPECT_EQ(pipeline.Feed("+OK\r\n" + std::string(500, 'x')).size(), 1u);
  EXPECT_FALSE(pipeline.Failed());
  EXPECT_TRUE(pipeline.Feed(std::string(600, 'y')).empty());
  EXPECT_TRUE(pipeline.Failed());
  EXPECT_TRUE(pipeline.Feed("\r\n.\r\n" + Reply(2)).empty());
}

TEST(TopPipeline, LongRefusalFailsEvenWhenCutting) {
  TopPipeline pipeline(1, 2,
                       {.Commands = 64, .Bytes = 16384, .ReplyBytes = 100, .CutLongReplies = true});
  pipeline.Start();
  EXPECT_TRUE(pipeline.Feed("-ERR " + std::string(200, 'x')).empty());
  EXPECT_TRUE(pipeline.Failed());
}

TEST(TopPipeline, BadInputFailsInsteadOfGrowing) {
  {
    SCOPED_TRACE("a reply past the bound");
    TopPipeline pipeline(1, 3, {64, 16384, 100});
    pipeline.Start();
    EXPECT_TRUE(pipeline.Feed("+OK\r\n" + std::string(200, 'x')).empty());
    EXPECT_TRUE(pipeline.Failed());
    EXPECT_TRUE(pipeline.Feed(Reply(1)).empty());
  }
  {
    SCOPED_TRACE("a complete reply past the bound");
    TopPipeline pipeline(1, 3, {64, 16384, 20});
    pipeline.Start();
    EXPECT_TRUE(pipeline.Feed(Reply(1)).empty());
    EXPECT_TRUE(pipeline.Failed());
  }
  {
    SCOPED_TRACE("bytes after the last reply");
    TopPipeline pipeline(1, 1);
    pipeline.Start();
    EXPECT_EQ(pipeline.Feed(Reply(1) + "+OK extra\r\n").size(), 1u);
    EXPECT_TRUE(pipeline.Failed());
  }
  {
    SCOPED_TRACE("bytes with nothing asked");
    TopPipeline pipeline(5, 4);
    pipeline.Start();
    EXPECT_TRUE(pipeline.Feed("+OK\r\n").empty());
    EXPECT_TRUE(pipeline.Failed());
  }
}

// The end of a block split between two deliveries at every position.
TEST(TopPipeline, BlockEndSplitAnywhereIsFound) {
  const std::string reply = Reply(1);
  for (std::size_t cut = 1; cut < reply.size(); ++cut) {
    TopPipeline pipeline(1, 1);
    pipeline.Start();
    EXPECT_TRUE(pipeline.Feed(std::string_view(reply).substr(0, cut)).empty()) << cut;
    const std::vector<PipelineEvent> events = pipeline.Feed(std::string_view(reply).substr(cut));
    ASSERT_EQ(events.size(), 1u) << cut;
    EXPECT_EQ(events[0].Text, reply);
    EXPECT_TRUE(pipeline.Done());
  }
}

}  // namespace
}  // namespace postvane
