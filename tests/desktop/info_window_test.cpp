// The about window: version line, fixed layout, light text on a dark ground.
#include <QFrame>
#include <QLabel>
#include <QRegularExpression>

#include "desktop/gui/frm_info.h"
#include "desktop/gui_test_main.h"
#include "ui/version_line.h"

namespace postvane {
namespace {

TEST(InfoWindowTest, VersionLineComesFromTheProgramsVersion) {
  frmInfo info(900);
  info.Form_Load();
  const std::string version = std::to_string(POSTVANE_VERSION_MAJOR) + "." +
                              std::to_string(POSTVANE_VERSION_MINOR) + "." +
                              std::to_string(POSTVANE_VERSION_PATCH);
  EXPECT_EQ(info.Label2->text().toStdString(), "Version " + version);
}

TEST(InfoWindowTest, LayoutIsInTwipsOverFifteen) {
  frmInfo info(900);
  info.Form_Load();
  // 269 by 157 pixels, with one line for the settings file below its frame.
  EXPECT_EQ(info.size(), QSize(269, 157 + 18));
  EXPECT_EQ(info.minimumSize(), info.maximumSize());
  EXPECT_EQ(info.Frame1->geometry(), QRect(7, 7, 254, 141));
  EXPECT_EQ(info.Picture1->geometry(), QRect(7, 14, 32, 32));
  EXPECT_EQ(info.Image1->geometry(), QRect(63, 21, 138, 23));
  EXPECT_EQ(info.Label2->geometry(), QRect(63, 49, 134, 15));
  EXPECT_EQ(info.Label3->geometry(), QRect(7, 70, 85, 15));
  EXPECT_EQ(info.Line1->y(), 84);
  EXPECT_EQ(info.Label1->geometry(), QRect(7, 91, 247, 15));
  EXPECT_EQ(info.Label4->geometry(), QRect(7, 105, 239, 15));
  EXPECT_EQ(info.Label5->geometry(), QRect(7, 119, 239, 15));
}

TEST(InfoWindowTest, LightTextOnADarkGround) {
  frmInfo info(900);
  info.Form_Load();
  EXPECT_TRUE(info.autoFillBackground());
  EXPECT_EQ(info.palette().color(QPalette::Window), QColor(Qt::black));
  for (QLabel* label : {info.Label1, info.Label2, info.Label3, info.Label4, info.Label5}) {
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_FALSE(label->autoFillBackground());
  }
}

TEST(InfoWindowTest, ShowsTheProgramIconAndTheYearNotice) {
  frmInfo info(900);
  info.Form_Load();
  EXPECT_FALSE(info.Picture1->pixmap().isNull());
  EXPECT_EQ(info.Picture1->pixmap().deviceIndependentSize().toSize(), QSize(32, 32));
  EXPECT_TRUE(info.Label3->text().contains("1999"));
  // Contact lines of our own: no real address.
  for (QLabel* label : {info.Label1, info.Label4, info.Label5}) {
    EXPECT_FALSE(label->text().isEmpty());
    EXPECT_FALSE(label->text().contains(QRegularExpression("\\.(com|org|net|de)\\b")));
  }
}

TEST(InfoWindowTest, NamesTheSettingsFileInUse) {
  frmInfo info(900);
  info.Form_Load();
  const std::string shortPath = "/home/ann/.config/postvane/Postvane.ini";
  const std::string longPath = "/home/" + std::string(200, 'a') + "/.config/postvane/Postvane.ini";
  for (const std::string& path : {shortPath, longPath}) {
    info.ShowSettingsFile(path);
    const QString shown = info.SettingsFileLabel->text();
    EXPECT_EQ(info.SettingsFileLabel->toolTip().toStdString(), path);
    // A long path is shortened in the middle: the file name stays readable, the label fits.
    EXPECT_TRUE(shown.startsWith("Settings file: ")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("Postvane.ini")) << shown.toStdString();
    EXPECT_LE(info.SettingsFileLabel->fontMetrics().horizontalAdvance(shown),
              info.SettingsFileLabel->width());
    EXPECT_GE(info.SettingsFileLabel->y(), info.Frame1->geometry().bottom());
    EXPECT_LE(info.SettingsFileLabel->geometry().bottom(), info.height());
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
