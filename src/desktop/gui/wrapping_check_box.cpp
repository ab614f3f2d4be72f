// Draws the indicator through the style and the caption as word-wrapped text beside it.
#include "desktop/gui/wrapping_check_box.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace postvane {

void WrappingCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();
  const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  QStyleOptionButton indicatorOption = option;
  indicatorOption.rect = indicator;
  painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicatorOption);

  const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
  QRect textRect = rect();
  textRect.setLeft(indicator.right() + 1 + spacing);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = painter.boundingRect(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                                      caption);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

bool WrappingCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

}  // namespace postvane
