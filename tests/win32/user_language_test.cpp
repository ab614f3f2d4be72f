// The user's language narrowed to the six languages of the texts.
#include "win32/user_language.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace postvane {
namespace {

TEST(UserLanguageTest, SixLanguagesKeepTheirNumberEveryOtherIsEnglish) {
  struct Row {
    WORD language;
    WORD sublanguage;
    uint16_t expected;
  };
  const Row rows[] = {
      {LANG_CATALAN, SUBLANG_DEFAULT, LANG_CATALAN},
      {LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN, LANG_GERMAN},
      {LANG_ENGLISH, SUBLANG_ENGLISH_UK, LANG_ENGLISH},
      {LANG_SPANISH, SUBLANG_SPANISH_MEXICAN, LANG_SPANISH},
      {LANG_ITALIAN, SUBLANG_ITALIAN_SWISS, LANG_ITALIAN},
      {LANG_DUTCH, SUBLANG_DUTCH_BELGIAN, LANG_DUTCH},
      {LANG_FRENCH, SUBLANG_FRENCH, LANG_ENGLISH},
      {LANG_JAPANESE, SUBLANG_DEFAULT, LANG_ENGLISH},
      {LANG_NEUTRAL, SUBLANG_NEUTRAL, LANG_ENGLISH},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PrimaryLanguageOf(MAKELANGID(row.language, row.sublanguage)), row.expected)
        << row.language;
  }
  const uint16_t user = UserLanguageId();
  EXPECT_EQ(PrimaryLanguageOf(user), user);
}

}  // namespace
}  // namespace postvane
