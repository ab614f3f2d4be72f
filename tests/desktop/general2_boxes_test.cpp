// Our three boxes on the General 2 tab: captions in every language that fit their boxes, and
// places inside the tab that leave the MDaemon frame and each other alone.
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QPointer>
#include <QStyle>
#include <QTemporaryDir>

#include "desktop/gui/frm_config.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "settings/std_file_system.h"
#include "text/own_text.h"

namespace postvane {
namespace {

TEST(General2BoxesTest, CaptionsFitInEveryLanguageAndBoxesKeepTheirPlaces) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  StdFileSystem files;
  SettingsStore store(files, folder.filePath("Postvane.ini").toStdString(), "");
  NoPickers pickers;
  for (const int16_t language : {300, 700, 900, 1000, 1600, 1900}) {
    SCOPED_TRACE(language);
    ProgramState state;
    state.Paths = MakeProgramPaths(folder.path().toStdString());
    state.LanguageBase = language;
    QPointer<frmConfig> form = new frmConfig(state, store, pickers, [](bool) {});
    form->Form_Load();

    const struct {
      QCheckBox* Box;
      OwnText Text;
    } boxes[] = {{form->chkStartWithDesktop, OwnText::StartWithDesktop},
                 {form->chkDesktopNotification, OwnText::DesktopNotification},
                 {form->chkKeyring, OwnText::KeepPasswordsInKeyring}};
    const QRect mdaemonFrame = form->fraGeneral2->findChild<QGroupBox*>("Frame7")->geometry();
    std::vector<QRect> taken{mdaemonFrame};
    for (const auto& [box, text] : boxes) {
      ASSERT_EQ(box->parentWidget(), form->fraGeneral2);
      EXPECT_EQ(box->text().toStdString(), OwnString(language, text));
      EXPECT_FALSE(box->text().isEmpty());
      const int indicator =
          box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
          box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
      EXPECT_LE(indicator + box->fontMetrics().horizontalAdvance(box->text()), box->width())
          << box->text().toStdString();
      EXPECT_TRUE(form->fraGeneral2->rect().contains(box->geometry()));
      for (const QRect& other : taken) EXPECT_FALSE(other.intersects(box->geometry()));
      taken.push_back(box->geometry());
    }
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
