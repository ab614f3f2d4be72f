// A check box whose caption wraps onto further lines when its box is tall enough.
#pragma once

#include <QCheckBox>

namespace postvane {

class WrappingCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  using QCheckBox::QCheckBox;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;
};

}  // namespace postvane
