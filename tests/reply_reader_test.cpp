// Where each reply ends under every rule, however the bytes are cut into deliveries, and what
// the bounds do to a reply that is too long.
#include "check/reply_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace postvane {
namespace {

using Part = Reply::Part;

// What Take handed on: "W:" whole, "H:" a cut head, "E" the end of a skipped rest.
std::vector<std::string> Drain(ReplyReader& reader) {
  std::vector<std::string> taken;
  while (const std::optional<Reply> reply = reader.Take()) {
    switch (reply->What) {
      case Part::Whole:
        taken.push_back((reply->Accepted ? "W+:" : "W-:") + std::string(reply->Text));
        break;
      case Part::Head:
        taken.push_back("H:" + std::string(reply->Text));
        break;
      case Part::RestEnd:
        taken.push_back("E");
        break;
    }
  }
  return taken;
}

struct ReadCase {
  const char* Name;
  ReplyEnd End;
  ReplyLimits Limits;
  std::string Wire;
  std::vector<std::string> Replies;
  bool Overflow = false;
  std::size_t Held = 0;  // bytes left over that belong to no reply yet
};

class ReplyReaderCut : public ::testing::TestWithParam<ReadCase> {};

// The same replies come out whether the wire arrives whole, in two parts cut at any place, or
// byte by byte.
TEST_P(ReplyReaderCut, SameRepliesHoweverTheBytesAreCut) {
  const ReadCase& c = GetParam();
  std::vector<std::vector<std::string_view>> deliveries;
  for (std::size_t cut = 0; cut <= c.Wire.size(); ++cut) {
    deliveries.push_back(
        {std::string_view(c.Wire).substr(0, cut), std::string_view(c.Wire).substr(cut)});
  }
  std::vector<std::string_view> bytes;
  for (std::size_t at = 0; at < c.Wire.size(); ++at) {
    bytes.push_back(std::string_view(c.Wire).substr(at, 1));
  }
  deliveries.push_back(bytes);
  for (std::size_t k = 0; k < deliveries.size(); ++k) {
    SCOPED_TRACE(k);
    ReplyReader reader(c.End, c.Limits);
    std::vector<std::string> taken;
    for (const std::string_view part : deliveries[k]) {
      reader.Add(part);
      for (std::string& reply : Drain(reader)) taken.push_back(std::move(reply));
    }
    EXPECT_EQ(taken, c.Replies);
    EXPECT_EQ(reader.Overflowed(), c.Overflow);
    if (!c.Overflow) {
      EXPECT_EQ(reader.Held(), c.Held);
    }
  }
}

const ReplyLimits kNoBound{};

INSTANTIATE_TEST_SUITE_P(
    Rules, ReplyReaderCut,
    ::testing::Values(
        ReadCase{"LineEndsAtItsLineEnd",
                 ReplyEnd::Line,
                 kNoBound,
                 "+OK go\r\nrest",
                 {"W+:+OK go\r\n"},
                 false,
                 4},
        ReadCase{"LineWithoutLineEndWaits", ReplyEnd::Line, kNoBound, "+OK go", {}, false, 6},
        ReadCase{"StatusBlocksAndOneLineRefusals",
                 ReplyEnd::Status,
                 kNoBound,
                 "+OK\r\nA: 1\r\n..dot\r\n.\r\n-ERR no\r\n+OK\r\n.\r\n+OK\r\nB",
                 {"W+:+OK\r\nA: 1\r\n..dot\r\n.\r\n", "W-:-ERR no\r\n", "W+:+OK\r\n.\r\n"},
                 false,
                 6},
        // A refusal is one line even when a block's end mark follows it.
        ReadCase{"StatusRefusalIsOneLine",
                 ReplyEnd::Status,
                 kNoBound,
                 "-ERR\r\n.\r\n",
                 {"W-:-ERR\r\n", "W-:.\r\n"}},
        ReadCase{"ListingEndsAtTheLoneDot",
                 ReplyEnd::Listing,
                 kNoBound,
                 "+OK\r\n1 a\r\n2 b\r\n.\r\n",
                 {"W+:+OK\r\n1 a\r\n2 b\r\n.\r\n"}},
        ReadCase{"ListingRefusedInAnyCase",
                 ReplyEnd::Listing,
                 kNoBound,
                 "-eRr no\r\n",
                 {"W-:-eRr no\r\n"}},
        ReadCase{"ListingErrOnlyAtALineStart",
                 ReplyEnd::Listing,
                 kNoBound,
                 "+OK\r\n1 -ERR\r\n",
                 {},
                 false,
                 13},
        ReadCase{"ListingErrAfterAnEarlierLineEnd",
                 ReplyEnd::Listing,
                 kNoBound,
                 "+OK\r\n-ERR",
                 {"W+:+OK\r\n-ERR"}},
        ReadCase{"ListingExactlyAtTheBound",
                 ReplyEnd::Listing,
                 {.Bytes = 13},
                 "+OK\r\n1 a\r\n.\r\n",
                 {"W+:+OK\r\n1 a\r\n.\r\n"}},
        ReadCase{"ListingPastTheBound",
                 ReplyEnd::Listing,
                 {.Bytes = 12},
                 "+OK\r\n1 a\r\n.\r\n",
                 {},
                 true},
        ReadCase{"LinePastTheBound", ReplyEnd::Line, {.Bytes = 8}, "-ERR 12345\r\n", {}, true},
        ReadCase{"StatusBlockPastTheBound",
                 ReplyEnd::Status,
                 {.Bytes = 8},
                 "+OK\r\nA: 1\r\n.\r\n",
                 {},
                 true},
        ReadCase{"StatusRepliesEachWithinTheBound",
                 ReplyEnd::Status,
                 {.Bytes = 9},
                 "+OK\r\n.\r\n-ERR x\r\n+OK\r\n.\r\n",
                 {"W+:+OK\r\n.\r\n", "W-:-ERR x\r\n", "W+:+OK\r\n.\r\n"}},
        ReadCase{"LongBlockIsCutAndTheNextRead",
                 ReplyEnd::Status,
                 {.Bytes = 10, .CutLong = true},
                 "+OK\r\nA: 123456789\r\n.\r\n+OK\r\n.\r\n",
                 {"H:+OK\r\nA: 12", "E", "W+:+OK\r\n.\r\n"}},
        ReadCase{"RestWithinTheSkipBound",
                 ReplyEnd::Status,
                 {.Bytes = 10, .CutLong = true, .SkippedBytes = 20},
                 "+OK\r\n" + std::string(25, 'x') + "\r\n.\r\n",
                 {"H:+OK\r\nxxxxx", "E"}},
        ReadCase{"RestPastTheSkipBound",
                 ReplyEnd::Status,
                 {.Bytes = 10, .CutLong = true, .SkippedBytes = 20},
                 "+OK\r\n" + std::string(40, 'x'),
                 {"H:+OK\r\nxxxxx"},
                 true},
        ReadCase{"LongRefusalIsNeverCut",
                 ReplyEnd::Status,
                 {.Bytes = 10, .CutLong = true},
                 "-ERR 123456789\r\n",
                 {},
                 true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ReplyReaderTest, EachDeliveryIsOneReplyByTheBlock) {
  ReplyReader reader(ReplyEnd::Block);
  for (const std::string_view delivery : {"+OK POP3 ", "server ready\r\n", ""}) {
    reader.Add(delivery);
    const std::optional<Reply> reply = reader.Take();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Text, delivery);
    EXPECT_EQ(reply->Accepted, delivery.starts_with("+OK"));
    EXPECT_FALSE(reader.Take());
  }
}

TEST(ReplyReaderTest, ExpectDropsWhatIsLeftAndItsMemory) {
  ReplyReader reader(ReplyEnd::Line, {.Bytes = 8});
  reader.Add("+OK\r\n" + std::string(4096, 'x'));
  ASSERT_TRUE(reader.Take());
  EXPECT_FALSE(reader.Take());
  EXPECT_TRUE(reader.Overflowed());
  reader.Expect(ReplyEnd::Line);
  EXPECT_FALSE(reader.Overflowed());
  EXPECT_EQ(reader.Held(), 0u);
  EXPECT_LT(reader.Buffer().capacity(), 4096u);
  reader.Add("+OK\r\n");
  EXPECT_TRUE(reader.Take());
}

// A cut reply's rest is not kept however long it goes on.
TEST(ReplyReaderTest, SkippedRestHoldsOnlyWhatMayBeginItsEnd) {
  ReplyReader reader(ReplyEnd::Status, {.Bytes = 16, .CutLong = true});
  reader.Add("+OK\r\n" + std::string(100, 'x'));
  ASSERT_EQ(Drain(reader).size(), 1u);
  for (int k = 0; k < 1000; ++k) {
    reader.Add(std::string(1000, 'y') + "\r\n");
    ASSERT_TRUE(Drain(reader).empty());
    ASSERT_LT(reader.Held(), 5u);
  }
  reader.Add(".\r\n-ERR\r\n");
  EXPECT_EQ(Drain(reader), (std::vector<std::string>{"E", "W-:-ERR\r\n"}));
}

}  // namespace
}  // namespace postvane
