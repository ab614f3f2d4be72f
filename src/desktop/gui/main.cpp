// Postvane: a POP3 mail checker in the notification area. Wires things together, nothing more.
#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/check_options.h"
#include "app/tray_options.h"
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

int AnswerWithoutDisplay(int argc, char* argv[], postvane::TrayRequest request,
                         const std::vector<std::string>& arguments) {
  if (request == postvane::TrayRequest::Help) {
    std::cout << postvane::TrayUsage() << std::flush;
    return EXIT_SUCCESS;
  }
  // The settings file is found as a tray start would find it.
  QCoreApplication core(argc, argv);
  const uint16_t languageId = postvane::WindowsLanguageId(QLocale::system().language());
  const auto languageBase = static_cast<int16_t>(postvane::SelectLanguage(languageId) * 100);
  postvane::QtPathProbe probe;
  const postvane::ChosenPaths chosen =
      postvane::ChooseProgramPaths(postvane::ToStd(QCoreApplication::applicationDirPath()),
                                   postvane::SettingsFileArgument(arguments), probe);
  std::cout << postvane::TrayVersionLine() << '\n'
            << postvane::SettingsFileLine(languageBase, chosen.Paths.SettingsFile) << '\n'
            << std::flush;
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before a password is read: a core file would hold it in clear.
  postvane::ForbidCoreDumps();

  // --help and --version answer without a display: no platform plug-in, never the tray,
  // and beside a running instance too.
  std::vector<std::string> commandLine;
  for (int i = 1; i < argc; ++i) commandLine.emplace_back(argv[i]);
  if (const auto request = postvane::TrayArgumentsRequest(commandLine);
      request != postvane::TrayRequest::RunTray) {
    return AnswerWithoutDisplay(argc, argv, request, commandLine);
  }

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
