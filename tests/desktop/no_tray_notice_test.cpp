// A desktop without a notification area: the program says so once, in the user's language,
// on the terminal and in a small window, and runs on.
#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <set>
#include <sstream>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "text/own_text.h"
#include "text/string_id.h"
#include "text/string_table.h"

namespace postvane {
namespace {

constexpr uint16_t kLanguages[] = {0x0403, 0x0407, 0x0409, 0x0c0a, 0x0410, 0x0413};

class NoTrayNoticeTest : public testing::TestWithParam<uint16_t> {
 protected:
  QTemporaryDir dir_;
  NoPickers pickers_;
};

TEST_P(NoTrayNoticeTest, SaysSoOnceWithWhatToInstallAndRunsOn) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(GetParam());
  const int16_t base = program.State().LanguageBase;

  std::ostringstream err;
  program.CheckNotificationArea(false, err);
  const std::string text = OwnString(base, OwnText::NoNotificationArea);
  EXPECT_EQ(err.str(), "Postvane: " + text + "\n");
  EXPECT_NE(text.find("gnome-shell-extension-appindicator"), std::string::npos) << text;

  auto* box = qobject_cast<QMessageBox*>(program.NoTrayNotice());
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_FALSE(box->isModal()) << "the tray program must keep running behind it";
  EXPECT_EQ(box->text().toStdString(), text);
  ASSERT_EQ(box->buttons().size(), 1);
  EXPECT_EQ(box->buttons()[0]->text().toStdString(), LocalString(base, StringId::Ok));

  // Once per start: a later look finds it said already.
  program.CheckNotificationArea(false, err);
  EXPECT_EQ(err.str(), "Postvane: " + text + "\n");
  EXPECT_EQ(program.NoTrayNotice(), box);

  // The program is still there: its icon and menu wait for an area to appear.
  EXPECT_TRUE(program.MainWindow().Tray().GetTrayVisible(0));
  box->buttons()[0]->click();
  EXPECT_TRUE(WaitFor([&] { return program.NoTrayNotice() == nullptr; }, 5000));
}

TEST_P(NoTrayNoticeTest, WithANotificationAreaSaysNothing) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(GetParam());
  std::ostringstream err;
  program.CheckNotificationArea(true, err);
  EXPECT_TRUE(err.str().empty());
  EXPECT_EQ(program.NoTrayNotice(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Languages, NoTrayNoticeTest, testing::ValuesIn(kLanguages),
                         [](const testing::TestParamInfo<uint16_t>& info) {
                           return "Lang" + std::to_string(info.param);
                         });

TEST(NoTrayNoticeTexts, EveryLanguageHasItsOwn) {
  std::set<std::string> seen;
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    EXPECT_TRUE(seen.insert(OwnString(base, OwnText::NoNotificationArea)).second) << base;
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
