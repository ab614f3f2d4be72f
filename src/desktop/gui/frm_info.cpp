// Positions in dialog units of 15 twips per pixel.
#include "desktop/gui/frm_info.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>

#include "desktop/gui/caption_fit.h"
#include "desktop/gui/form_look.h"
#include "desktop/gui/icon_library.h"
#include "desktop/gui/widget_captions.h"
#include "text/own_text.h"
#include "ui/version_line.h"

namespace postvane {

namespace {

// The logo stretched over its whole box.
class LogoImage : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    PaintLogo(painter, QRectF(rect()));
  }
};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int width,
                  int height) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(x, y, width, height);
  return label;
}

constexpr int kSettingsLineHeight = 18;

}  // namespace

frmInfo::frmInfo(int16_t languageBase, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      languageBase_(languageBase) {
  setObjectName(QStringLiteral("frmInfo"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("res133"));
  setWindowIcon(ProgramIcon(1));
  UseFormFont(*this);
  // One line below the frame for the settings file.
  setFixedSize(269, 157 + kSettingsLineHeight);

  // Dark ground, light text and line, whatever the desktop's colours are.
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::black);
  colours.setColor(QPalette::WindowText, Qt::white);
  colours.setColor(QPalette::Light, Qt::white);
  colours.setColor(QPalette::Dark, Qt::white);
  colours.setColor(QPalette::Mid, Qt::white);
  setPalette(colours);
  setAutoFillBackground(true);

  Frame1 = new QFrame(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setFrameShape(QFrame::Box);
  Frame1->setFrameShadow(QFrame::Plain);
  Frame1->setGeometry(7, 7, 254, 141);

  Picture1 = MakeLabel(Frame1, "Picture1", QString(), 7, 14, 32, 32);
  Picture1->setPixmap(IconPixmap(1, 32, devicePixelRatioF()));

  Image1 = new LogoImage(Frame1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(63, 21, 138, 23);

  Label2 =
      MakeLabel(Frame1, "Label2", QString::fromStdString(ProgramVersionLine()), 63, 49, 134, 15);
  Label3 = MakeLabel(Frame1, "Label3", QStringLiteral("\u00a9 1999"), 7, 70, 85, 15);

  Line1 = new QFrame(Frame1);
  Line1->setObjectName(QStringLiteral("Line1"));
  Line1->setFrameShape(QFrame::HLine);
  Line1->setFrameShadow(QFrame::Plain);
  Line1->setGeometry(7, 84, 242, 1);

  Label1 = MakeLabel(Frame1, "Label1", QStringLiteral("Postvane developers"), 7, 91, 247, 15);
  Label4 =
      MakeLabel(Frame1, "Label4", QStringLiteral("https://postvane.invalid/"), 7, 105, 239, 15);
  Label5 = MakeLabel(Frame1, "Label5", QStringLiteral("team@postvane.invalid"), 7, 119, 239, 15);

  SettingsFileLabel = MakeLabel(this, "SettingsFileLabel", QString(), 7, 152, 254, 15);
}

void frmInfo::ShowSettingsFile(const std::string& settingsFile) {
  const QString caption =
      QString::fromStdString(OwnString(languageBase_, OwnText::SettingsFile)) + QLatin1Char(' ');
  const QString path = QString::fromStdString(settingsFile);
  const QFontMetrics metrics = SettingsFileLabel->fontMetrics();
  // A long path keeps its start and its file name; the tool tip holds all of it.
  SettingsFileLabel->setText(caption + metrics.elidedText(path, Qt::ElideMiddle,
                                                          SettingsFileLabel->width() -
                                                              metrics.horizontalAdvance(caption)));
  SettingsFileLabel->setToolTip(path);
}

void frmInfo::Form_Load() {
  LocalizeWidgetCaptions(*this, languageBase_);
  FitCaptions(*this);
  Label2->setText(QString::fromStdString(ProgramVersionLine()));
}

}  // namespace postvane
