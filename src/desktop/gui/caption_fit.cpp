// Fits by measuring with the font metrics and the style's own geometry of each kind of control.
#include "desktop/gui/caption_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QtMath>
#include <algorithm>
#include <optional>

#include "desktop/gui/wrapping_check_box.h"

namespace postvane {

namespace {

// From the window's font towards the smallest still read comfortably: narrower first, then
// smaller, ordered by how much narrower the text becomes.
struct FontStep {
  int Pixels;
  int Stretch;
};
constexpr FontStep kSteps[] = {{11, 100}, {11, 92}, {11, 85}, {10, 92},
                               {10, 85},  {9, 92},  {9, 85},  {9, 75}};


// The advance plus room for the last glyph's overhang, which the advance leaves out.
constexpr int kOverhang = 2;

int Width(const QFont& font, const QString& text) {
  return qCeil(QFontMetricsF(font).horizontalAdvance(text)) + kOverhang;
}

bool WrapsInto(const QFont& font, const QString& text, int width, int height) {
  const QFontMetrics metrics(font);
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (metrics.horizontalAdvance(word) + kOverhang > width) return false;
  }
  return metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text).height() <=
         height;
}

// Whether the widget's captions fit with that font; nullopt for a widget without a caption.
std::optional<bool> Fits(QWidget& widget, const QFont& font) {
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    if (label->text().isEmpty()) return std::nullopt;
    const QRect contents = label->contentsRect();
    const int room = std::min(contents.right() + 1, VisibleRight(*label)) - contents.left();
    if (label->wordWrap()) return WrapsInto(font, label->text(), room, contents.height());
    return Width(font, label->text()) <= room;
  }
  if (auto* button = qobject_cast<QPushButton*>(&widget)) {
    if (button->text().isEmpty()) return std::nullopt;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    return Width(font, button->text()) + margin <= contents.width();
  }
  if (auto* box = qobject_cast<QAbstractButton*>(&widget)) {
    if (box->text().isEmpty()) return std::nullopt;
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const bool radio = qobject_cast<QRadioButton*>(box) != nullptr;
    const QRect contents = box->style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, box);
    const int room = VisibleRight(*box) - contents.left();
    if (qobject_cast<WrappingCheckBox*>(box) != nullptr) {
      return WrapsInto(font, box->text(), room, box->height());
    }
    return Width(font, box->text()) <= room;
  }
  if (auto* frame = qobject_cast<QGroupBox*>(&widget)) {
    if (frame->title().isEmpty()) return std::nullopt;
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, frame);
    return Width(font, frame->title()) <= VisibleRight(*frame) - label.left() - 2;
  }
  if (auto* bar = qobject_cast<QTabBar*>(&widget)) {
    const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
    int total = 0;
    for (int i = 0; i < bar->count(); ++i) total += Width(font, bar->tabText(i)) + space;
    const QWidget* owner = bar->parentWidget();
    return total <= (owner != nullptr ? owner->width() : bar->width());
  }
  if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    for (int i = 0; i < combo->count(); ++i) {
      if (Width(font, combo->itemText(i)) > field.width()) return false;
    }
    return combo->count() > 0 ? std::optional<bool>(true) : std::nullopt;
  }
  return std::nullopt;
}

// A label with room for more than one line takes them before its font changes.
bool TryWrapping(QWidget& widget) {
  auto* label = qobject_cast<QLabel*>(&widget);
  if (label == nullptr || label->wordWrap()) return false;
  if (label->contentsRect().height() < 2 * QFontMetrics(label->font()).lineSpacing()) return false;
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (Fits(*label, label->font()).value_or(true)) return true;
  label->setWordWrap(false);
  return false;
}

void Fit(QWidget& widget) {
  const QFont base = widget.font();
  const std::optional<bool> fits = Fits(widget, base);
  if (!fits.has_value() || *fits || TryWrapping(widget)) return;
  QFont font = base;
  for (const FontStep& step : kSteps) {
    font.setPixelSize(std::min(step.Pixels, base.pixelSize() > 0 ? base.pixelSize() : step.Pixels));
    font.setStretch(std::min(step.Stretch, base.stretch() > 0 ? base.stretch() : 100));
    if (Fits(widget, font).value_or(true)) break;
  }
  // The last step stays even when it is not enough: the smallest is the least cut.
  widget.setFont(font);
}

}  // namespace

int VisibleRight(const QWidget& control) {
  int right = control.width();
  const QWidget* parent = control.parentWidget();
  if (parent == nullptr) return right;
  const QRect own = control.geometry();
  for (const QObject* object : parent->children()) {
    const auto* other = qobject_cast<const QWidget*>(object);
    if (other == nullptr || other == &control || other->isWindow()) continue;
    const QRect rect = other->geometry();
    if (rect.top() < own.bottom() && rect.bottom() > own.top() && rect.left() > own.left() &&
        rect.left() < own.right()) {
      right = std::min(right, rect.left() - own.left());
    }
  }
  return right;
}

void FitCaptions(QWidget& window) {
  const QList<QWidget*> widgets = window.findChildren<QWidget*>();
  // Pin every font first: a frame's or a tab widget's narrower font must not pass on to the
  // controls inside it.
  for (QWidget* widget : widgets) {
    QFont font = widget->font();
    if (font.pixelSize() > 0) font.setPixelSize(font.pixelSize());
    font.setStretch(font.stretch() > 0 ? font.stretch() : 100);
    widget->setFont(font);
  }
  for (QWidget* widget : widgets) Fit(*widget);
}

}  // namespace postvane
