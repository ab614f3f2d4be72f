// Web mail: the https-only rule, the tray menu's entries, the mailbox the notice opens, and
// the address through the settings file and the dialog.
#include "app/web_mail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "ui/config_form.h"
#include "settings/ini_file.h"
#include "settings/marker_color.h"
#include "settings/settings_store.h"
#include "settings/web_mail_url.h"
#include "text/own_text.h"

namespace postvane {
namespace {

TEST(WebMailUrl, OnlyHttpsAddressesWithAHost) {
  const struct {
    std::string Url;
    bool Usable;
  } rows[] = {{"https://mail.example.org/", true},
              {"HTTPS://Mail.Example.org/inbox?x=1", true},
              {"https://mail.example.org", true},
              {"http://mail.example.org/", false},
              {"javascript:alert(1)", false},
              {"file:///etc/passwd", false},
              {"https://", false},
              {"https:///path", false},
              {"https://@host", false},
              {"https://mail.example.org/a b", false},
              {"https://mail.example.org/\n", false},
              {" https://mail.example.org/", false},
              {"", false},
              {"https://" + std::string(kLongestWebMailUrl, 'a'), false}};
  for (const auto& row : rows) EXPECT_EQ(UsableWebMailUrl(row.Url), row.Usable) << row.Url;
}

class WebMailState : public ::testing::Test {
 protected:
  WebMailState() {
    state.LanguageBase = 700;
    for (int i = 0; i < kUserMailboxes; ++i) state.Mailboxes[i].Name = "Box" + std::to_string(i);
  }
  MailboxRecord& Box(int i) { return state.Mailboxes[i]; }
  ProgramState state;
};

TEST_F(WebMailState, MenuEntriesNameTheMailboxOnlyWhenThereAreSeveral) {
  EXPECT_TRUE(WebMailEntries(state).empty());
  Box(4).WebMailUrl = "https://four.example/";
  Box(6).WebMailUrl = "http://six.example/";  // not https: offered nowhere
  const std::string open = OwnString(700, OwnText::OpenWebMail);
  EXPECT_EQ(WebMailEntries(state), (std::vector<WebMailEntry>{{4, open}}));
  Box(2).WebMailUrl = "https://two.example/";
  Box(2).Name = "";
  EXPECT_EQ(WebMailEntries(state),
            (std::vector<WebMailEntry>{{2, open + ": 3"}, {4, open + ": Box4"}}));
}

TEST_F(WebMailState, NoticeOpensTheLastCheckedMailboxWithNewMailAndAnAddress) {
  EXPECT_EQ(WebMailForNotice(state), -1);
  Box(1).WebMailUrl = "https://one.example/";
  Box(1).LastCheck = {2026, 12, 7, 9, 0, 0};
  EXPECT_EQ(WebMailForNotice(state), -1) << "no new mail";
  Box(1).NewCount = 2;
  EXPECT_EQ(WebMailForNotice(state), 1);
  Box(3).NewCount = 1;  // newer, but without an address
  Box(3).LastCheck = {2026, 12, 7, 9, 5, 0};
  EXPECT_EQ(WebMailForNotice(state), 1);
  Box(5).NewCount = 1;
  Box(5).WebMailUrl = "https://five.example/";
  Box(5).LastCheck = {2026, 12, 7, 9, 4, 0};
  EXPECT_EQ(WebMailForNotice(state), 5);
  Box(7).NewCount = 1;
  Box(7).WebMailUrl = "https://seven.example/";
  Box(7).LastCheck = Box(5).LastCheck;  // a tie keeps the lower mailbox
  EXPECT_EQ(WebMailForNotice(state), 5);
}

TEST(WebMailSettings, ReadSavedAndAbsentWhenEmpty) {
  FakeFileSystem files;
  files.Files["/p/Postvane.ini"] = "[MailBox2]\r\nName=Work\r\n";
  SettingsStore store(files, "/p/Postvane.ini", "/p/NewMail.wav");
  MailboxRecord record;
  store.LoadMailbox(record, 2);
  EXPECT_EQ(record.WebMailUrl, "");
  store.SaveMailbox(record, 2);
  EXPECT_FALSE(IniFile(files.Content("/p/Postvane.ini")).Read("MailBox2", "WebMailUrl"));
  record.WebMailUrl = "https://mail.example.org/";
  store.SaveMailbox(record, 2);
  MailboxRecord read;
  store.LoadMailbox(read, 2);
  EXPECT_EQ(read.WebMailUrl, "https://mail.example.org/");
}

TEST(WebMailField, TypedAddressesAreStoredOnlyWhenHttpsOrEmpty) {
  const struct {
    std::optional<std::string> Typed;
    std::string Stored;
  } rows[] = {{std::nullopt, "https://old.example/"},
              {"  https://new.example/  ", "https://new.example/"},
              {"", ""},
              {"http://new.example/", "https://old.example/"},
              {"new.example", "https://old.example/"}};
  for (const auto& row : rows) {
    MailboxRecord record;
    record.WebMailUrl = "https://old.example/";
    ConfigMailboxFields fields = ShowMailbox(record);
    EXPECT_EQ(fields.WebMailUrl, "https://old.example/");
    fields.WebMailUrl = row.Typed;
    StoreMailbox(fields, record);
    EXPECT_EQ(record.WebMailUrl, row.Stored) << row.Typed.value_or("(no box)");
  }
}

TEST(MarkerColor, OnlyHashAndSixHexDigits) {
  const struct {
    std::string Color;
    bool Valid;
  } rows[] = {{"#1e90ff", true}, {"#ABCDEF", true},   {"#000000", true},  {"1e90ff", false},
              {"#1e90f", false}, {"#1e90ffa", false}, {"#1e90fg", false}, {"", false},
              {"red", false},    {"# 1e90f", false}};
  for (const auto& row : rows) EXPECT_EQ(ValidMarkerColor(row.Color), row.Valid) << row.Color;
}

TEST(MarkerColor, TypedColoursAreStoredOnlyWhenValidOrEmptyAndSaved) {
  const struct {
    std::optional<std::string> Typed;
    std::string Stored;
  } rows[] = {{std::nullopt, "#112233"}, {" #A0B0C0 ", "#A0B0C0"}, {"", ""}, {"blue", "#112233"}};
  for (const auto& row : rows) {
    MailboxRecord record;
    record.MarkerColor = "#112233";
    ConfigMailboxFields fields = ShowMailbox(record);
    EXPECT_EQ(fields.MarkerColor, "#112233");
    fields.MarkerColor = row.Typed;
    StoreMailbox(fields, record);
    EXPECT_EQ(record.MarkerColor, row.Stored) << row.Typed.value_or("(no box)");
  }
  FakeFileSystem files;
  SettingsStore store(files, "/p/Postvane.ini", "/p/NewMail.wav");
  MailboxRecord record;
  store.SaveMailbox(record, 3);
  EXPECT_FALSE(IniFile(files.Content("/p/Postvane.ini")).Read("MailBox3", "MarkerColor"));
  record.MarkerColor = "#1e90ff";
  store.SaveMailbox(record, 3);
  MailboxRecord read;
  store.LoadMailbox(read, 3);
  EXPECT_EQ(read.MarkerColor, "#1e90ff");
}

}  // namespace
}  // namespace postvane
