// The six-language string table: language choice, ids, and the texts as compiled in.
#include "text/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "text/embedded_resources.h"

namespace postvane {
namespace {

struct LanguageCase {
  uint16_t WindowsId;
  int16_t Expected;
};

class SelectLanguageTest : public testing::TestWithParam<LanguageCase> {};

TEST_P(SelectLanguageTest, PrimaryLanguageChoosesTheTable) {
  EXPECT_EQ(SelectLanguage(GetParam().WindowsId), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsIds, SelectLanguageTest,
    testing::Values(LanguageCase{0x0403, 3},    // Catalan
                    LanguageCase{0x0407, 7},    // German, Germany
                    LanguageCase{0x0C07, 7},    // German, Austria
                    LanguageCase{0x0807, 7},    // German, Switzerland
                    LanguageCase{0x0409, 9},    // English, United States
                    LanguageCase{0x0809, 9},    // English, United Kingdom
                    LanguageCase{0x040A, 10},   // Spanish, traditional sort
                    LanguageCase{0x0C0A, 10},   // Spanish, modern sort
                    LanguageCase{0x0410, 16},   // Italian
                    LanguageCase{0x0810, 16},   // Italian, Switzerland
                    LanguageCase{0x0413, 19},   // Dutch
                    LanguageCase{0x0813, 19},   // Dutch, Belgium
                    LanguageCase{0x040C, 9},    // French falls back to English
                    LanguageCase{0x0416, 9},    // Portuguese falls back to English
                    LanguageCase{0x0000, 9},    // no language
                    LanguageCase{0x0003, 3},    // primary language only
                    LanguageCase{0x0013, 19},   // primary language only
                    LanguageCase{0x0103, 3},    // only the low eight bits are read
                    LanguageCase{0x0113, 19},   // only the low eight bits are read
                    LanguageCase{0x0100, 9},    // low byte 0
                    LanguageCase{0x0011, 9},    // Japanese
                    LanguageCase{0xFF07, 7},    // every sub-language bit set
                    LanguageCase{0xFFFF, 9}));  // garbage

TEST(LanguageBaseTest, BaseIsTheLanguageNumberTimesHundred) {
  EXPECT_EQ(SelectLanguage(0x0403) * 100, 300);
  EXPECT_EQ(SelectLanguage(0x0C07) * 100, 700);
  EXPECT_EQ(SelectLanguage(0x040C) * 100, 900);
  EXPECT_EQ(SelectLanguage(0x0C0A) * 100, 1000);
  EXPECT_EQ(SelectLanguage(0x0810) * 100, 1600);
  EXPECT_EQ(SelectLanguage(0x0813) * 100, 1900);
}

// One distinct text per language proves the columns sit at their bases.
TEST(LoadResourceStringTest, EachBaseReadsItsOwnLanguage) {
  EXPECT_EQ(LoadResourceString(301), "Bústies");
  EXPECT_EQ(LoadResourceString(701), "Postfächer");
  EXPECT_EQ(LoadResourceString(901), "Mailboxes");
  EXPECT_EQ(LoadResourceString(1001), "Buzones");
  EXPECT_EQ(LoadResourceString(1601), "Caselle posta");
  EXPECT_EQ(LoadResourceString(1901), "Postbussen");
  EXPECT_EQ(LoadResourceString(364), "Replay Sound");
  EXPECT_EQ(LoadResourceString(764), "Wiederhole Musik");
  EXPECT_EQ(LoadResourceString(1032), "Configuración");
  EXPECT_EQ(LoadResourceString(1932), "Configuratie");
}

TEST(LoadResourceStringTest, TrayMenuInEnglishAndGerman) {
  const std::vector<std::string> english = {
      "Check Now",     "Run Mail Reader", "Show Status", "Process MDaemon",
      "Configuration", "About ...",       "Exit"};
  const std::vector<std::string> german = {
      "Mails überprüfen", "Starte Mailprogramm", "Zeige Statusfenster",
      "Starte MDaemon",   "Konfiguration",       "Info ...",
      "Beenden"};
  const std::vector<StringId> menu = {StringId::MenuCheckNow,      StringId::MenuRunMailReader,
                                      StringId::MenuShowStatus,    StringId::MenuProcessMDaemon,
                                      StringId::MenuConfiguration, StringId::MenuAbout,
                                      StringId::MenuExit};
  for (size_t i = 0; i < menu.size(); ++i) {
    SCOPED_TRACE(static_cast<int>(menu[i]));
    EXPECT_EQ(LocalString(900, menu[i]), english[i]);
    EXPECT_EQ(LocalString(700, menu[i]), german[i]);
  }
}

TEST(LoadResourceStringTest, TextsWithCountPlaceholder) {
  EXPECT_EQ(LoadResourceString(755), "Es sind # neue mails eingelangt!");
  EXPECT_EQ(LoadResourceString(955), "There are # new messages!");
  EXPECT_EQ(LoadResourceString(956), "has # new message(s)!");
  // Callers replace every "#", so each language must carry exactly one.
  for (int base : {300, 700, 900, 1000, 1600, 1900}) {
    for (StringId id : {StringId::ManyNewMessages, StringId::MailboxHasNew}) {
      SCOPED_TRACE(base + static_cast<int>(id));
      const std::string text = LocalString(static_cast<int16_t>(base), id);
      EXPECT_EQ(std::count(text.begin(), text.end(), '#'), 1);
    }
  }
}

TEST(LoadResourceStringTest, TrailingBlanksAreKept) {
  EXPECT_EQ(LoadResourceString(752), "Priorität: ");
  EXPECT_EQ(LoadResourceString(1056), "tiene # nuevo[s] mensaje[s] ");
  EXPECT_EQ(LoadResourceString(952), "Priority:");
}

TEST(LoadResourceStringTest, EllipsisIsOneCharacter) {
  EXPECT_EQ(LoadResourceString(1653), "Controllo\u2026");
  EXPECT_EQ(LoadResourceString(1939), "Over\u2026");
  EXPECT_EQ(LoadResourceString(1933), "Over\u2026");
  EXPECT_EQ(LoadResourceString(1639), "Informazioni su \u2026");
  EXPECT_EQ(LoadResourceString(1953), "Bezig met controleren\u2026");
  // Where the tables write three dots, three dots stay.
  EXPECT_EQ(LoadResourceString(953), "Checking....");
  EXPECT_EQ(LoadResourceString(339), "Sobre ...");
}

TEST(LoadResourceStringTest, LettersOutsideAsciiAreKept) {
  EXPECT_EQ(LoadResourceString(1005), "Contraseña:");
  EXPECT_EQ(LoadResourceString(332), "Configuració");
  EXPECT_EQ(LoadResourceString(724), "[Überprüfe Mails]");
  EXPECT_EQ(LoadResourceString(1647), "Priorità: Molto bassa");
  EXPECT_EQ(LoadResourceString(337), "Procés MDaemon");
}

TEST(LoadResourceStringTest, EveryStringOfEveryLanguageHasText) {
  int found = 0;
  for (int base : {300, 700, 900, 1000, 1600, 1900}) {
    for (int offset = 1; offset <= kStringCount; ++offset) {
      SCOPED_TRACE(base + offset);
      const std::string text = LoadResourceString(base + offset);
      EXPECT_FALSE(text.empty());
      if (!text.empty()) ++found;
    }
  }
  EXPECT_EQ(found, 384);
}

TEST(LoadResourceStringTest, IdsOutsideTheTableAreEmpty) {
  for (int id : {0,    1,    64,      100,   164,   300,  365,  399,     401,    700,
                 765,  900,  964 + 1, 999,   1000,  1065, 1100, 1600,    1665,   1900,
                 1965, 2001, 10900,   30001, 32767, -1,   -901, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(LoadResourceString(id), "");
  }
}

TEST(LoadResourceStringTest, SameOffsetSameMeaning) {
  EXPECT_EQ(LoadResourceString(931), "Ok");
  EXPECT_EQ(LoadResourceString(1931), "Ok");
  EXPECT_EQ(LoadResourceString(938), LoadResourceString(932));
  EXPECT_EQ(LoadResourceString(739), LoadResourceString(733));
}

// The compiled-in file itself: 64 LF-terminated lines of the offset and six texts.
TEST(EmbeddedStringTableTest, SixtyFourLinesOfSevenFields) {
  std::string_view data = EmbeddedStringTable();
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data.back(), '\n');
  EXPECT_EQ(data.find('\r'), std::string_view::npos);
  int lines = 0;
  while (!data.empty()) {
    const size_t end = data.find('\n');
    ASSERT_NE(end, std::string_view::npos);
    const std::string_view line = data.substr(0, end);
    data.remove_prefix(end + 1);
    ++lines;
    SCOPED_TRACE(lines);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6);
    EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(lines));
  }
  EXPECT_EQ(lines, kStringCount);
}

}  // namespace
}  // namespace postvane
