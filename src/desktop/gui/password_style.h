// A style that masks password characters with "*" whatever the desktop's style uses.
#pragma once

#include <QProxyStyle>

namespace postvane {

class PasswordStyle : public QProxyStyle {
  Q_OBJECT

 public:
  using QProxyStyle::QProxyStyle;

  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;
};

}  // namespace postvane
