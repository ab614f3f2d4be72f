// The private-profile reader and writer on in-memory bytes.
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fakes/utf16_bytes.h"
#include "text/text_encoding.h"

namespace postvane {
namespace {

using std::string_literals::operator""s;

std::optional<std::string> ReadOf(const std::string& bytes, const std::string& section,
                                  const std::string& key) {
  return IniFile(bytes).Read(section, key);
}

std::string AfterWrite(const std::string& bytes, const std::string& section, const std::string& key,
                       const std::string& value) {
  IniFile ini(bytes);
  ini.Write(section, key, value);
  return ini.Bytes();
}

TEST(IniFileReadTest, MissingSectionOrKeyIsNullopt) {
  const std::string file = "[MailBox0]\r\nName=Home\r\n";
  EXPECT_EQ(ReadOf(file, "MailBox0", "Name"), "Home");
  EXPECT_EQ(ReadOf(file, "MailBox1", "Name"), std::nullopt);
  EXPECT_EQ(ReadOf(file, "MailBox0", "User"), std::nullopt);
  EXPECT_EQ(ReadOf("", "MailBox0", "Name"), std::nullopt);
}

TEST(IniFileReadTest, EmptyValueIsEmptyNotMissing) {
  EXPECT_EQ(ReadOf("[S]\nRemotePort=\n", "S", "RemotePort"), "");
  EXPECT_EQ(ReadOf("[S]\nRemotePort=   \n", "S", "RemotePort"), "");
}

TEST(IniFileReadTest, NamesIgnoreAsciiCase) {
  const std::string file = "[mAiLbOx0]\nREMOTEHOST=pop.example.org\n";
  EXPECT_EQ(ReadOf(file, "MailBox0", "RemoteHost"), "pop.example.org");
  EXPECT_EQ(ReadOf(file, "MAILBOX0", "remotehost"), "pop.example.org");
}

TEST(IniFileReadTest, BlanksAroundNamesAndValuesAreDropped) {
  const std::string file = "  [ General ]  \r\n\t Interval \t=  7 \t\r\n";
  EXPECT_EQ(ReadOf(file, "General", "Interval"), "7");
}

TEST(IniFileReadTest, InnerBlanksStay) {
  EXPECT_EQ(ReadOf("[S]\nName = My  Box \n", "S", "Name"), "My  Box");
}

TEST(IniFileReadTest, OnePairOfQuotesIsRemoved) {
  const std::string file =
      "[S]\nA=\"  spaced  \"\nB=\"\"\"twice\"\"\"\nC=\"open\nD=\"\nE=say \"hi\"\nF=\"\"\n";
  EXPECT_EQ(ReadOf(file, "S", "A"), "  spaced  ");
  EXPECT_EQ(ReadOf(file, "S", "B"), "\"\"twice\"\"");
  EXPECT_EQ(ReadOf(file, "S", "C"), "\"open");
  EXPECT_EQ(ReadOf(file, "S", "D"), "\"");
  EXPECT_EQ(ReadOf(file, "S", "E"), "say \"hi\"");
  EXPECT_EQ(ReadOf(file, "S", "F"), "");
}

TEST(IniFileReadTest, SingleQuotesAreAPairToo) {
  const std::string file = "[S]\nA=' spaced '\nB='mixed\"\nC=\"'inner'\"\nD='\n";
  EXPECT_EQ(ReadOf(file, "S", "A"), " spaced ");
  EXPECT_EQ(ReadOf(file, "S", "B"), "'mixed\"");
  EXPECT_EQ(ReadOf(file, "S", "C"), "'inner'");
  EXPECT_EQ(ReadOf(file, "S", "D"), "'");
}

std::string Utf16Le(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

std::string Utf16Be(const std::u16string& text) {
  std::string out = "\xFE\xFF";
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit >> 8));
    out.push_back(static_cast<char>(unit & 0xFF));
  }
  return out;
}

struct MarkedFileCase {
  const char* name;
  std::string bytes;
  std::string expected;  // value of [A] k
};

class IniFileMarkTest : public testing::TestWithParam<MarkedFileCase> {};

TEST_P(IniFileMarkTest, ReadsThroughTheMarkAndWritesTheSameForm) {
  const MarkedFileCase& row = GetParam();
  EXPECT_EQ(ReadOf(row.bytes, "A", "k"), row.expected);
  IniFile ini(row.bytes);
  EXPECT_EQ(ini.Bytes(), row.bytes) << "an untouched file keeps every byte";
  ini.Write("A", "j", "caf\xE9");
  ini.Write("B", "n", "\xE6\x97\xA5");
  const std::string written = ini.Bytes();
  EXPECT_EQ(written.substr(0, 2), row.bytes.substr(0, 2)) << "same byte-order mark";
  EXPECT_EQ(IniFile(written).Read("A", "k"), row.expected);
  EXPECT_EQ(IniFile(written).Read("A", "j"), "caf\xE9");
  EXPECT_EQ(IniFile(written).Read("B", "n"), "\xE6\x97\xA5");
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniFileMarkTest,
    testing::Values(MarkedFileCase{"Utf8Mark", "\xEF\xBB\xBF[A]\r\nk=Z\xC3\xBCrich\r\n",
                                   "Z\xC3\xBCrich"},
                    MarkedFileCase{"Utf16Latin", Utf16Le(u"[A]\r\nk=Z\u00FCrich\r\n"), "Z\xFCrich"},
                    MarkedFileCase{"Utf16Wide", Utf16Le(u"[A]\r\nk=\u65E5\u672C \U0001F600\r\n"),
                                   "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"},
                    MarkedFileCase{"Utf16BigEndian", Utf16Be(u"[A]\nk=\u20AC\n"), "\x80"},
                    // Each CR-ended line is converted on its own, as with LF.
                    MarkedFileCase{"Utf16OnlyCr", Utf16Le(u"[A]\rk=Z\u00FCrich\r\u65E5=x\r"),
                                   "Z\xFCrich"}),
    [](const testing::TestParamInfo<MarkedFileCase>& info) {
      return std::string(info.param.name);
    });

TEST(IniFileMarkTest, BrokenUtf16IsReadSafely) {
  // A lone surrogate becomes U+FFFD; an odd last byte is dropped; a bare mark is an empty file.
  EXPECT_EQ(ReadOf(Utf16Le(u"[A]\nk=x\xD800y\n"), "A", "k"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(ReadOf(Utf16Le(u"[A]\nk=1") + "\x41", "A", "k"), "1");
  EXPECT_EQ(ReadOf("\xFF\xFE", "A", "k"), std::nullopt);
  EXPECT_EQ(IniFile("\xFF\xFE").Bytes(), "\xFF\xFE");
}

TEST(IniFileReadTest, FirstOfDuplicatesWins) {
  const std::string file = "[S]\nName=first\nname=second\n[s]\nName=third\nUser=only here\n";
  EXPECT_EQ(ReadOf(file, "S", "Name"), "first");
  // The first section is the only one consulted.
  EXPECT_EQ(ReadOf(file, "S", "User"), std::nullopt);
}

TEST(IniFileReadTest, ValueKeepsLaterEqualsSigns) {
  EXPECT_EQ(ReadOf("[S]\nMailProgram=run.exe /a=b\n", "S", "MailProgram"), "run.exe /a=b");
}

TEST(IniFileReadTest, OtherLinesAreNotKeys) {
  const std::string file = "Name=before any section\n[S]\n;Name=comment\njunk line\n=novalue\n";
  EXPECT_EQ(ReadOf(file, "S", "Name"), std::nullopt);
  EXPECT_EQ(ReadOf(file, "S", "junk line"), std::nullopt);
  EXPECT_EQ(ReadOf(file, "S", ""), std::nullopt);
}

TEST(IniFileReadTest, KeysEndAtTheNextSection) {
  EXPECT_EQ(ReadOf("[A]\n[B]\nName=b\n", "A", "Name"), std::nullopt);
}

TEST(IniFileReadTest, LineEndsOfAllKinds) {
  EXPECT_EQ(ReadOf("[S]\r\nA=1\r\nB=2", "S", "B"), "2");
  EXPECT_EQ(ReadOf("[S]\nA=1\nB=2\n", "S", "A"), "1");
  EXPECT_EQ(ReadOf("[S]\r\nA=1\nB=2\r\n", "S", "A"), "1");
}

TEST(IniFileReadTest, NulEndsTheValue) {
  const std::string file = "[S]\nName=ab\0cd\nUser=x\n"s;
  EXPECT_EQ(ReadOf(file, "S", "Name"), "ab");
  EXPECT_EQ(ReadOf(file, "S", "User"), "x");
}

TEST(IniFileReadTest, LongValuesAreReturnedWhole) {
  const std::string value(1 << 20, 'x');
  EXPECT_EQ(ReadOf("[S]\nName=" + value + "\n", "S", "Name"), value);
}

TEST(IniFileReadTest, BinaryJunkIsHarmless) {
  std::string junk;
  unsigned state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    junk.push_back(static_cast<char>(state >> 16));
  }
  IniFile ini(junk);
  EXPECT_EQ(ini.Bytes(), junk);
  ini.Write("General", "Interval", "5");
  EXPECT_EQ(IniFile(ini.Bytes()).Read("General", "Interval"), "5");
}

TEST(IniFileWriteTest, CreatesAFileFromNothingWithCrLf) {
  IniFile ini;
  ini.Write("MailBox0", "Name", "Home");
  ini.Write("MailBox0", "User", "me");
  ini.Write("General", "Interval", "5");
  EXPECT_EQ(ini.Bytes(), "[MailBox0]\r\nName=Home\r\nUser=me\r\n[General]\r\nInterval=5\r\n");
}

TEST(IniFileWriteTest, ReplacesOnlyThatLine) {
  const std::string file = "; my settings\r\n[S]\r\nName=old\r\nOther=1\r\n\r\n[T]\r\nName=t\r\n";
  EXPECT_EQ(AfterWrite(file, "S", "Name", "new"),
            "; my settings\r\n[S]\r\nName=new\r\nOther=1\r\n\r\n[T]\r\nName=t\r\n");
}

TEST(IniFileWriteTest, KeepsTheKeySpellingOfTheFile) {
  EXPECT_EQ(AfterWrite("[s]\n  NAME = old \n", "S", "Name", "new"), "[s]\nNAME=new\n");
}

TEST(IniFileWriteTest, NewKeyGoesAfterTheLastKeyOfItsSection) {
  const std::string file = "[S]\nA=1\n;note\nB=2\n\n; about T\n[T]\nC=3\n";
  EXPECT_EQ(AfterWrite(file, "S", "New", "x"),
            "[S]\nA=1\n;note\nB=2\nNew=x\n\n; about T\n[T]\nC=3\n");
}

TEST(IniFileWriteTest, NewKeyInEmptySectionFollowsTheHeader) {
  EXPECT_EQ(AfterWrite("[S]\n\n[T]\n", "S", "A", "1"), "[S]\nA=1\n\n[T]\n");
}

TEST(IniFileWriteTest, NewSectionGoesToTheEnd) {
  EXPECT_EQ(AfterWrite("[A]\nX=1\n", "B", "Y", "2"), "[A]\nX=1\n[B]\nY=2\n");
}

TEST(IniFileWriteTest, FirstOfDuplicatesIsWritten) {
  EXPECT_EQ(AfterWrite("[S]\nA=1\nA=2\n[S]\nA=3\n", "s", "a", "9"), "[S]\nA=9\nA=2\n[S]\nA=3\n");
}

TEST(IniFileWriteTest, KeepsLfLineEnds) {
  EXPECT_EQ(AfterWrite("[S]\nA=1\n", "S", "B", "2"), "[S]\nA=1\nB=2\n");
  EXPECT_EQ(AfterWrite("[S]\nA=1\n", "T", "B", "2"), "[S]\nA=1\n[T]\nB=2\n");
}

TEST(IniFileWriteTest, KeepsCrLfLineEnds) {
  EXPECT_EQ(AfterWrite("[S]\r\nA=1\r\n", "S", "B", "2"), "[S]\r\nA=1\r\nB=2\r\n");
}

TEST(IniFileWriteTest, MixedLineEndsStayAsTheyWere) {
  EXPECT_EQ(AfterWrite("[S]\nA=1\r\nC=3\n", "S", "A", "2"), "[S]\nA=2\r\nC=3\n");
}

TEST(IniFileWriteTest, FileWithoutFinalLineEnd) {
  EXPECT_EQ(AfterWrite("[S]\r\nA=1", "S", "A", "2"), "[S]\r\nA=2");
  EXPECT_EQ(AfterWrite("[S]\r\nA=1", "S", "B", "2"), "[S]\r\nA=1\r\nB=2\r\n");
  EXPECT_EQ(AfterWrite("[S]\nA=1", "T", "B", "2"), "[S]\nA=1\n[T]\nB=2\n");
  EXPECT_EQ(AfterWrite("[S]", "S", "B", "2"), "[S]\r\nB=2\r\n");
}

TEST(IniFileWriteTest, ValuesThatNeedQuotesReadBackUnchanged) {
  for (const std::string value :
       {" lead", "trail ", "\tboth\t", "\"quoted\"", "\"\"", "a\"b", "\"", "plain"}) {
    IniFile ini;
    ini.Write("S", "K", value);
    EXPECT_EQ(IniFile(ini.Bytes()).Read("S", "K"), value) << ini.Bytes();
  }
  IniFile plain;
  plain.Write("S", "K", "plain");
  EXPECT_EQ(plain.Bytes(), "[S]\r\nK=plain\r\n");
}

TEST(IniFileWriteTest, LineEndsAndNulEndAValue) {
  IniFile ini;
  ini.Write("S", "A", "one\nInjected=1");
  ini.Write("S", "B", "two\0three"s);
  ini.Write("S", "C", "four\rInjected=2");
  EXPECT_EQ(ini.Bytes(), "[S]\r\nA=one\r\nB=two\r\nC=four\r\n");
}

TEST(IniFileWriteTest, UnknownLinesAndJunkAreKeptByteForByte) {
  const std::string file = "\xFD\xFE junk\r\n[MailBox10]\r\nName=x\r\n[S]\r\nFoo=bar\r\n"s +
                           "no equals\r\n"s + "\0\0\r\n"s;
  const std::string written = AfterWrite(file, "S", "Foo", "baz");
  EXPECT_EQ(written, "\xFD\xFE junk\r\n[MailBox10]\r\nName=x\r\n[S]\r\nFoo=baz\r\n"s +
                         "no equals\r\n"s + "\0\0\r\n"s);
}

TEST(IniFileWriteTest, MegabyteLineIsKept) {
  const std::string big(1 << 20, 'q');
  const std::string file = "[S]\n" + big + "\nA=1\n";
  EXPECT_EQ(AfterWrite(file, "S", "A", "2"), "[S]\n" + big + "\nA=2\n");
}

TEST(IniFileRemove, TakesOnlyThatKeyOutOfItsSection) {
  struct Case {
    const char* Name;
    const char* Before;
    const char* After;
  };
  const Case cases[] = {
      {"Middle", "[A]\r\nx=1\r\nk=2\r\ny=3\r\n", "[A]\r\nx=1\r\ny=3\r\n"},
      {"AnyCaseAndRepeated", "[a]\nK=1\nk=2\n[B]\nk=3\n", "[a]\n[B]\nk=3\n"},
      {"OtherSectionOnly", "[B]\nk=3\n", "[B]\nk=3\n"},
      {"Missing", "[A]\nx=1\n", "[A]\nx=1\n"},
      {"Empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    IniFile ini(c.Before);
    ini.Remove("A", "k");
    EXPECT_EQ(ini.Bytes(), c.After);
    EXPECT_FALSE(ini.Read("A", "k").has_value());
  }
}

// Line ends of every kind, alone or mixed, end a line; a write keeps each line's own end and
// gives new lines the file's first one.
struct LineEndCase {
  const char* name;
  std::string end;
};

class IniFileLineEndTest : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(IniFileLineEndTest, EveryLineEndSeparatesLines) {
  const std::string& e = GetParam().end;
  const std::string file = "[MailBox0]" + e + "Name=Home" + e + "[MailBox1]" + e + "Name=Work" + e;
  EXPECT_EQ(ReadOf(file, "MailBox0", "Name"), "Home");
  EXPECT_EQ(ReadOf(file, "MailBox1", "Name"), "Work");

  IniFile ini(file);
  ini.Write("MailBox0", "UIDL", "u1");
  ini.Write("MailBox1", "Name", "Office");
  EXPECT_EQ(ini.Bytes(), "[MailBox0]" + e + "Name=Home" + e + "UIDL=u1" + e + "[MailBox1]" + e +
                             "Name=Office" + e);
}

INSTANTIATE_TEST_SUITE_P(Ends, IniFileLineEndTest,
                         ::testing::Values(LineEndCase{"Cr", "\r"}, LineEndCase{"Lf", "\n"},
                                           LineEndCase{"CrLf", "\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniFileReadTest, MixedCrOnlyAndOtherEnds) {
  const std::string file = "[S]\rA=1\nB=2\r\nC=3\r\r\nD=4";
  IniFile ini(file);
  for (const auto& [key, value] : {std::pair{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}}) {
    EXPECT_EQ(ini.Read("S", key), value) << key;
  }
  EXPECT_EQ(ini.Bytes(), file);
}

// Byte-order marks: the file keeps its encoding and its mark through any number of writes.
struct EncodingCase {
  const char* name;
  std::string mark;
  std::string (*encode)(std::string_view utf8);
};

std::string AsIs(std::string_view text) { return std::string(text); }
std::string AsUtf16Le(std::string_view text) { return Utf16Bytes(text, false); }
std::string AsUtf16Be(std::string_view text) { return Utf16Bytes(text, true); }

class IniFileEncodingTest : public ::testing::TestWithParam<EncodingCase> {
 protected:
  std::string Encoded(std::string_view utf8) const {
    return GetParam().mark + GetParam().encode(utf8);
  }
};

TEST_P(IniFileEncodingTest, FirstSectionIsRead) {
  const std::string text = "[MailBox0]\r\nName=Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xAB\r\n";
  const IniFile ini(Encoded(text));
  EXPECT_TRUE(ini.HasSection("MailBox0"));
  EXPECT_EQ(ini.Read("MailBox0", "Name"), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xAB");
}

TEST_P(IniFileEncodingTest, WritesKeepTheEncodingAndTheMark) {
  const std::string text = "; by hand\r\n[MailBox0]\r\nName=Caf\xC3\xA9\r\n";
  IniFile ini(Encoded(text));
  ini.Write("MailBox0", "UIDL", "u-7");
  ini.Write("General", "MailProgram", "/usr/bin/b\xC3\xBCro");
  EXPECT_EQ(ini.Bytes(), Encoded("; by hand\r\n[MailBox0]\r\nName=Caf\xC3\xA9\r\nUIDL=u-7\r\n"
                                 "[General]\r\nMailProgram=/usr/bin/b\xC3\xBCro\r\n"));
  // A UTF-16 file gives the value in Windows-1252 where it can, as the platform does.
  const std::optional<std::string> again = IniFile(ini.Bytes()).Read("General", "MailProgram");
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(DecodeUtf8OrWindows1252(*again), "/usr/bin/b\xC3\xBCro");
}

TEST_P(IniFileEncodingTest, EveryByteValueSurvivesAsBytes) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != '\r' && b != '\n') all.push_back(static_cast<char>(b));
  }
  // Bytes that happen to be valid UTF-8 are bytes all the same.
  for (const std::string& bytes : {all, std::string("\xC3\xBC\xE2\x82\xAC")}) {
    IniFile ini(Encoded("[MailBox0]\r\n"));
    ini.WriteBytes("MailBox0", "Password", bytes);
    const IniFile again(ini.Bytes());
    EXPECT_EQ(again.Read("MailBox0", "Password"), bytes);
    EXPECT_TRUE(ini.Bytes().starts_with(GetParam().mark));
  }
}

// Lines a write leaves alone go back as they were, however often the file is saved: bytes that
// happen to be valid UTF-8 stay bytes, and text keeps its characters.
TEST_P(IniFileEncodingTest, ValuesSurviveLaterWritesOfOtherKeys) {
  const std::string passwords[] = {"\xC3\x9C"s, "\xC3\xBC\xE2\x82\xAC"s, "\xE9t\xE9"s, "plain"s};
  const std::string names[] = {"\xC3\x83\xC2\xA9"s, "Caf\xC3\xA9"s, "\xE6\x97\xA5\xE6\x9C\xAC"s};
  for (const std::string& password : passwords) {
    for (const std::string& name : names) {
      SCOPED_TRACE(testing::PrintToString(password) + " " + testing::PrintToString(name));
      IniFile ini(Encoded("[MailBox0]\r\nEnabled=1\r\n"));
      ini.WriteBytes("MailBox0", "Password", password);
      ini.Write("MailBox0", "Name", name);
      std::string bytes = ini.Bytes();
      for (const char* other : {"UIDL", "Enabled", "LastMail"}) {
        IniFile again(bytes);
        again.Write("MailBox0", other, "0");
        again.Write("General", "Interval", "5");
        bytes = again.Bytes();
      }
      const IniFile last(bytes);
      EXPECT_TRUE(bytes.starts_with(GetParam().mark));
      EXPECT_EQ(last.Read("MailBox0", "Password"), password);
      EXPECT_EQ(last.ReadText("MailBox0", "Name"), name);
    }
  }
}

TEST_P(IniFileEncodingTest, ReadTextGivesTheCharactersOfTheFile) {
  const std::string text = "[S]\r\nName = \"\xC3\x83\xC2\xA9 \xE2\x82\xAC\" \r\nNone=\r\n";
  const IniFile ini(Encoded(text));
  EXPECT_EQ(ini.ReadText("S", "Name"), "\xC3\x83\xC2\xA9 \xE2\x82\xAC");
  EXPECT_EQ(ini.ReadText("S", "None"), "");
  EXPECT_EQ(ini.ReadText("S", "Missing"), std::nullopt);
  EXPECT_EQ(ini.ReadText("T", "Name"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Marks, IniFileEncodingTest,
                         ::testing::Values(EncodingCase{"Plain", "", AsIs},
                                           EncodingCase{"Utf8Mark", "\xEF\xBB\xBF", AsIs},
                                           EncodingCase{"Utf16Le", "\xFF\xFE", AsUtf16Le},
                                           EncodingCase{"Utf16Be", "\xFE\xFF", AsUtf16Be}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniFileEncodingTest, Utf16TextWritesInvalidUtf8AsWindows1252) {
  IniFile ini("\xFF\xFE"s);
  ini.Write("S", "Name", "Caf\xE9");
  EXPECT_EQ(ini.Bytes(),
            "\xFF\xFE"s + AsUtf16Le("[S]\r\nName=Caf") + "\xE9\0"s + AsUtf16Le("\r\n"));
}

TEST(IniFileEncodingTest, EightBitTextIsUtf8OrElseWindows1252) {
  const IniFile ini("[S]\nA=Caf\xE9\nB=Caf\xC3\xA9\n"s);
  EXPECT_EQ(ini.ReadText("S", "A"), "Caf\xC3\xA9");
  EXPECT_EQ(ini.ReadText("S", "B"), "Caf\xC3\xA9");
}

TEST(IniFileEncodingTest, BrokenUtf16IsReadSafely) {
  // A lone surrogate and an odd last byte.
  const std::string file =
      "\xFF\xFE"s + AsUtf16Le("[S]\nName=a") + "\x00\xD8"s + AsUtf16Le("b\n") + "X";
  IniFile ini(file);
  EXPECT_EQ(ini.Read("S", "Name"),
            "a\xEF\xBF\xBD"
            "b");
  ini.Write("S", "User", "u");
  EXPECT_EQ(IniFile(ini.Bytes()).Read("S", "User"), "u");
}

}  // namespace
}  // namespace postvane
