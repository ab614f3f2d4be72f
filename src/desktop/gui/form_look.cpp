// Font and placement of the program's windows.
#include "desktop/gui/form_look.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace postvane {

void UseFormFont(QWidget& window) {
  QFont font = QApplication::font();
  font.setPixelSize(kFormFontPixels);
  window.setFont(font);
}

void CenterOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  QRect frame = window.frameGeometry();
  frame.moveCenter(area.center());
  window.move(frame.topLeft());
}

}  // namespace postvane
