// The floor for the first tray icon: a Qt program that shows one tray icon and nothing else.
// Built by bench/compare.sh with the compiler alone; not part of the project's build.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::darkYellow);
  QSystemTrayIcon icon{QIcon(pixmap)};
  icon.show();
  return app.exec();
}
