// Caption codes of real widgets replaced through the core's rule: the tray menu, the
// configuration dialog and the about window, in English and German.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtMath>
#include <algorithm>
#include <memory>

#include "desktop/gui/caption_fit.h"
#include "desktop/gui/desktop_program.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui/frm_info.h"
#include "desktop/gui/widget_captions.h"
#include "desktop/gui/wrapping_check_box.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "settings/std_file_system.h"
#include "ui/version_line.h"

namespace postvane {
namespace {

constexpr int16_t kEnglish = 900;
constexpr int16_t kGerman = 700;

QStringList MenuTexts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) texts << action->text();
  return texts;
}

QString LabelText(const QWidget& window, const char* name) {
  const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QStringLiteral("<missing>");
}

QString FrameTitle(const QWidget& window, const char* name) {
  const auto* frame = window.findChild<QGroupBox*>(QString::fromLatin1(name));
  return frame != nullptr ? frame->title() : QStringLiteral("<missing>");
}

class CaptionsTest : public testing::Test {
 protected:
  CaptionsTest() : store_(files_, dir_.filePath("Postvane.ini").toStdString(), "NewMail.wav") {}

  std::unique_ptr<frmConfig> MakeConfig() {
    return std::make_unique<frmConfig>(state_, store_, pickers_, [](bool) {});
  }

  QTemporaryDir dir_;
  StdFileSystem files_;
  SettingsStore store_;
  ProgramState state_;
  NoPickers pickers_;
};

TEST_F(CaptionsTest, TrayMenuInEnglish) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  EXPECT_EQ(MenuTexts(*program.MainWindow().mnuSysTray()),
            (QStringList{"res134", "res135", "res136", "res137", "res138", "res139", "res140"}));
  program.StartUp(0x0409);
  EXPECT_EQ(MenuTexts(*program.MainWindow().mnuSysTray()),
            (QStringList{"Check Now", "Run Mail Reader", "Show Status", "Process MDaemon",
                         "Configuration", "About ...", "Exit"}));
}

TEST_F(CaptionsTest, TrayMenuInGerman) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0407);
  EXPECT_EQ(program.State().LanguageBase, kGerman);
  EXPECT_EQ(MenuTexts(*program.MainWindow().mnuSysTray()),
            (QStringList{QString::fromUtf8("Mails überprüfen"), "Starte Mailprogramm",
                         "Zeige Statusfenster", "Starte MDaemon", "Konfiguration", "Info ...",
                         "Beenden"}));
}

TEST_F(CaptionsTest, ConfigurationDialogInEnglish) {
  std::unique_ptr<frmConfig> form = MakeConfig();
  EXPECT_EQ(form->windowTitle(), "res132");
  LocalizeWidgetCaptions(*form, kEnglish);

  EXPECT_EQ(form->windowTitle(), "Configuration");
  EXPECT_EQ(form->TabStrip1->tabText(0), "Mailboxes");
  EXPECT_EQ(form->TabStrip1->tabText(1), "General 1");
  EXPECT_EQ(form->TabStrip1->tabText(2), "General 2");
  EXPECT_EQ(FrameTitle(*form, "Frame2"), "Mailbox");
  EXPECT_EQ(LabelText(*form, "Label5"), "Mailboxname:");
  EXPECT_EQ(LabelText(*form, "Label1"), "Username:");
  EXPECT_EQ(LabelText(*form, "Label2"), "Password:");
  EXPECT_EQ(LabelText(*form, "Label3"), "Mailserver:");
  EXPECT_EQ(LabelText(*form, "Label4"), "Serverport:");
  EXPECT_EQ(LabelText(*form, "Label6"), "Enabled:");
  EXPECT_EQ(LabelText(*form, "Label10"), "Advanced Function (only for Singleuser):");
  EXPECT_EQ(FrameTitle(*form, "Frame6"), "Interval");
  EXPECT_EQ(LabelText(*form, "Label7"), "Interval:");
  EXPECT_EQ(FrameTitle(*form, "Frame5"), "Tray Icon");
  EXPECT_EQ(form->chkAdvancedTrayIcon->text(), "Advanced Function");
  EXPECT_EQ(FrameTitle(*form, "Frame3"), "Double Click Options");
  EXPECT_EQ(form->chkPlaySound->text(), "Play Sound");
  EXPECT_EQ(form->chkPopUpWindow->text(), "Pop Up Window");
  EXPECT_EQ(form->chkReplaySound->text(), "Replay Sound");
  EXPECT_EQ(form->chkRunMailReader->text(), "Run Mail Reader");
  EXPECT_EQ(form->cmdBrowseSound->text(), "Browse");
  EXPECT_EQ(FrameTitle(*form, "Frame1"), "Mail Program");
  EXPECT_EQ(form->cmdBrowseMailProgram->text(), "Browse");
  EXPECT_EQ(FrameTitle(*form, "Frame7"), "Only for MDaemon Intranet Mailserver");
  EXPECT_EQ(form->chkMDaemonActivate->text(), "Activate MDaemon function");
  EXPECT_EQ(LabelText(*form, "Label9"), "MDaemon AppPath n(UNC):");
  EXPECT_EQ(form->cmdMDaemonBrowse->text(), "Browse");
  EXPECT_EQ(form->cmdOk->text(), "Ok");

  ASSERT_EQ(form->cmbDoubleClick->count(), 3);
  EXPECT_EQ(form->cmbDoubleClick->itemText(0), "[Run Mailreader]");
  EXPECT_EQ(form->cmbDoubleClick->itemText(1), "[Show Status]");
  EXPECT_EQ(form->cmbDoubleClick->itemText(2), "[Check Mail]");
  EXPECT_EQ(form->cmbDoubleClick->currentIndex(), -1);
}

TEST_F(CaptionsTest, ConfigurationDialogInGerman) {
  std::unique_ptr<frmConfig> form = MakeConfig();
  LocalizeWidgetCaptions(*form, kGerman);
  EXPECT_EQ(form->windowTitle(), "Konfiguration");
  EXPECT_EQ(form->TabStrip1->tabText(0), QString::fromUtf8("Postfächer"));
  EXPECT_EQ(FrameTitle(*form, "Frame2"), "Postfach");
  EXPECT_EQ(LabelText(*form, "Label2"), "Kennwort:");
  EXPECT_EQ(LabelText(*form, "Label10"),
            QString::fromUtf8("Erweiterte Funktion (nur für Einzelbenutzer empfehlenswert):"));
  EXPECT_EQ(form->chkPlaySound->text(), "Spiele Musik");
  EXPECT_EQ(form->chkReplaySound->text(), "Wiederhole Musik");
  EXPECT_EQ(form->cmdMDaemonBrowse->text(), "Suchen");
  EXPECT_EQ(FrameTitle(*form, "Frame7"), QString::fromUtf8("Nur für MDaemon Intranet Mailserver"));
  EXPECT_EQ(FrameTitle(*form, "Frame4"), "Benachritigungsoptionen");
  EXPECT_EQ(form->cmbDoubleClick->itemText(0), "[Starte Mailprogramm]");
  EXPECT_EQ(form->cmbDoubleClick->itemText(1), "[Zeige Statusfenster]");
  EXPECT_EQ(form->cmbDoubleClick->itemText(2), QString::fromUtf8("[Überprüfe Mails]"));
  EXPECT_EQ(form->cmbDoubleClick->currentIndex(), -1);
}

TEST_F(CaptionsTest, FixedTextsStayInEveryLanguage) {
  for (int16_t base : {kEnglish, kGerman}) {
    std::unique_ptr<frmConfig> form = MakeConfig();
    LocalizeWidgetCaptions(*form, base);
    EXPECT_EQ(LabelText(*form, "Label8"), "min.");
    for (int i = 0; i < kUserMailboxes; ++i) {
      EXPECT_EQ(form->Option1[static_cast<std::size_t>(i)]->text(), QString::number(i + 1));
    }
    EXPECT_TRUE(form->chkEnabled->text().isEmpty());
  }
}

TEST_F(CaptionsTest, ComboEndsWithoutSelectionEvenWhenOneWasSelected) {
  std::unique_ptr<frmConfig> form = MakeConfig();
  form->cmbDoubleClick->setCurrentIndex(2);
  LocalizeWidgetCaptions(*form, kEnglish);
  EXPECT_EQ(form->cmbDoubleClick->currentIndex(), -1);
  EXPECT_EQ(form->cmbDoubleClick->itemText(2), "[Check Mail]");
}

TEST_F(CaptionsTest, LoadingTheDialogSelectsTheDoubleClickActionAfterLocalizing) {
  state_.General.DoubleClick = 1;
  std::unique_ptr<frmConfig> form = MakeConfig();
  form->Form_Load();
  EXPECT_EQ(form->cmbDoubleClick->currentIndex(), 1);
  EXPECT_EQ(form->cmbDoubleClick->currentText(), "[Show Status]");
}

TEST_F(CaptionsTest, AboutWindowTitle) {
  const struct {
    int16_t Base;
    const char* Title;
  } cases[] = {{kEnglish, "About ..."}, {kGerman, "Info ..."}, {1600, "Informazioni su …"}};
  for (const auto& c : cases) {
    frmInfo info(c.Base);
    EXPECT_EQ(info.windowTitle(), "res133");
    info.Form_Load();
    EXPECT_EQ(info.windowTitle(), QString::fromUtf8(c.Title));
    // The version line is no caption: the same in every language.
    EXPECT_EQ(info.Label2->text().toStdString(), ProgramVersionLine());
  }
}

TEST_F(CaptionsTest, DescriptionFollowsTheWidgetKinds) {
  std::unique_ptr<frmConfig> form = MakeConfig();
  const Form described = DescribeCaptions(*form);
  EXPECT_EQ(described.Name, "frmConfig");
  EXPECT_EQ(described.Caption, "res132");
  int tabStrips = 0;
  int combos = 0;
  int menus = 0;
  for (const Control& control : described.Controls) {
    if (control.Kind == ControlKind::TabStrip) {
      ++tabStrips;
      EXPECT_EQ(control.Tabs, (std::vector<std::string>{"res101", "res110", "res126"}));
    }
    if (control.Kind == ControlKind::ComboBox) {
      ++combos;
      // The security, protocol and sign-in lists take their entries from the own table when
      // the dialog loads.
      if (control.Name == "cmbDoubleClick") {
        EXPECT_EQ(control.Items, (std::vector<std::string>{"res122", "res123", "res124"}));
      } else {
        EXPECT_TRUE(control.Name == "cmbSecurity" || control.Name == "cmbProtocol" ||
                    control.Name == "cmbAuth")
            << control.Name;
      }
    }
    if (control.Kind == ControlKind::Menu) ++menus;
    if (control.Name.rfind("Option1_", 0) == 0) {
      EXPECT_EQ(control.Kind, ControlKind::Other);
    }
  }
  EXPECT_EQ(tabStrips, 1);
  EXPECT_EQ(combos, 4);
  EXPECT_EQ(menus, 0);
}

// ---- Captions fit their controls at the fixed places, in every language and scale

// One caption that runs past the room its control gives it.
struct Overflow {
  QString Control;
  QString Text;
  int Needed;
  int Available;
};

std::string Describe(const std::vector<Overflow>& overflows) {
  std::string out;
  for (const Overflow& o : overflows) {
    out += "  " + o.Control.toStdString() + " \"" + o.Text.toStdString() + "\" needs " +
           std::to_string(o.Needed) + " px, has " + std::to_string(o.Available) + "\n";
  }
  return out;
}

// The advance and one pixel for the last glyph's overhang.
int TextWidth(const QWidget& widget, const QString& text) {
  return qCeil(QFontMetricsF(widget.font()).horizontalAdvance(text)) + 1;
}

// Word-wrapped text: the height it takes at that width, or 0 when a single word is wider.
int WrappedHeight(const QWidget& widget, const QString& text, int width) {
  const QFontMetrics metrics(widget.font());
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (metrics.horizontalAdvance(word) > width) return 0;
  }
  return metrics.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, text).height();
}

std::vector<Overflow> CaptionOverflows(QWidget& window) {
  std::vector<Overflow> found;
  auto report = [&found](const QWidget& w, const QString& text, int needed, int available) {
    if (needed > available) found.push_back({w.objectName(), text, needed, available});
  };
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text().isEmpty()) continue;
      const QRect contents = label->contentsRect();
      const int room = std::min(contents.right() + 1, VisibleRight(*label)) - contents.left();
      if (label->wordWrap()) {
        const int height = WrappedHeight(*label, label->text(), room);
        report(*label, label->text(), height == 0 ? contents.height() + 1 : height,
               contents.height());
      } else {
        report(*label, label->text(), TextWidth(*label, label->text()), room);
      }
    } else if (auto* box = qobject_cast<QAbstractButton*>(widget);
               box != nullptr && qobject_cast<QPushButton*>(widget) == nullptr) {
      if (box->text().isEmpty()) continue;
      QStyleOptionButton option;
      option.initFrom(box);
      option.text = box->text();
      const bool radio = qobject_cast<QRadioButton*>(box) != nullptr;
      const QRect contents = box->style()->subElementRect(
          radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, box);
      const int room = VisibleRight(*box) - contents.left();
      if (qobject_cast<WrappingCheckBox*>(box) != nullptr) {
        const int height = WrappedHeight(*box, box->text(), room);
        report(*box, box->text(), height == 0 ? box->height() + 1 : height, box->height());
      } else {
        report(*box, box->text(), TextWidth(*box, box->text()), room);
      }
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      const QRect contents =
          button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
      const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
      report(*button, button->text(), TextWidth(*button, button->text()) + margin,
             contents.width());
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
      if (frame->title().isEmpty()) continue;
      QStyleOptionGroupBox option;
      option.initFrom(frame);
      option.text = frame->title();
      option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
      const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, frame);
      // The title's text from where it starts to where the frame ends, less the frame line.
      report(*frame, frame->title(), TextWidth(*frame, frame->title()),
             VisibleRight(*frame) - label.left() - 2);
    } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
      QTabBar* bar = tabs->tabBar();
      for (int i = 0; i < bar->count(); ++i) {
        const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
        report(*tabs, bar->tabText(i), TextWidth(*bar, bar->tabText(i)) + space / 2,
               bar->tabRect(i).width());
      }
      report(*tabs, QStringLiteral("(all tabs)"), bar->sizeHint().width(), tabs->width());
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      QStyleOptionComboBox option;
      option.initFrom(combo);
      const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, combo);
      for (int i = 0; i < combo->count(); ++i) {
        report(*combo, combo->itemText(i), TextWidth(*combo, combo->itemText(i)), field.width());
      }
    }
  }
  return found;
}

class CaptionFitTest : public CaptionsTest, public testing::WithParamInterface<int16_t> {};

TEST_P(CaptionFitTest, ConfigurationDialogCaptionsFitTheirControls) {
  state_.LanguageBase = GetParam();
  std::unique_ptr<frmConfig> form = MakeConfig();
  form->Form_Load();
  for (int tab = 0; tab < 3; ++tab) {
    form->ShowTab(tab);
    form->grab();  // lays out and polishes as a real showing does
  }
  // The scaled runs really draw scaled.
  EXPECT_DOUBLE_EQ(form->devicePixelRatioF(),
                   qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
  const std::vector<Overflow> overflows = CaptionOverflows(*form);
  EXPECT_TRUE(overflows.empty()) << "language " << GetParam() << " at scale "
                                 << qgetenv("QT_SCALE_FACTOR").toStdString() << ":\n"
                                 << Describe(overflows);
}

TEST_P(CaptionFitTest, AboutWindowCaptionsFitTheirControls) {
  frmInfo info(GetParam());
  info.Form_Load();
  info.grab();
  const std::vector<Overflow> overflows = CaptionOverflows(info);
  EXPECT_TRUE(overflows.empty()) << "language " << GetParam() << ":\n" << Describe(overflows);
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, CaptionFitTest,
                         testing::Values<int16_t>(300, 700, 900, 1000, 1600, 1900),
                         [](const testing::TestParamInfo<int16_t>& info) {
                           return "Lang" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
