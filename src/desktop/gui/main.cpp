// Postvane: a POP3 mail checker in the notification area. Wires things together, nothing more.
#include <QApplication>
#include <QLocale>
#include <cstdlib>
#include <iostream>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui/image_transfer.h"
#include "desktop/gui/qt_pickers.h"
#include "desktop/net/event_loop_choice.h"
#include "desktop/net/language_id.h"
#include "desktop/net/qt_text.h"
#include "desktop/posix/process_guard.h"
#include "desktop/posix/single_instance_lock.h"
#include "text/own_text.h"
#include "text/string_table.h"

int main(int argc, char* argv[]) {
  // Before a password is read: a core file would hold it in clear.
  postvane::ForbidCoreDumps();

  // A second instance ends here, before it opens the display or reads a setting.
  const postvane::SingleInstanceLock lock;
  if (lock.Result() != postvane::SingleInstanceLock::Outcome::Held) {
    const uint16_t languageId = postvane::WindowsLanguageId(QLocale::system().language());
    const auto languageBase = static_cast<int16_t>(postvane::SelectLanguage(languageId) * 100);
    if (lock.AnotherInstanceRunning()) {
      std::cerr << "postvane: "
                << postvane::OwnString(languageBase, postvane::OwnText::AlreadyRunning) << '\n';
      return EXIT_SUCCESS;
    }
    std::cerr << "postvane: "
              << postvane::OwnString(languageBase, postvane::OwnText::InstanceLockUnavailable)
              << '\n';
  }

  postvane::ChooseEventLoop();
  postvane::ChooseImageTransfer();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Postvane"));
  QApplication::setQuitOnLastWindowClosed(false);

  postvane::QtPickers pickers;
  postvane::DesktopProgram program(postvane::ToStd(QApplication::applicationDirPath()), pickers);
  // Exit ends the program at once: no window closes, so nothing is saved.
  program.MainWindow().SetExitHandler([] { std::_Exit(EXIT_SUCCESS); });
  program.StartUp(postvane::WindowsLanguageId(QLocale::system().language()));
  return QApplication::exec();
}
