// postvane-check: one check cycle over the mailboxes of a settings file, printed, then exit.
#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <iostream>
#include <string>
#include <vector>

#include "app/check_finish.h"
#include "app/check_options.h"
#include "app/check_report.h"
#include "app/check_run.h"
#include "app/program_paths.h"
#include "app/program_state.h"
#include "app/settings_place.h"
#include "check/silent_server_guard.h"
#include "desktop/net/event_loop_choice.h"
#include "desktop/net/keychain_secret_store.h"
#include "desktop/net/language_id.h"
#include "desktop/net/qt_charset_converter.h"
#include "desktop/net/qt_clock.h"
#include "desktop/net/qt_path_probe.h"
#include "desktop/net/qt_socket.h"
#include "desktop/net/qt_text.h"
#include "desktop/net/qt_timer.h"
#include "desktop/net/reply_timeout.h"
#include "desktop/posix/posix_file_system.h"
#include "desktop/posix/process_guard.h"
#include "settings/settings_store.h"
#include "text/own_text.h"
#include "text/string_table.h"

int main(int argc, char** argv) {
  using namespace postvane;
  // Before a password is read: a core file would hold it in clear.
  ForbidCoreDumps();
  ChooseEventLoop();
  QCoreApplication app(argc, argv);

  std::vector<std::string> arguments;
  const QStringList given = QCoreApplication::arguments();
  for (qsizetype i = 1; i < given.size(); ++i) arguments.push_back(ToStd(given[i]));
  const ParsedArguments parsed = ParseCheckArguments(arguments);
  if (!parsed.Error.empty()) {
    std::cerr << parsed.Error << '\n';
    return kExitUsage;
  }
  const CheckOptions& options = parsed.Options;
  if (options.Help) {
    std::cout << CheckUsage() << std::flush;
    return 0;
  }

  const int16_t languageBase =
      static_cast<int16_t>(SelectLanguage(WindowsLanguageId(QLocale::system().language())) * 100);
  // Found as the tray program finds it, so both work on the same file.
  QtPathProbe probe;
  const ChosenPaths chosen = ChooseProgramPaths(ToStd(QCoreApplication::applicationDirPath()),
                                                options.SettingsFile, probe);
  if (options.Version) {
    std::cout << CheckVersionLine() << '\n'
              << SettingsFileLine(languageBase, chosen.Paths.SettingsFile) << '\n'
              << std::flush;
    return 0;
  }

  if (chosen.FolderFailed) {
    std::cerr << "postvane-check: cannot make the settings folder of " << chosen.Paths.SettingsFile
              << " private to its owner\n";
  }
  ProgramState state;
  state.Paths = chosen.Paths;

  PosixFileSystem files;
  SettingsStore settings(files, state.Paths.SettingsFile, state.Paths.DefaultSoundFile);
  if (!files.IsPlainFile(state.Paths.SettingsFile)) {
    std::cerr << "postvane-check: no settings file " << state.Paths.SettingsFile
              << "; no mailbox to check\n";
  } else if (!settings.HasMailboxSection()) {
    // A file in an encoding or layout we cannot read must not pass for "no new mail".
    std::cerr << "postvane-check: " << state.Paths.SettingsFile << ": "
              << OwnString(languageBase, OwnText::NoMailboxSection) << '\n';
    return kExitFailed;
  }
#ifdef POSTVANE_HAVE_KEYCHAIN
  // Passwords kept in the keyring are read from it, as the tray program does.
  KeychainSecretStore secrets;
  settings.UseSecretStore(&secrets);
#endif
  TidySettingsFile(settings, options);
  QtSocket qtSocket;
  QtTimer replyTimeout(ReplyTimeoutMs());
  SilentServerGuard socket(qtSocket, replyTimeout, [languageBase] {
    return OwnString(languageBase, OwnText::NoAnswerFromServer);
  });
  QtTimer timeout(kConnectTimeoutMs);
  QtTimer timerQuit(kQuitWaitMs);
  QtTimer deadline(options.TimeoutSeconds * 1000);
  QtClock clock;
  const QtCharsetConverter charsets;  // outlives the run that uses it
  CheckRun run(state, socket, timeout, timerQuit, deadline, clock, files, settings);
  run.Engine().SetCharsetConverter(charsets);
  run.SetFinishedHandler([] { QCoreApplication::quit(); });

  run.Start(options.Mailboxes, languageBase);
  if (!run.Finished()) QCoreApplication::exec();

  return FinishCheck(run, state, options, languageBase, std::cout, std::cerr);
}
