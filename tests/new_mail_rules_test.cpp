// Tests of the new-mail rules: number reading, STAT growth, UIDL listing, caps and headers.
#include "check/new_mail_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/header_block.h"

namespace postvane {
namespace {

using namespace std::string_literals;

// A listing "+OK" CR LF, then "n uid" lines for the given ids, then "." CR LF.
std::string Listing(const std::vector<std::string>& uids) {
  std::string text = "+OK " + std::to_string(uids.size()) + " messages\r\n";
  for (size_t i = 0; i < uids.size(); ++i) {
    text += std::to_string(i + 1) + " " + uids[i] + "\r\n";
  }
  text += ".\r\n";
  return text;
}

MailboxRecord WithHeaders(int16_t messageCount, int upperBound) {
  MailboxRecord record;
  record.MessageCount = messageCount;
  record.Headers.resize(static_cast<size_t>(upperBound) + 1);
  return record;
}

// ---------------------------------------------------------------- number reading

struct NumberCase {
  const char* name;
  std::string text;
  int16_t expected;
};

class ReadReplyNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ReadReplyNumberTest, ReadsLeadingNumber) {
  EXPECT_EQ(ReadReplyNumber(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadReplyNumberTest,
    testing::Values(NumberCase{"Plain", "42", 42}, NumberCase{"BlankThenLetters", " 12abc", 12},
                    NumberCase{"Empty", "", 0}, NumberCase{"NoDigits", "abc 7", 0},
                    NumberCase{"SkipsTabsCrLf", "\t\r\n 3 9", 3},
                    NumberCase{"SignIsNotADigit", "-5", 0}, NumberCase{"LeadingZeros", "007", 7},
                    NumberCase{"Largest", "32767", 32767},
                    NumberCase{"PastLargestClamps", "32768", 32767},
                    NumberCase{"HugeClamps", "99999999999999999999999999", 32767},
                    NumberCase{"NulStops",
                               "4\0"s
                               "5",
                               4},
                    NumberCase{"NulBeforeDigits",
                               "\0"s
                               "5",
                               0}),
    [](const testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

TEST(TrimBlanksTest, RemovesOnlyBlanks) {
  EXPECT_EQ(TrimBlanks("   a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\t a \t"), "\t a \t");
  EXPECT_EQ(TrimBlanks("    "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks(" x\0 "s), "x\0"s);
}

// ---------------------------------------------------------------- STAT

struct StatCase {
  const char* name;
  int16_t messageCount;
  int16_t newCount;
  std::string reply;
  int16_t expectedMessageCount;
  int16_t expectedNewCount;
};

class StatTest : public testing::TestWithParam<StatCase> {};

TEST_P(StatTest, UpdatesCounts) {
  const StatCase& c = GetParam();
  MailboxRecord record;
  record.MessageCount = c.messageCount;
  record.NewCount = c.newCount;
  UpdateNewCountFromStat(record, c.reply);
  EXPECT_EQ(record.MessageCount, c.expectedMessageCount);
  EXPECT_EQ(record.NewCount, c.expectedNewCount);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatTest,
    testing::Values(StatCase{"GrowthAdds", 5, 1, "+OK 7 12345\r\n", 7, 3},
                    StatCase{"ShrinkKeepsNewCount", 7, 7, "+OK 4 800\r\n", 4, 7},
                    StatCase{"SameCountNoChange", 3, 1, "+OK 3 300\r\n", 3, 1},
                    StatCase{"OctetSizeIgnored", 0, 0, "+OK 2 99999\r\n", 2, 2},
                    StatCase{"OneBlankCountToEnd", 1, 0, "+OK 6\r\n", 6, 5},
                    StatCase{"NoBlankNumberAfterOk", 0, 0, "+OK\t4\r\n", 4, 4},
                    StatCase{"NoBlankNoNumber", 3, 2, "+OK\r\n", 0, 2},
                    StatCase{"CountPastLimitClamps", 0, 0, "+OK 40000 1\r\n", 32767, 32767},
                    StatCase{"NewCountPlusGrowthClamps", 1, 32000, "+OK 2000 1\r\n", 2000, 32767},
                    StatCase{"EmptyReply", 4, 1, "", 0, 1},
                    StatCase{"NulInReply", 0, 0, "+OK 3\0 1\r\n"s, 3, 3}),
    [](const testing::TestParamInfo<StatCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- UIDL listing

struct UidlCase {
  const char* name;
  int16_t messageCount;
  int16_t newCount;  // as STAT left it
  std::string storedUidl;
  std::string listing;
  int16_t expectedNewCount;
  std::string expectedNewestUidl;
};

class UidlTest : public testing::TestWithParam<UidlCase> {};

TEST_P(UidlTest, EvaluatesListing) {
  const UidlCase& c = GetParam();
  MailboxRecord record;
  record.MessageCount = c.messageCount;
  record.NewCount = c.newCount;
  record.UIDL = c.storedUidl;
  record.NewestUidl = "before";
  EvaluateUidlListing(record, c.listing);
  EXPECT_EQ(record.NewCount, c.expectedNewCount);
  EXPECT_EQ(record.NewestUidl, c.expectedNewestUidl);
  EXPECT_EQ(record.MessageCount, c.messageCount);
}

const std::vector<std::string> kSix{"aa1", "bb2", "cc3", "dd4", "ee5", "ff6"};

INSTANTIATE_TEST_SUITE_P(
    Cases, UidlTest,
    testing::Values(
        UidlCase{"StoredOnFourthOfSix", 6, 6, "dd4", Listing(kSix), 2, "ff6"},
        UidlCase{"StoredEmpty", 6, 0, "", Listing(kSix), 6, "ff6"},
        UidlCase{"StoredOnLastLine", 6, 3, "ff6", Listing(kSix), 0, "ff6"},
        UidlCase{"StoredGone", 6, 1, "zz9", Listing(kSix), 6, "ff6"},
        UidlCase{"CaseDiffers", 6, 1, "DD4", Listing(kSix), 6, "ff6"},
        UidlCase{"EmptyMailbox", 0, 4, "aa1", "+OK\r\n.\r\n", 4, "before"},
        UidlCase{"PositiveInLowerCase", 6, 0, "dd4",
                 "+ok\r\n1 aa1\r\n2 bb2\r\n3 cc3\r\n4 dd4\r\n5 ee5\r\n6 ff6\r\n.\r\n", 2, "ff6"},
        UidlCase{"Rejected", 6, 1, "dd4", "-ERR not supported\r\n", 1, "before"},
        UidlCase{"RejectedEvenWithTerminator", 6, 1, "dd4", "-ERR no\r\n1 dd4\r\n.\r\n", 1,
                 "before"},
        UidlCase{"NoTerminatorTakesNoLine", 2, 0, "aa1", "+OK\r\n1 aa1\r\n2 bb2\r\n", 0, "before"},
        UidlCase{"NoStatusLineEnd", 2, 1, "", "+OK", 1, "before"},
        UidlCase{"LinesAfterTerminatorIgnored", 3, 0, "cc3",
                 "+OK\r\n1 aa1\r\n2 bb2\r\n.\r\n3 cc3\r\n.\r\n", 0, "before"},
        UidlCase{"LastLineBeforeTerminatorTaken", 2, 0, "", "+OK\r\n1 aa1\r\n2 bb2\r\n.\r\n", 2,
                 "bb2"},
        UidlCase{"TerminatorInStatusLineTakesNothing", 1, 0, "", "+OK\r\n.\r\n1 aa1\r\n.\r\n", 0,
                 "before"},
        UidlCase{"ListingEndsBeforeLastMessage", 9, 3, "zz", Listing(kSix), 3, "before"},
        UidlCase{"MatchBeyondCountGivesZero", 2, 2, "cc3",
                 "+OK\r\n1 aa1\r\n2 bb2\r\n5 cc3\r\n.\r\n", 0, "bb2"},
        UidlCase{"FirstMatchWins", 4, 0, "dup", "+OK\r\n1 dup\r\n2 x\r\n3 dup\r\n4 y\r\n.\r\n", 3,
                 "y"},
        UidlCase{"UidBlanksTrimmedTabsKept", 2, 0, "\tb\t", "+OK\r\n1   a  \r\n2 \tb\t \r\n.\r\n",
                 0, "\tb\t"},
        UidlCase{"LineWithoutBlankIsNumberOnly", 2, 0, "", "+OK\r\n1 aa1\r\n2\r\n.\r\n", 2, ""},
        UidlCase{"EmptyUidNeverMatchesEmptyStored", 3, 0, "", "+OK\r\n1\r\n2 \r\n3 cc3\r\n.\r\n", 3,
                 "cc3"},
        UidlCase{"NumberPastLimitClamps", 32767, 0, "k", "+OK\r\n40000 j\r\n40001 k\r\n.\r\n", 0,
                 "k"},
        UidlCase{"NulInsideUid", 2, 0, "b\0b"s, "+OK\r\n1 a\r\n2 b\0b\r\n.\r\n"s, 0, "b\0b"s},
        UidlCase{"BareLfDoesNotSplitLines", 2, 0, "", "+OK\r\n1 a\n2 b\r\n.\r\n", 0, "before"}),
    [](const testing::TestParamInfo<UidlCase>& info) { return std::string(info.param.name); });

TEST(UidlListingTest, FullSizeListingCountsFromStoredId) {
  constexpr int kCount = 32767;
  std::string listing = "+OK 32767 messages\r\n";
  for (int i = 1; i <= kCount; ++i) {
    listing += std::to_string(i) + " id" + std::to_string(i * 7) + "\r\n";
  }
  listing += ".\r\n";
  MailboxRecord record;
  record.MessageCount = kCount;
  record.UIDL = "id" + std::to_string(30000 * 7);
  EvaluateUidlListing(record, listing);
  EXPECT_EQ(record.NewCount, kCount - 30000);
  EXPECT_EQ(record.NewestUidl, "id" + std::to_string(kCount * 7));
}

TEST(UidlListingTest, EveryTruncationIsSafe) {
  const std::string listing = Listing(kSix);
  for (size_t size = 0; size <= listing.size(); ++size) {
    MailboxRecord record;
    record.MessageCount = 6;
    record.UIDL = "dd4";
    EvaluateUidlListing(record, std::string_view(listing).substr(0, size));
    // Only the whole listing holds the terminator, so only it changes anything.
    if (size == listing.size()) {
      EXPECT_EQ(record.NewCount, 2);
    } else {
      EXPECT_EQ(record.NewCount, 0) << size;
      EXPECT_EQ(record.NewestUidl, "") << size;
    }
  }
}

// ---------------------------------------------------------------- FinishNewCount

struct FinishCase {
  const char* name;
  int16_t messageCount;
  int16_t newCount;
  int16_t lastAccessed;
  int16_t lastMail;
  int16_t expectedNewCount;
};

class FinishTest : public testing::TestWithParam<FinishCase> {};

TEST_P(FinishTest, Caps) {
  const FinishCase& c = GetParam();
  MailboxRecord record;
  record.MessageCount = c.messageCount;
  record.NewCount = c.newCount;
  record.LastAccessed = c.lastAccessed;
  record.LastMail = c.lastMail;
  FinishNewCount(record);
  EXPECT_EQ(record.NewCount, c.expectedNewCount);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FinishTest,
    testing::Values(FinishCase{"LastMailCaps", 6, 6, 4, kTrue, 2},
                    FinishCase{"LastMailOffKeeps", 6, 6, 4, kFalse, 6},
                    FinishCase{"LastRejectedPlainCap", 6, 9, -1, kTrue, 6},
                    FinishCase{"LastRejectedBelowCount", 6, 2, -1, kTrue, 2},
                    FinishCase{"ShrunkMailboxCapped", 4, 7, 0, kFalse, 4},
                    FinishCase{"EmptyMailboxZero", 0, 4, -1, kFalse, 0},
                    FinishCase{"LastMailCapNotRaising", 6, 1, 2, kTrue, 1},
                    FinishCase{"LastAboveCountGivesZero", 3, 3, 5, kTrue, 0},
                    FinishCase{"LastAccessedZeroCapsAtCount", 6, 8, 0, kTrue, 6},
                    FinishCase{"NegativeNewCountRaisedToZero", 3, -2, -1, kFalse, 0}),
    [](const testing::TestParamInfo<FinishCase>& info) { return std::string(info.param.name); });

TEST(NewCountFlowTest, StatShrinkThenFinishCaps) {
  MailboxRecord record;
  record.MessageCount = 7;
  record.NewCount = 7;
  record.LastAccessed = -1;
  UpdateNewCountFromStat(record, "+OK 4 1000\r\n");
  EXPECT_EQ(record.NewCount, 7);
  EvaluateUidlListing(record, "-ERR no UIDL\r\n");
  FinishNewCount(record);
  EXPECT_EQ(record.MessageCount, 4);
  EXPECT_EQ(record.NewCount, 4);
}

// ---------------------------------------------------------------- headers

// The real header lines of one message; the decoy cases put other lines above them.
const MessageHeader kReal{"Alice <alice@example.org>", "bob@example.org", "Quarterly figures",
                          "2 (High)", "Fri, 5 Mar 1999 08:15:00 +0100"};

std::string RealLines() {
  return "From: " + kReal.From + "\r\nTo: " + kReal.To + "\r\nSubject: " + kReal.Subject +
         "\r\nX-Priority: " + kReal.Priority + "\r\nDate: " + kReal.Date + "\r\n";
}

void ExpectHeader(const MessageHeader& got, const MessageHeader& want) {
  EXPECT_EQ(got.From, want.From);
  EXPECT_EQ(got.To, want.To);
  EXPECT_EQ(got.Subject, want.Subject);
  EXPECT_EQ(got.Priority, want.Priority);
  EXPECT_EQ(got.Date, want.Date);
}

struct DecoyCase {
  const char* name;
  std::string lines;  // header lines above the real ones
};

class DecoyTest : public testing::TestWithParam<DecoyCase> {};

// Names inside other headers' names or values never stand for the real header.
TEST_P(DecoyTest, RealHeadersWin) {
  MailboxRecord record = WithHeaders(1, 1);
  ExtractHeaders(record, "+OK 812 octets\r\n" + GetParam().lines + RealLines() + "\r\n.\r\n", 1);
  ExpectHeader(record.Headers[1], kReal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecoyTest,
    testing::Values(
        DecoyCase{"DeliveredTo", "Delivered-To: owner@example.org\r\n"},
        DecoyCase{"ReplyTo", "Reply-To: list@example.org\r\n"},
        DecoyCase{"InReplyTo", "In-Reply-To: <1234@mail.example.org>\r\n"},
        DecoyCase{"OriginalDate", "X-Original-Date: Thu, 4 Mar 1999 10:00:00 +0000\r\n"},
        DecoyCase{"DeliveryDate", "Delivery-Date: Sat, 6 Mar 1999 01:02:03 +0000\r\n"},
        DecoyCase{"NntpPostingDate", "NNTP-Posting-Date: Sat, 6 Mar 1999 01:02:03 +0000\r\n"},
        DecoyCase{"OldSubject", "Old-Subject: Re: figures\r\n"},
        DecoyCase{"DkimList",
                  "DKIM-Signature: v=1; a=rsa-sha256; d=example.org; s=s1; "
                  "h=from:to:subject:date:message-id; bh=abc=; b=def=\r\n"},
        DecoyCase{"DkimListOnContinuation",
                  "DKIM-Signature: v=1; a=rsa-sha256; d=example.org; s=s1;\r\n"
                  "\th=from:to:subject:date:x-priority;\r\n"
                  "\tbh=abc=; b=def=\r\n"},
        DecoyCase{"ArcSeal",
                  "ARC-Seal: i=1; a=rsa-sha256; t=1; cv=none; d=example.org; s=arc;\r\n"
                  " b=xyz=\r\n"
                  "ARC-Message-Signature: i=1; a=rsa-sha256; c=relaxed/relaxed;\r\n"
                  "        h=to:from:subject:date:x-priority:message-id; bh=abc=;\r\n"
                  "ARC-Authentication-Results: i=1; mx.example.org; dkim=pass\r\n"},
        DecoyCase{"ReceivedWithFromAndDate",
                  "Received: from mx.example.org (from: nowhere) by pop.example.org\r\n"
                  "\tfor <to:owner@example.org>; date: Sat, 6 Mar 1999\r\n"},
        DecoyCase{"UnixFromLine", "From owner@example.org Sat Mar  6 01:02:03 1999\r\n"},
        DecoyCase{"NamePrefixes", "Fromage: brie\r\nTopic: x\r\nDated: y\r\nX-Priority-Old: 5\r\n"},
        DecoyCase{"BlankBeforeColon", "Subject : wrong\r\nFrom : wrong\r\n"},
        DecoyCase{"JunkLineWithoutColon", "this is not a header\r\n"}),
    [](const testing::TestParamInfo<DecoyCase>& info) { return std::string(info.param.name); });

struct HeaderCase {
  const char* name;
  std::string reply;
  MessageHeader expected;
};

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, Extracts) {
  MailboxRecord record = WithHeaders(1, 1);
  ExtractHeaders(record, GetParam().reply, 1);
  ExpectHeader(record.Headers[1], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderTest,
    testing::Values(
        HeaderCase{"CapitalsAndBlanks",
                   "+OK\r\nFROM:   bob@x.org  \r\n\r\n.\r\n",
                   {"bob@x.org", "", "", "", ""}},
        HeaderCase{"EmptySubject", "+OK\r\nSubject:\r\n\r\n.\r\n", {"", "", "", "", ""}},
        HeaderCase{"PriorityKeptRaw",
                   "+OK\r\nx-PRIORITY: 1 (Highest)\r\n\r\n.\r\n",
                   {"", "", "", "1 (Highest)", ""}},
        HeaderCase{"TabsAndBlankRunsBecomeOneBlank",
                   "+OK\r\nSubject: \tHi\t \t there  \r\n\r\n.\r\n",
                   {"", "", "Hi there", "", ""}},
        HeaderCase{"FoldedValueUnfolded",
                   "+OK\r\nSubject: one\r\n two\r\n\t  three\r\nTo: t\r\n\r\n.\r\n",
                   {"", "t", "one two three", "", ""}},
        HeaderCase{"FoldRightAfterColon",
                   "+OK\r\nFrom:\r\n  Alice <a@x.org>\r\n\r\n.\r\n",
                   {"Alice <a@x.org>", "", "", "", ""}},
        HeaderCase{"FoldOfAnotherHeaderNotTaken",
                   "+OK\r\nX-Note: a\r\n Subject: no\r\nSubject: yes\r\n\r\n.\r\n",
                   {"", "", "yes", "", ""}},
        HeaderCase{"FirstOfTwoWins",
                   "+OK\r\nSubject: first\r\nsubject: second\r\n\r\n.\r\n",
                   {"", "", "first", "", ""}},
        HeaderCase{"BodyNotSearched",
                   "+OK\r\nFrom: a\r\n\r\nSubject: in the body\r\n.\r\n",
                   {"a", "", "", "", ""}},
        HeaderCase{"StatusLineNotSearched",
                   "+OK from: server\r\nFrom: real\r\n\r\n.\r\n",
                   {"real", "", "", "", ""}},
        HeaderCase{"NoEmptyLine", "+OK\r\nSubject: s\r\nDate: d\r\n.\r\n", {"", "", "s", "", "d"}},
        HeaderCase{"LastHeaderWithoutLineEnd", "+OK\r\nSubject: tail  ", {"", "", "tail", "", ""}},
        HeaderCase{"NameAtVeryEnd", "+OK\r\nDate:", {"", "", "", "", ""}},
        HeaderCase{"BareLfEndsLines",
                   "+OK\nSubject: one\nDate: d\n\nTo: body\n.\n",
                   {"", "", "one", "", "d"}},
        HeaderCase{"CrOnlyJunk",
                   "+OK\r\nSubject: one\rtwo\r\r\r\rDate: late\r\n\r\n.\r\n",
                   {"", "", "one", "", ""}},
        HeaderCase{
            "CrInsideFold", "+OK\r\nSubject: one\r two\r\n\r\n.\r\n", {"", "", "one two", "", ""}},
        HeaderCase{"NulBytesKept", "+OK\r\nSubject: a\0b\r\n\r\n.\r\n"s, {"", "", "a\0b"s, "", ""}},
        // Folding by setting bit 5 would turn byte 26 into ':' and CR into '-'.
        HeaderCase{"OnlyLettersFolded",
                   "+OK\r\nSubject\x1A bad\r\nX\rPriority: 5\r\nSubject: y\r\n\r\n.\r\n",
                   {"", "", "y", "", ""}},
        HeaderCase{"NonAsciiNotFolded",
                   "+OK\r\nSUBJECT\xC3\x89: x\r\nsubject: y\r\n\r\n.\r\n",
                   {"", "", "y", "", ""}},
        HeaderCase{"EncodedWordsDecoded",
                   "+OK\r\nFrom: =?UTF-8?Q?Ren=C3=A9?= <r@x.org>\r\n"
                   "Subject: =?iso-8859-1?q?Caf=E9?=\r\n =?utf-8?B?IGF1IGxhaXQ=?=\r\n\r\n.\r\n",
                   {"Ren\xC3\xA9 <r@x.org>", "", "Caf\xC3\xA9 au lait", "", ""}},
        HeaderCase{"RawLatinBytes",
                   "+OK\r\nSubject: Caf\xE9 \x80\r\n\r\n.\r\n",
                   {"", "", "Caf\xC3\xA9 \xE2\x82\xAC", "", ""}},
        HeaderCase{"RawUtf8Bytes",
                   "+OK\r\nSubject: Caf\xC3\xA9\r\n\r\n.\r\n",
                   {"", "", "Caf\xC3\xA9", "", ""}}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(ExtractHeadersTest, AbsentHeaderKeepsEarlierValue) {
  MailboxRecord record = WithHeaders(1, 1);
  record.Headers[1].Priority = "3";
  record.Headers[1].Subject = "old";
  ExtractHeaders(record, "+OK\r\nSubject: new\r\n.\r\n", 1);
  EXPECT_EQ(record.Headers[1].Priority, "3");
  EXPECT_EQ(record.Headers[1].Subject, "new");
}

TEST(ExtractHeadersTest, NewestMessageGoesToElementOne) {
  MailboxRecord record = WithHeaders(10, 3);
  ExtractHeaders(record, "+OK\r\nSubject: eight\r\n.\r\n", 8);
  ExtractHeaders(record, "+OK\r\nSubject: ten\r\n.\r\n", 10);
  EXPECT_EQ(record.Headers[3].Subject, "eight");
  EXPECT_EQ(record.Headers[2].Subject, "");
  EXPECT_EQ(record.Headers[1].Subject, "ten");
}

struct OutOfBoundsCase {
  const char* name;
  int16_t messageCount;
  int upperBound;  // -1: no array at all
  int16_t messageNumber;
};

class OutOfBoundsTest : public testing::TestWithParam<OutOfBoundsCase> {};

TEST_P(OutOfBoundsTest, WritesNothing) {
  const OutOfBoundsCase& c = GetParam();
  MailboxRecord record;
  record.MessageCount = c.messageCount;
  record.Headers.resize(static_cast<size_t>(c.upperBound + 1));
  ExtractHeaders(record, "+OK\r\nSubject: s\r\n.\r\n", c.messageNumber);
  EXPECT_EQ(HeadersUpperBound(record), c.upperBound);
  for (const MessageHeader& h : record.Headers) EXPECT_EQ(h.Subject, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutOfBoundsTest,
    testing::Values(OutOfBoundsCase{"NoArray", 3, -1, 3}, OutOfBoundsCase{"ElementZero", 3, 2, 4},
                    OutOfBoundsCase{"PastUpperBound", 10, 2, 8},
                    OutOfBoundsCase{"NegativeIndex", 3, 2, 32767},
                    OutOfBoundsCase{"NegativeMessageNumber", 32767, 2, -32768}),
    [](const testing::TestParamInfo<OutOfBoundsCase>& info) {
      return std::string(info.param.name);
    });

TEST(ExtractHeadersTest, LargeBlockFindsLateHeaders) {
  std::string reply = "+OK\r\n";
  while (reply.size() < (1u << 20)) reply += "X-Filler: ffffffffffffffffffffffffffffffff\r\n";
  reply += "Subject: late\r\nFROM: me\r\n\r\nTo: body\r\n.\r\n";
  MailboxRecord record = WithHeaders(1, 1);
  ExtractHeaders(record, reply, 1);
  EXPECT_EQ(record.Headers[1].Subject, "late");
  EXPECT_EQ(record.Headers[1].From, "me");
  EXPECT_EQ(record.Headers[1].To, "");
}

TEST(ExtractHeadersTest, LongValuesStayBounded) {
  // Unfolding and decoding never grow a value past the bound, whatever the block holds.
  const std::string encoded = "=?utf-8?b?" + std::string(4000, 'w') + "?= ";
  std::string fold;
  while (fold.size() < (1u << 20) - 100) fold += " \xE9\xE9\xE9\xE9" + encoded + "\r\n";
  MailboxRecord record = WithHeaders(1, 1);
  ExtractHeaders(record, "+OK\r\nSubject: x\r\n" + fold + "\r\n.\r\n", 1);
  EXPECT_LE(record.Headers[1].Subject.size(), kMaxHeaderValueBytes);
  EXPECT_GT(record.Headers[1].Subject.size(), kMaxHeaderValueBytes - 8);
}

TEST(RobustnessTest, EveryByteValueAnywhereIsSafe) {
  // All 256 byte values in a reply of every rule; failures here show up under the sanitizers.
  std::string noise;
  for (int i = 0; i < 256; ++i) noise += static_cast<char>(i);
  const std::string texts[] = {noise, "+OK\r\n" + noise + "\r\n.\r\n",
                               noise + "from:", "+OK " + noise, std::string(1000, '\r')};
  for (const std::string& text : texts) {
    MailboxRecord record = WithHeaders(2, 2);
    record.LastAccessed = ReadReplyNumber(text);
    UpdateNewCountFromStat(record, text);
    EvaluateUidlListing(record, text);
    FinishNewCount(record);
    ExtractHeaders(record, text, 1);
    EXPECT_GE(record.NewCount, 0);
    EXPECT_LE(record.NewCount, record.MessageCount);
  }
}

}  // namespace
}  // namespace postvane
