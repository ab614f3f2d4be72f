// Renderings of a one-shot check: JSON escaping, plain text, exit status.
#include "app/check_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/check_options.h"
#include "check/secure_failure_text.h"
#include "text/display_text.h"
#include "text/own_text.h"

namespace postvane {
namespace {

MailboxReport Box(int16_t index, const std::string& name, int16_t newCount, int16_t messages,
                  const std::string& status = "") {
  MailboxReport box;
  box.Index = index;
  box.Name = name;
  box.Enabled = true;
  box.NewCount = newCount;
  box.MessageCount = messages;
  box.StatusText = status;
  if (!status.empty()) {
    box.Result = MailboxResult::Failed;
  } else {
    box.Result = newCount > 0 ? MailboxResult::NewMail : MailboxResult::NoNewMail;
  }
  return box;
}

// Another client held the mailbox: the server was never asked for counts.
MailboxReport Locked(int16_t index, const std::string& name) {
  MailboxReport box = Box(index, name, 0, 0, OwnString(900, OwnText::MailboxInUse));
  box.Result = MailboxResult::NotChecked;
  return box;
}

MessageHeader Header(const std::string& from, const std::string& subject, const std::string& date,
                     const std::string& to = "", const std::string& priority = "") {
  return MessageHeader{from, to, subject, priority, date};
}

struct EscapeCase {
  const char* Name;
  std::string Bytes;
  std::string Json;
  std::string Plain;
};

class TextEscaping : public testing::TestWithParam<EscapeCase> {};

TEST_P(TextEscaping, JsonAndPlain) {
  EXPECT_EQ(JsonString(GetParam().Bytes), GetParam().Json);
  EXPECT_EQ(DisplayText(GetParam().Bytes), GetParam().Plain);
}

const EscapeCase kEscapeCases[] = {
    {"Empty", "", "\"\"", ""},
    {"Ascii", "Lunch at 12", "\"Lunch at 12\"", "Lunch at 12"},
    {"Quotes", "say \"hi\"", "\"say \\\"hi\\\"\"", "say \"hi\""},
    {"Backslash", "C:\\mail\\", "\"C:\\\\mail\\\\\"", "C:\\mail\\"},
    {"Slash", "a/b", "\"a/b\"", "a/b"},
    {"Tab", "a\tb", "\"a\\u0009b\"", "a b"},
    {"LineFeed", "a\nb", "\"a\\u000ab\"",
     "a\xEF\xBF\xBD"
     "b"},
    {"Escape", "\x1b[31mred", "\"\\u001b[31mred\"", "\xEF\xBF\xBD[31mred"},
    {"Nul", std::string("a\0b", 3), "\"a\\u0000b\"",
     "a\xEF\xBF\xBD"
     "b"},
    {"Delete", "a\x7f", "\"a\\u007f\"", "a\xEF\xBF\xBD"},
    {"Utf8", "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC", "\"Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC\"",
     "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC"},
    {"FourByteUtf8", "\xF0\x9F\x93\xAC", "\"\xF0\x9F\x93\xAC\"", "\xF0\x9F\x93\xAC"},
    // Not UTF-8: every byte is a Windows-1252 character.
    {"Windows1252", "caf\xE9 \x80", "\"caf\xC3\xA9 \xE2\x82\xAC\"", "caf\xC3\xA9 \xE2\x82\xAC"},
    {"InvalidWithQuote", "\"\xFF\"", "\"\\\"\xC3\xBF\\\"\"", "\"\xC3\xBF\""},
    {"TruncatedSequence", "ab\xE2\x82", "\"ab\xC3\xA2\xE2\x80\x9A\"", "ab\xC3\xA2\xE2\x80\x9A"},
    // C1 controls: unassigned Windows-1252 codes and encoded U+0085.
    {"C1FromWindows1252", "x\x81\xE9", "\"x\\u0081\xC3\xA9\"", "x\xEF\xBF\xBD\xC3\xA9"},
    {"C1InUtf8", "x\xC2\x85y", "\"x\\u0085y\"", "x\xEF\xBF\xBDy"},
    {"NoBreakSpaceStays", "x\xC2\xA0y", "\"x\xC2\xA0y\"", "x\xC2\xA0y"},
    {"LineSeparator",
     "a\xE2\x80\xA8"
     "b\xE2\x80\xA9",
     "\"a\\u2028b\\u2029\"",
     "a\xEF\xBF\xBD"
     "b\xEF\xBF\xBD"},
    // A subject cannot turn the rest of the line around or hide characters.
    {"RightToLeftOverride",
     "txt.\xE2\x80\xAE"
     "exe",
     "\"txt.\\u202eexe\"",
     "txt.\xEF\xBF\xBD"
     "exe"},
    {"IsolatesAndMarks", "\xE2\x81\xA6x\xE2\x81\xA9\xE2\x80\x8F\xD8\x9C",
     "\"\\u2066x\\u2069\\u200f\\u061c\"", "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"ZeroWidthAndBom",
     "a\xE2\x80\x8B"
     "b\xEF\xBB\xBF",
     "\"a\\u200bb\\ufeff\"",
     "a\xEF\xBF\xBD"
     "b\xEF\xBF\xBD"},
    {"NeighboursStay", "\xE2\x80\x8A\xE2\x80\x90\xE2\x80\xAF\xE2\x81\x9F",
     "\"\xE2\x80\x8A\xE2\x80\x90\xE2\x80\xAF\xE2\x81\x9F\"",
     "\xE2\x80\x8A\xE2\x80\x90\xE2\x80\xAF\xE2\x81\x9F"},
    {"InvisibleAndTags", "\xC2\xAD\xE2\x81\xA0\xF3\xA0\x81\x81", "\"\\u00ad\\u2060\\udb40\\udc41\"",
     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TextEscaping, testing::ValuesIn(kEscapeCases),
                         [](const testing::TestParamInfo<EscapeCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST(CheckReport, EveryByteValueGivesPrintableJson) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::string json = JsonString(all);
  ASSERT_GE(json.size(), 2u);
  EXPECT_EQ(json.front(), '"');
  EXPECT_EQ(json.back(), '"');
  // Inside the quotes no raw control character and no unescaped quote.
  for (std::size_t i = 1; i + 1 < json.size(); ++i) {
    const auto c = static_cast<unsigned char>(json[i]);
    EXPECT_GE(c, 0x20) << "at " << i;
    if (c == '\\') {
      ++i;
    } else {
      EXPECT_NE(c, '"') << "at " << i;
    }
  }
}

struct ExitCase {
  const char* Name;
  std::vector<MailboxReport> Mailboxes;
  int Expected;
};

class ExitStatus : public testing::TestWithParam<ExitCase> {};

TEST_P(ExitStatus, FollowsNewMailThenFailure) {
  CheckReport report;
  report.Mailboxes = GetParam().Mailboxes;
  EXPECT_EQ(CheckExitStatus(report), GetParam().Expected);
}

MailboxReport Disabled(MailboxReport box) {
  box.Enabled = false;
  return box;
}

const ExitCase kExitCases[] = {
    {"NothingListed", {}, kExitNoNewMail},
    {"NothingNew", {Box(0, "a", 0, 3), Box(1, "b", 0, 0)}, kExitNoNewMail},
    {"NewMail", {Box(0, "a", 0, 3), Box(4, "b", 2, 5)}, kExitNewMail},
    {"NewMailBeatsFailure",
     {Box(0, "a", 0, 0, "Password is wrong!"), Box(1, "b", 1, 1)},
     kExitNewMail},
    {"FailureWithoutNewMail",
     {Box(0, "a", 0, 2), Box(1, "b", 0, 0, "Password is wrong!")},
     kExitFailed},
    {"SwitchedOffDoesNotCount", {Disabled(Box(0, "a", 3, 3)), Box(1, "b", 0, 0)}, kExitNoNewMail},
    {"SwitchedOffFailureDoesNotCount", {Disabled(Box(0, "a", 0, 0, "x"))}, kExitNoNewMail},
    {"NotCheckedIsAFailure", {Box(0, "a", 0, 2), Locked(1, "b")}, kExitFailed},
    {"NewMailBeatsNotChecked", {Locked(0, "a"), Box(1, "b", 1, 1)}, kExitNewMail},
    {"UnfinishedIsAFailure",
     {Box(0, "a", 0, 2),
      [] {
        MailboxReport box = Box(1, "b", 0, 0);
        box.Result = MailboxResult::Failed;
        return box;
      }()},
     kExitFailed},
};

INSTANTIATE_TEST_SUITE_P(Cases, ExitStatus, testing::ValuesIn(kExitCases),
                         [](const testing::TestParamInfo<ExitCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST(CheckReport, PlainTextListsMailboxesAndTheirNewMessages) {
  CheckReport report;
  MailboxReport work = Box(0, "Work", 2, 7);
  work.Headers = {Header("Bob <bob@example.org>", "Budget", "Tue, 1 Oct 2024 10:00:00 +0200"),
                  Header("Alice <alice@example.org>", "Lunch", "Tue, 1 Oct 2024 09:00:00 +0200")};
  report.Mailboxes = {work, Box(3, "Home", 0, 0, "Password is wrong!"),
                      Disabled(Box(5, "Old", 0, 0))};
  EXPECT_EQ(RenderPlainReport(report),
            "0 Work: 2 new message(s), 7 message(s) in mailbox - no Error\n"
            "    From: Bob <bob@example.org> | Subject: Budget | Date: Tue, 1 Oct 2024 10:00:00 "
            "+0200\n"
            "    From: Alice <alice@example.org> | Subject: Lunch | Date: Tue, 1 Oct 2024 09:00:00 "
            "+0200\n"
            "3 Home: 0 new message(s), 0 message(s) in mailbox - Password is wrong!\n"
            "5 Old: not checked (switched off)\n");
}

TEST(CheckReport, PlainTextShowsDisplayNamesUnquotedJsonKeepsThem) {
  CheckReport report;
  MailboxReport box = Box(0, "W", 1, 1);
  const std::string from = "\"Dan \\\"the Man\\\"\" <dan@example.org>";
  box.Headers = {Header(from, "S", "D")};
  report.Mailboxes = {box};
  EXPECT_NE(RenderPlainReport(report).find("From: Dan \"the Man\" <dan@example.org> |"),
            std::string::npos);
  EXPECT_NE(RenderJsonReport(report).find("\"from\":" + JsonString(from)), std::string::npos);
}

TEST(CheckReport, PlainTextSpeaksTheUsersLanguage) {
  CheckReport report;
  report.LanguageBase = 700;
  MailboxReport work = Box(1, "Arbeit", 1, 4);
  work.Headers = {Header("Bob", "Haushalt", "Mo")};
  report.Mailboxes = {work, Box(2, "Heim", 0, 0)};
  EXPECT_EQ(RenderPlainReport(report),
            "1 Arbeit: 1 neue(s) mail(s), 4 mail(s) im Postfach - kein Fehler\n"
            "    Absender: Bob | Betreff: Haushalt | Datum: Mo\n"
            "2 Heim: 0 neue(s) mail(s), 0 mail(s) im Postfach - kein Fehler\n");
}

TEST(CheckReport, PlainTextKeepsServerBytesOnTheirLine) {
  CheckReport report;
  MailboxReport box = Box(0, "W", 1, 1);
  box.Headers = {Header("x\ny", "\x1b]0;title\x07", "caf\xE9")};
  report.Mailboxes = {box};
  EXPECT_EQ(RenderPlainReport(report),
            "0 W: 1 new message(s), 1 message(s) in mailbox - no Error\n"
            "    From: x\xEF\xBF\xBDy | Subject: \xEF\xBF\xBD]0;title\xEF\xBF\xBD | Date: "
            "caf\xC3\xA9\n");
}

TEST(CheckReport, EmptyReportPrintsNothing) {
  EXPECT_EQ(RenderPlainReport(CheckReport{}), "");
  EXPECT_EQ(RenderJsonReport(CheckReport{}), "{\"mailboxes\":[],\"newTotal\":0}\n");
}

TEST(CheckReport, JsonHoldsEveryField) {
  CheckReport report;
  MailboxReport work = Box(0, "Work \"A\"", 2, 7);
  work.NewestUidl = "u7";
  work.Headers = {Header("Bob", "Q\x01", "D1", "me", "1"), Header("Al\xE9", "S", "D2")};
  MailboxReport home = Box(3, "Home", 0, 0, "Password is wrong!");
  home.Security = SecurityMode::StartTls;
  home.Protocol = MailProtocol::Imap;
  MailboxReport old = Disabled(Box(5, "Old", 4, 4));
  old.Protocol = std::nullopt;
  report.Mailboxes = {work, home, old};
  EXPECT_EQ(
      RenderJsonReport(report),
      "{\"mailboxes\":["
      "{\"index\":0,\"name\":\"Work \\\"A\\\"\",\"enabled\":true,\"checked\":true,\"newCount\":2,"
      "\"messageCount\":7,\"status\":\"no Error\",\"error\":false,\"newestUidl\":\"u7\","
      "\"security\":\"none\",\"protocol\":\"pop3\",\"headers\":[{\"from\":\"Bob\",\"to\":\"me\","
      "\"subject\":\"Q\\u0001\","
      "\"priority\":\"1\",\"date\":\"D1\"},{\"from\":\"Al\xC3\xA9\",\"to\":\"\","
      "\"subject\":\"S\",\"priority\":\"\",\"date\":\"D2\"}]},"
      "{\"index\":3,\"name\":\"Home\",\"enabled\":true,\"checked\":false,\"newCount\":0,"
      "\"messageCount\":0,"
      "\"status\":\"Password is wrong!\",\"error\":true,\"newestUidl\":\"\","
      "\"security\":\"starttls\",\"protocol\":\"imap\",\"headers\":[]},"
      "{\"index\":5,\"name\":\"Old\",\"enabled\":false,\"checked\":false,\"newCount\":4,"
      "\"messageCount\":4,"
      "\"status\":\"not checked (switched off)\",\"error\":false,\"newestUidl\":\"\","
      "\"security\":\"none\",\"protocol\":\"unknown\",\"headers\":[]}"
      "],\"newTotal\":2}\n");
}

// A mailbox whose counts were not renewed never reads like an empty one.
TEST(CheckReport, NotCheckedMailboxSaysSoInBothRenderings) {
  for (int16_t base : {int16_t{900}, int16_t{700}}) {
    SCOPED_TRACE(base);
    CheckReport report;
    report.LanguageBase = base;
    MailboxReport locked = Locked(1, "Home");
    locked.StatusText = OwnString(base, OwnText::MailboxInUse);
    report.Mailboxes = {Box(0, "Work", 0, 3), locked};
    const std::string plain = RenderPlainReport(report);
    const std::string line = "1 Home: " + OwnString(base, OwnText::NotChecked) + " - " +
                             OwnString(base, OwnText::MailboxInUse) + "\n";
    EXPECT_NE(plain.find(line), std::string::npos) << plain;
    EXPECT_EQ(plain.find("1 Home: 0 "), std::string::npos) << plain;

    const std::string json = RenderJsonReport(report);
    EXPECT_NE(json.find("\"index\":0,\"name\":\"Work\",\"enabled\":true,\"checked\":true"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"index\":1,\"name\":\"Home\",\"enabled\":true,\"checked\":false"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"status\":" + JsonString(OwnString(base, OwnText::MailboxInUse)) +
                        ",\"error\":true"),
              std::string::npos)
        << json;
    EXPECT_EQ(CheckExitStatus(report), kExitFailed);
  }
}

TEST(CheckReport, JsonDescribesARejectedCertificate) {
  CheckReport report;
  MailboxReport box = Box(1, "Work", 0, 0, "Certificate not trusted");
  box.Security = SecurityMode::Tls;
  box.RejectedCertificate = {"CN=pop.example.org", "CN=\"Own\" CA", "2026-01-01 00:00:00 UTC",
                             "2027-01-01 00:00:00 UTC", "A1B2" + std::string(60, '0')};
  report.Mailboxes = {box, Box(2, "Home", 0, 0)};
  const std::string json = RenderJsonReport(report);
  EXPECT_NE(json.find("\"security\":\"tls\",\"certificate\":{\"subject\":\"CN=pop.example.org\","
                      "\"issuer\":\"CN=\\\"Own\\\" CA\",\"validFrom\":\"2026-01-01 00:00:00 UTC\","
                      "\"validUntil\":\"2027-01-01 00:00:00 UTC\",\"sha256\":\"A1:B2:00:"),
            std::string::npos)
      << json;
  // Only the mailbox that failed on a certificate has one.
  EXPECT_EQ(json.find("certificate", json.find("\"index\":2")), std::string::npos);
}

TEST(CheckReport, PlainTextListsARejectedCertificateUnderItsMailbox) {
  CheckReport report;
  MailboxReport box = Box(1, "Work", 0, 0, "Certificate not trusted");
  box.RejectedCertificate = {"CN=pop\x1b.test", "CN=CA", "2026-01-01 00:00:00 UTC",
                             "2027-01-01 00:00:00 UTC", std::string(64, 'F')};
  report.Mailboxes = {box};
  std::string expected =
      "1 Work: 0 new message(s), 0 message(s) in mailbox - Certificate not trusted\n";
  for (const std::string& line : CertificateDetails(report.LanguageBase, box.RejectedCertificate)) {
    expected += "    " + DisplayText(line) + "\n";
  }
  EXPECT_EQ(RenderPlainReport(report), expected);
  // What the server put into its certificate cannot steer the terminal.
  EXPECT_EQ(expected.find('\x1b'), std::string::npos);
}

TEST(CheckReport, NewTotalAddsTheCheckedMailboxes) {
  CheckReport report;
  report.Mailboxes = {Box(0, "a", 32767, 32767), Box(1, "b", 32767, 32767),
                      Disabled(Box(2, "c", 5, 5)), Box(3, "d", 1, 1)};
  EXPECT_EQ(NewTotal(report), 65535);
  EXPECT_NE(RenderJsonReport(report).find("\"newTotal\":65535}"), std::string::npos);
}

TEST(CheckReport, MadeFromTheTableNewestMessageFirst) {
  ProgramState state;
  state.LanguageBase = 1000;
  MailboxRecord& box = state.Mailboxes[4];
  box.Name = "Box";
  box.Enabled = kTrue;
  box.NewCount = 2;
  box.MessageCount = 9;
  box.StatusText = "";
  box.NewestUidl = "z";
  box.Headers = {Header("never shown", "", ""), Header("newest", "", ""), Header("older", "", "")};
  state.Mailboxes[6].Enabled = kFalse;
  MailboxResults results{};
  results.fill(MailboxResult::Failed);
  results[4] = MailboxResult::NewMail;
  const CheckReport report = MakeCheckReport(state, {4, 6, 10, -1}, results);
  EXPECT_EQ(report.LanguageBase, 1000);
  ASSERT_EQ(report.Mailboxes.size(), 2u);
  const MailboxReport& first = report.Mailboxes[0];
  EXPECT_EQ(first.Index, 4);
  EXPECT_EQ(first.Name, "Box");
  EXPECT_TRUE(first.Enabled);
  EXPECT_EQ(first.NewCount, 2);
  EXPECT_EQ(first.MessageCount, 9);
  EXPECT_EQ(first.NewestUidl, "z");
  EXPECT_EQ(first.Result, MailboxResult::NewMail);
  EXPECT_TRUE(Checked(first));
  EXPECT_FALSE(Checked(report.Mailboxes[1]));
  ASSERT_EQ(first.Headers.size(), 2u);
  EXPECT_EQ(first.Headers[0].From, "newest");
  EXPECT_EQ(first.Headers[1].From, "older");
  EXPECT_EQ(report.Mailboxes[1].Index, 6);
  EXPECT_FALSE(report.Mailboxes[1].Enabled);
  EXPECT_TRUE(report.Mailboxes[1].Headers.empty());
}

}  // namespace
}  // namespace postvane
