// What goes on IMAP command lines: folder names in modified UTF-7, quoting, UID sets, base64.
#include "check/imap_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace postvane {
namespace {

struct Utf7Case {
  std::string utf8;
  std::string sent;
};

TEST(ImapWordsTest, FolderNamesInModifiedUtf7) {
  // Examples of RFC 3501 5.1.3 and names with every kind of character.
  const std::vector<Utf7Case> cases{
      {"INBOX", "INBOX"},
      {"Tom & Jerry", "Tom &- Jerry"},
      {"~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
       "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
      {"Eing\xC3\xA4nge", "Eing&AOQ-nge"},
      {"\xC3\xA4\xC3\xB6\xC3\xBC", "&AOQA9gD8-"},
      {"Emoji \xF0\x9F\x93\xAC", "Emoji &2D3c7A-"},
      {"bad \xFF byte", "bad &,,0- byte"},
      {"cut \xC3", "cut &,,0-"},
      {"tab\there", "tab&AAk-here"},
      {"", ""}};
  for (const Utf7Case& c : cases) EXPECT_EQ(ModifiedUtf7(c.utf8), c.sent) << c.utf8;
}

TEST(ImapWordsTest, QuotedStringsEscapeAndRefuseLineBreaks) {
  EXPECT_EQ(Quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(Quoted(""), "\"\"");
  EXPECT_EQ(Quoted("x\r\nA1 LOGOUT"), std::nullopt);
  EXPECT_EQ(Quoted(std::string("a\0b", 3)), std::nullopt);
  EXPECT_TRUE(SevenBitQuotable("pass word!"));
  EXPECT_FALSE(SevenBitQuotable("p\xC3\xA4ss"));
}

TEST(ImapWordsTest, UidSetsJoinRuns) {
  EXPECT_EQ(UidSet({9, 3, 4, 5, 11, 12, 4}), "3:5,9,11:12");
  EXPECT_EQ(UidSet({4294967295u, 4294967294u}), "4294967294:4294967295");
  EXPECT_EQ(UidSet({}), "");
}

TEST(ImapWordsTest, Base64OfEveryRemainder) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("\xFF\xFE\xFD"), "//79");
}

TEST(ImapWordsTest, UidsAreWhole32BitDecimals) {
  EXPECT_EQ(ParseUid("4294967295"), 4294967295u);
  EXPECT_EQ(ParseUid("4294967296"), std::nullopt);
  EXPECT_EQ(ParseUid("12]"), std::nullopt);
  EXPECT_EQ(ParseUid("-1"), std::nullopt);
  EXPECT_EQ(ParseUid(""), std::nullopt);
}

}  // namespace
}  // namespace postvane
