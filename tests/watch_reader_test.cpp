// Splitting the watch connection's bytes into responses: packets cut anywhere, literals
// skipped, and a bound that no response passes.
#include "check/watch_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace postvane {
namespace {

using Kind = WatchResponse::Kind;

struct Taken {
  Kind What;
  std::string Tag;
  std::string Text;
  bool operator==(const Taken&) const = default;
};

std::vector<Taken> TakeAll(WatchReader& reader) {
  std::vector<Taken> all;
  while (auto response = reader.Next())
    all.push_back({response->What, response->Tag, response->Text});
  return all;
}

const std::string kStream =
    "* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n"
    "* 2 FETCH (BODY[HEADER] {14}\r\nSubject: x\r\n\r\n FLAGS (\\Seen))\r\n"
    "* LIST () \"/\" {3+}\r\nabc\r\n"
    "+ idling\r\n"
    "W7 OK [READ-ONLY] done\n";

const std::vector<Taken> kExpected = {
    {Kind::Untagged, "", "OK [CAPABILITY IMAP4rev1 IDLE] ready"},
    {Kind::Untagged, "", "2 FETCH (BODY[HEADER]  FLAGS (\\Seen))"},
    {Kind::Untagged, "", "LIST () \"/\" "},
    {Kind::Continuation, "", "idling"},
    {Kind::Tagged, "W7", "OK [READ-ONLY] done"},
};

TEST(WatchReaderTest, WholeStreamAtOnce) {
  WatchReader reader;
  ASSERT_TRUE(reader.Feed(kStream));
  EXPECT_EQ(TakeAll(reader), kExpected);
  EXPECT_FALSE(reader.HasUnread());
}

TEST(WatchReaderTest, EveryCutOfTheStreamGivesTheSameResponses) {
  for (std::size_t cut = 1; cut < kStream.size(); ++cut) {
    WatchReader reader;
    ASSERT_TRUE(reader.Feed(kStream.substr(0, cut)));
    std::vector<Taken> all = TakeAll(reader);
    ASSERT_TRUE(reader.Feed(kStream.substr(cut)));
    for (const Taken& more : TakeAll(reader)) all.push_back(more);
    EXPECT_EQ(all, kExpected) << "cut at " << cut;
  }
}

TEST(WatchReaderTest, ByteByByte) {
  WatchReader reader;
  std::vector<Taken> all;
  for (char c : kStream) {
    ASSERT_TRUE(reader.Feed(std::string(1, c)));
    for (const Taken& more : TakeAll(reader)) all.push_back(more);
  }
  EXPECT_EQ(all, kExpected);
}

struct LimitCase {
  const char* Name;
  std::string Bytes;
  bool Accepted;
};

class WatchReaderLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(WatchReaderLimitTest, ResponsesBeyondTheBoundFailAndStayFailed) {
  WatchReader reader(100);
  EXPECT_EQ(reader.Feed(GetParam().Bytes), GetParam().Accepted);
  if (!GetParam().Accepted) {
    EXPECT_FALSE(reader.Feed("* OK fine\r\n"));
    EXPECT_FALSE(reader.Next().has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WatchReaderLimitTest,
    ::testing::Values(LimitCase{"LineJustFits", "* OK " + std::string(93, 'x') + "\r\n", true},
                      LimitCase{"LineTooLong", "* OK " + std::string(94, 'x') + "\r\n", false},
                      LimitCase{"UnendedLine", std::string(101, 'x'), false},
                      LimitCase{"LiteralTooLong", "* 1 FETCH {90}\r\n", false},
                      LimitCase{"HugeLiteral", "* 1 FETCH {99999999999}\r\n", false},
                      LimitCase{"ManyLiteralsInOneResponse",
                                "* X {40}\r\n" + std::string(40, 'a') + " {40}\r\n" +
                                    std::string(40, 'a') + " {40}\r\n",
                                false},
                      LimitCase{"ManySmallResponses",
                                [] {
                                  std::string bytes;
                                  for (int i = 0; i < 50; ++i) bytes += "* 1 EXISTS\r\n";
                                  return bytes;
                                }(),
                                true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(WatchReaderTest, NotALiteral) {
  WatchReader reader;
  ASSERT_TRUE(reader.Feed("* OK {x}\r\n* OK {}\r\n* OK {12\r\n"));
  EXPECT_EQ(TakeAll(reader).size(), 3u);
}

TEST(WatchReaderTest, WordHelpers) {
  EXPECT_EQ(UpperWord("4 exists", 1), "EXISTS");
  EXPECT_EQ(UpperWord("ok", 0), "OK");
  EXPECT_EQ(UpperWord("ok", 3), "");
  EXPECT_EQ(CapabilityCode("OK [CAPABILITY IMAP4rev1 idle] hi"),
            (std::vector<std::string>{"IMAP4REV1", "IDLE"}));
  EXPECT_TRUE(CapabilityCode("OK [READ-ONLY] done").empty());
  EXPECT_TRUE(CapabilityCode("OK text [CAPABILITY IDLE]").empty());
  EXPECT_TRUE(CapabilityCode("OK [CAPABILITY IDLE").empty());
}

}  // namespace
}  // namespace postvane
