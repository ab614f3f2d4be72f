// The IMAP response reader: responses from bytes however they are split, literals, limits;
// and the tokens and status parts of a response's text.
#include "check/imap_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace postvane {

void PrintTo(const ImapResponse& r, std::ostream* os) {
  *os << "{" << static_cast<int>(r.Kind) << " tag=" << testing::PrintToString(r.Tag)
      << " text=" << testing::PrintToString(r.Text)
      << " literals=" << testing::PrintToString(r.Literals)
      << " ends=" << testing::PrintToString(r.LiteralEnds) << "}";
}

namespace {

using Kind = ImapResponseKind;

std::vector<ImapResponse> ReadAll(const std::string& bytes, std::size_t blockSize,
                                  ImapReaderLimits limits = {}, ImapReader* keep = nullptr) {
  ImapReader local(limits);
  ImapReader& reader = keep ? *keep : local;
  std::vector<ImapResponse> out;
  for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
    reader.Feed(std::string_view(bytes).substr(at, blockSize), out);
  }
  return out;
}

ImapResponse Response(Kind kind, std::string tag, std::string text,
                      std::vector<std::string> literals = {},
                      std::vector<std::size_t> literalEnds = {}) {
  return {kind, std::move(tag), std::move(text), std::move(literals), std::move(literalEnds)};
}

struct StreamCase {
  const char* name;
  std::string bytes;
  std::vector<ImapResponse> expected;
};

class ImapStreamTest : public testing::TestWithParam<StreamCase> {};

// Whatever the blocks the bytes arrive in, the same responses come out.
TEST_P(ImapStreamTest, SameResponsesForEveryBlockSize) {
  const StreamCase& c = GetParam();
  for (std::size_t block = 1; block <= c.bytes.size(); ++block) {
    EXPECT_EQ(ReadAll(c.bytes, block), c.expected) << "blocks of " << block;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ImapStreamTest,
    testing::Values(
        StreamCase{"Greeting",
                   "* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n",
                   {Response(Kind::Untagged, "", "OK [CAPABILITY IMAP4rev1 STARTTLS] ready")}},
        StreamCase{
            "TaggedAfterUntagged",
            "* 3 EXISTS\r\n* 1 RECENT\r\na2 OK [READ-ONLY] done\r\n",
            {Response(Kind::Untagged, "", "3 EXISTS"), Response(Kind::Untagged, "", "1 RECENT"),
             Response(Kind::Tagged, "a2", "OK [READ-ONLY] done")}},
        StreamCase{"Continuation",
                   "+ \r\n+\r\n+ go on\r\n",
                   {Response(Kind::Continuation, "", ""), Response(Kind::Continuation, "", ""),
                    Response(Kind::Continuation, "", "go on")}},
        StreamCase{"LoneLineFeedsAndBlankLines",
                   "\r\n* OK hi\n\na1 NO no\n",
                   {Response(Kind::Untagged, "", "OK hi"), Response(Kind::Tagged, "a1", "NO no")}},
        StreamCase{"Literal",
                   "* 1 FETCH (UID 7 BODY[HEADER.FIELDS (FROM)] {11}\r\nFrom: a\r\n\r\n)\r\n",
                   {Response(Kind::Untagged, "", "1 FETCH (UID 7 BODY[HEADER.FIELDS (FROM)] {11})",
                             {"From: a\r\n\r\n"}, {46})}},
        StreamCase{
            "NonSyncLiteralAndLineEndsInside",
            "* 2 FETCH (BODY[] {5+}\r\n\r\n*\r\n UID 9)\r\n",
            {Response(Kind::Untagged, "", "2 FETCH (BODY[] {5+} UID 9)", {"\r\n*\r\n"}, {20})}},
        StreamCase{"TwoLiteralsAndEmptyOne",
                   "* 1 FETCH (A {0}\r\n B {3}\r\nxyz)\r\n",
                   {Response(Kind::Untagged, "", "1 FETCH (A {0} B {3})", {"", "xyz"}, {14, 20})}},
        StreamCase{
            "LiteralThatLooksLikeAResponse",
            "* 1 FETCH (X {16}\r\na1 OK {3}\r\nabc\r\n)\r\na1 OK done\r\n",
            {Response(Kind::Untagged, "", "1 FETCH (X {16})", {"a1 OK {3}\r\nabc\r\n"}, {15}),
             Response(Kind::Tagged, "a1", "OK done")}},
        StreamCase{"MarkNotAtTheEndIsText",
                   "* OK see {5} there\r\n",
                   {Response(Kind::Untagged, "", "OK see {5} there")}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LimitCase {
  const char* name;
  std::string bytes;
  ImapReadError error;
  std::size_t responsesBefore;
};

class ImapLimitTest : public testing::TestWithParam<LimitCase> {};

TEST_P(ImapLimitTest, FailsWithoutGrowingAndReadsNothingMore) {
  const LimitCase& c = GetParam();
  const ImapReaderLimits limits{.Text = 64, .Literal = 32, .Literals = 48};
  for (const std::size_t block : {std::size_t{1}, std::size_t{7}, c.bytes.size()}) {
    ImapReader reader(limits);
    const std::vector<ImapResponse> out =
        ReadAll(c.bytes + "* OK after\r\n", block, limits, &reader);
    EXPECT_EQ(reader.Error(), c.error) << "blocks of " << block;
    EXPECT_EQ(out.size(), c.responsesBefore) << "blocks of " << block;
    EXPECT_FALSE(reader.Pending());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ImapLimitTest,
    testing::Values(
        LimitCase{"LongLine", "* OK hi\r\n* " + std::string(100, 'x') + "\r\n",
                  ImapReadError::TextTooLong, 1},
        LimitCase{"LongLineWithoutEnd", std::string(65, 'x'), ImapReadError::TextTooLong, 0},
        LimitCase{"TextOverSeveralLineParts",
                  "* 1 FETCH (A " + std::string(30, 'a') + " {1}\r\nz B " + std::string(30, 'b') +
                      ")\r\n",
                  ImapReadError::TextTooLong, 0},
        LimitCase{"HugeLiteralFailsBeforeItsBytes", "* 1 FETCH (BODY[] {4000000000}\r\n",
                  ImapReadError::LiteralTooLong, 0},
        LimitCase{"LiteralsTogether",
                  "* 1 FETCH (A {30}\r\n" + std::string(30, 'a') + " B {30}\r\n",
                  ImapReadError::LiteralTooLong, 0},
        LimitCase{"SizeBeyondAnyNumber", "* 1 FETCH (A {99999999999999999999999}\r\n",
                  ImapReadError::BadLiteral, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImapReaderTest, PendingWhileAResponseIsOpen) {
  ImapReader reader;
  std::vector<ImapResponse> out;
  reader.Feed("* 1 FETCH (A {4}\r\nab", out);
  EXPECT_TRUE(reader.Pending());
  reader.Feed("cd)\r\n", out);
  EXPECT_FALSE(reader.Pending());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Literals, std::vector<std::string>{"abcd"});
}

TEST(ImapTokensTest, AtomsStringsListsAndLiterals) {
  ImapReader reader;
  std::vector<ImapResponse> out;
  reader.Feed(
      "* 5 FETCH (UID 12 FLAGS (\\Seen) X \"a \\\"q\\\" \\\\ b\" NIL BODY[HEADER.FIELDS (FROM)] "
      "{3}\r\nabc)\r\n",
      out);
  ASSERT_EQ(out.size(), 1u);
  ImapTokens tokens(out[0]);
  using K = ImapTokens::Kind;
  const std::vector<std::pair<K, std::string>> expected{{K::Atom, "5"},
                                                        {K::Atom, "FETCH"},
                                                        {K::Open, ""},
                                                        {K::Atom, "UID"},
                                                        {K::Atom, "12"},
                                                        {K::Atom, "FLAGS"},
                                                        {K::Open, ""},
                                                        {K::Atom, "\\Seen"},
                                                        {K::Close, ""},
                                                        {K::Atom, "X"},
                                                        {K::String, "a \"q\" \\ b"},
                                                        {K::Atom, "NIL"},
                                                        {K::Atom, "BODY[HEADER.FIELDS"},
                                                        {K::Open, ""},
                                                        {K::Atom, "FROM"},
                                                        {K::Close, ""},
                                                        {K::Atom, "]"},
                                                        {K::String, "abc"},
                                                        {K::Close, ""},
                                                        {K::End, ""}};
  for (const auto& [kind, text] : expected) {
    const ImapTokens::Token token = tokens.Next();
    EXPECT_EQ(token.What, kind) << text;
    EXPECT_EQ(token.Text, text);
  }
  EXPECT_EQ(tokens.Next().What, K::End);
}

TEST(ImapTokensTest, UnterminatedQuoteEndsWithTheText) {
  const ImapResponse response = Response(Kind::Untagged, "", "LIST () \"/\" \"abc");
  ImapTokens tokens(response);
  for (int i = 0; i < 4; ++i) tokens.Next();
  const ImapTokens::Token last = tokens.Next();
  EXPECT_EQ(last.What, ImapTokens::Kind::String);
  EXPECT_EQ(last.Text, "abc");
  EXPECT_EQ(tokens.Next().What, ImapTokens::Kind::End);
}

struct StatusCase {
  std::string text;
  std::string word, code, rest;
};

TEST(ImapStatusTest, WordCodeAndText) {
  const std::vector<StatusCase> cases{
      {"OK [UIDVALIDITY 1712] UIDs valid", "OK", "UIDVALIDITY 1712", "UIDs valid"},
      {"no [ALERT] Quota  full", "NO", "ALERT", "Quota  full"},
      {"BYE", "BYE", "", ""},
      {"OK [unclosed", "OK", "unclosed", ""},
      {"  BAD  what?", "BAD", "", "what?"},
      {"", "", "", ""}};
  for (const StatusCase& c : cases) {
    const ImapStatus status = ReadStatus(c.text);
    EXPECT_EQ(status.Word, c.word) << c.text;
    EXPECT_EQ(status.Code, c.code) << c.text;
    EXPECT_EQ(status.Text, c.rest) << c.text;
  }
}

}  // namespace
}  // namespace postvane
