// The desktop notice after a cycle: total in the summary, each mailbox with new mail and its
// newest messages (five at most) in the body, as clean UTF-8 text.
#include "app/desktop_notice.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "text/string_table.h"

namespace postvane {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool ValidUtf8WithoutControls(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) return false;
    if (c < 0x20 && c != '\n') return false;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

class DesktopNoticeTest : public testing::Test {
 protected:
  // A mailbox with `count` new messages and their headers, newest (highest number) first.
  void Fill(int index, const std::string& name, int count) {
    MailboxRecord& box = state.Mailboxes[static_cast<std::size_t>(index)];
    box.Name = name;
    box.Enabled = kTrue;
    box.NewCount = static_cast<int16_t>(count);
    box.Headers.assign(1, MessageHeader{});
    for (int k = count; k >= 1; --k) {
      box.Headers.push_back({"sender" + std::to_string(k) + "@example.org", "",
                             "Subject " + std::to_string(k), "", ""});
    }
  }

  ProgramState state;
};

TEST_F(DesktopNoticeTest, ListsEachMailboxWithItsNewestFiveMessages) {
  struct Case {
    const char* Name;
    std::vector<int> Counts;  // new messages of mailboxes 0, 1, ...
  };
  const Case cases[] = {{"OneMessage", {1}},
                        {"FiveExactly", {5}},
                        {"MoreThanFive", {8}},
                        {"SecondMailboxOnly", {0, 3}},
                        {"Two", {2, 7}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    state = ProgramState{};
    int total = 0;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < c.Counts.size(); ++i) {
      const int count = c.Counts[i];
      Fill(static_cast<int>(i), "Box" + std::to_string(i), count);
      if (count == 0) continue;
      total += count;
      expected.push_back("Box" + std::to_string(i) + ": " + std::to_string(count) + " " +
                         LocalString(state.LanguageBase, StringId::NewMessages));
      for (int k = count; k > count - std::min(count, kNoticeMessagesPerMailbox); --k) {
        expected.push_back(LocalString(state.LanguageBase, StringId::From) + " sender" +
                           std::to_string(k) + "@example.org | " +
                           LocalString(state.LanguageBase, StringId::Subject) + " Subject " +
                           std::to_string(k));
      }
    }
    const DesktopNotice notice = MakeDesktopNotice(state);
    EXPECT_EQ(notice.Summary, "Postvane: " + std::to_string(total) + " " +
                                  LocalString(state.LanguageBase, StringId::NewMessages));
    EXPECT_EQ(Lines(notice.Body), expected);
  }
}

TEST_F(DesktopNoticeTest, SwitchedOffMailboxesAreLeftOut) {
  Fill(0, "Off", 2);
  state.Mailboxes[0].Enabled = kFalse;
  Fill(1, "On", 1);
  const DesktopNotice notice = MakeDesktopNotice(state);
  EXPECT_EQ(notice.Body.find("Off"), std::string::npos);
  EXPECT_EQ(notice.Summary.find(" 1 "), std::string("Postvane:").size());
}

TEST_F(DesktopNoticeTest, ServerBytesBecomeCleanText) {
  Fill(0, "Caf\xE9", 1);  // Windows-1252 from an old settings file
  state.Mailboxes[0].Headers[1].From = "Eve\r\nX-Injected: 1 <eve@example.org>";
  state.Mailboxes[0].Headers[1].Subject = std::string("\xC3\x28 broken\x1b[31m", 13);
  const DesktopNotice notice = MakeDesktopNotice(state);
  EXPECT_TRUE(ValidUtf8WithoutControls(notice.Summary));
  EXPECT_TRUE(ValidUtf8WithoutControls(notice.Body));
  EXPECT_EQ(notice.Body.rfind("Caf\xC3\xA9: 1 ", 0), 0u);
  // One line for the mailbox, one for its message: nothing the server sent breaks a line.
  EXPECT_EQ(Lines(notice.Body).size(), 2u);
}

TEST_F(DesktopNoticeTest, SpeaksTheUsersLanguage) {
  Fill(0, "Work", 1);
  state.LanguageBase = 700;  // German
  const DesktopNotice german = MakeDesktopNotice(state);
  state.LanguageBase = 900;
  const DesktopNotice english = MakeDesktopNotice(state);
  EXPECT_NE(german.Body, english.Body);
  EXPECT_NE(german.Summary.find(LocalString(700, StringId::NewMessages)), std::string::npos);
}

}  // namespace
}  // namespace postvane
