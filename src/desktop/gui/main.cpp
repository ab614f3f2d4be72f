// Postvane: a POP3 mail checker in the notification area. Wires things together, nothing more.
#include <QApplication>
#include <QLocale>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui/image_transfer.h"
#include "desktop/gui/qt_pickers.h"
#include "desktop/net/event_loop_choice.h"
#include "desktop/net/language_id.h"
#include "desktop/net/qt_path_probe.h"
#include "desktop/net/qt_text.h"
#include "desktop/posix/process_guard.h"
#include "desktop/posix/single_instance_lock.h"
#include "settings/settings_place.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace {

constexpr int kTrayGraceMs = 3000;

}  // namespace

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

  std::vector<std::string> arguments;
  const QStringList given = QApplication::arguments();
  for (qsizetype i = 1; i < given.size(); ++i) arguments.push_back(postvane::ToStd(given[i]));
  postvane::QtPathProbe probe;
  const postvane::ChosenPaths chosen =
      postvane::ChooseProgramPaths(postvane::ToStd(QApplication::applicationDirPath()),
                                   postvane::SettingsFileArgument(arguments), probe);

  postvane::QtPickers pickers;
  postvane::DesktopProgram program(chosen.Paths, pickers);
  // Exit ends the program at once: no window closes, so nothing is saved.
  program.MainWindow().SetExitHandler([] { std::_Exit(EXIT_SUCCESS); });
  program.StartUp(postvane::WindowsLanguageId(QLocale::system().language()));
  // A panel started with the same session may take a moment to claim its place.
  QTimer::singleShot(kTrayGraceMs, &program.MainWindow(), [&program] {
    program.CheckNotificationArea(QSystemTrayIcon::isSystemTrayAvailable(), std::cerr);
  });
  return QApplication::exec();
}
