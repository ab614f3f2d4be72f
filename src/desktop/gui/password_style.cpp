// Only the password character differs from the base style.
#include "desktop/gui/password_style.h"

namespace postvane {

int PasswordStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
  if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '*';
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace postvane
