// The incremental search for the completion marks of collected replies.
#include "check/reply_watch.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

// Feeds text in two blocks cut at `cut`; returns after which block the needle was found
// (1 or 2), 0 when never.
int FoundAfter(ReplyWatch& watch, const std::string& text, std::size_t cut) {
  std::string buffer = text.substr(0, cut);
  if (watch.Update(buffer, 0)) return 1;
  const std::size_t old = buffer.size();
  buffer += text.substr(cut);
  return watch.Update(buffer, old) ? 2 : 0;
}

TEST(ReplyWatchTest, NeedleSplitAtEveryPlaceIsFound) {
  const std::string text = "+OK\r\n1 a\r\n.\r\n";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    ReplyWatch watch("\r\n.\r\n", CaseRule::Exact);
    const int after = FoundAfter(watch, text, cut);
    EXPECT_EQ(after, cut == text.size() ? 1 : 2) << "cut " << cut;
  }
}

TEST(ReplyWatchTest, OnlyTheTailOfTheOldBufferIsLookedAt) {
  ReplyWatch watch("-ERR", CaseRule::Exact);
  std::string buffer = "-ERR";
  // Told that the first four bytes were there before: they were already searched.
  EXPECT_FALSE(watch.Update(buffer, 4));
  buffer += "x";
  EXPECT_FALSE(watch.Update(buffer, 4));
  buffer += "-ER";
  EXPECT_FALSE(watch.Update(buffer, 5));
  buffer += "R";
  EXPECT_TRUE(watch.Update(buffer, 8));
  EXPECT_TRUE(watch.Found());
}

TEST(ReplyWatchTest, CaseRules) {
  ReplyWatch exact("-ERR", CaseRule::Exact);
  ReplyWatch loose("-ERR", CaseRule::IgnoreCase);
  const std::string buffer = "+OK\r\n1 -eRr\r\n";
  EXPECT_FALSE(exact.Update(buffer, 0));
  EXPECT_TRUE(loose.Update(buffer, 0));
}

// A listing's refusal is its status line; the same letters inside an entry are an id.
TEST(ReplyWatchTest, LineStartRuleFindsTheNeedleOnlyWhereALineBegins) {
  struct Row {
    const char* what;
    std::string buffer;
    bool found;
  };
  const Row rows[] = {
      {"status line", "-ERR no listing\r\n", true},
      {"any letter case", "-eRr\r\n", true},
      {"after a line feed", "+OK\r\n1 a\r\n-ERR late\r\n", true},
      {"inside an id", "+OK\r\n1 abc-ERR\r\n2 -ERR\r\n", false},
      {"after a blank", "+OK\r\n -ERR\r\n", false},
      {"cut short", "+OK\r\n-ER", false},
  };
  for (const Row& row : rows) {
    // Whole, and in two deliveries cut at every place.
    for (std::size_t cut = 0; cut <= row.buffer.size(); ++cut) {
      ReplyWatch watch("-ERR", CaseRule::IgnoreCaseAtLineStart);
      watch.Update(std::string_view(row.buffer).substr(0, cut), 0);
      EXPECT_EQ(watch.Update(row.buffer, cut), row.found) << row.what << ", cut at " << cut;
    }
  }
}

TEST(ReplyWatchTest, StaysFoundUntilReset) {
  ReplyWatch watch("\r\n", CaseRule::Exact);
  std::string buffer = "a\r\n";
  EXPECT_TRUE(watch.Update(buffer, 0));
  buffer += "bbb";
  EXPECT_TRUE(watch.Update(buffer, 3));
  watch.Reset();
  EXPECT_FALSE(watch.Found());
  EXPECT_FALSE(watch.Update("bbb", 0));
}

TEST(ReplyWatchTest, OldSizeBeyondTheBufferFindsNothing) {
  ReplyWatch watch("\r\n", CaseRule::Exact);
  EXPECT_FALSE(watch.Update("\r\n", 50));
  EXPECT_FALSE(watch.Update("", 0));
}

TEST(FindIgnoreCaseTest, Positions) {
  EXPECT_EQ(FindIgnoreCase("abc-Err-ERR", "-err"), 3u);
  EXPECT_EQ(FindIgnoreCase("abc-Err-ERR", "-err", 4), 7u);
  EXPECT_EQ(FindIgnoreCase("abc", "-err"), std::string_view::npos);
  EXPECT_EQ(FindIgnoreCase("", "x"), std::string_view::npos);
  EXPECT_EQ(FindIgnoreCase("\xc4-ERR", "-err"), 1u);
}

}  // namespace
}  // namespace postvane
