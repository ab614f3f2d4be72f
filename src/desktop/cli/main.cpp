// postvane-check: one check cycle over the mailboxes of a settings file, printed, then exit.
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <iostream>
#include <string>
#include <vector>

#include "app/check_options.h"
#include "app/check_report.h"
#include "app/check_run.h"
#include "app/program_paths.h"
#include "app/program_state.h"
#include "check/silent_server_guard.h"
#include "desktop/net/event_loop_choice.h"
#include "desktop/net/language_id.h"
#include "desktop/net/qt_charset_converter.h"
#include "desktop/net/qt_clock.h"
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
  if (options.Version) {
    std::cout << CheckVersionLine() << '\n' << std::flush;
    return 0;
  }

  ProgramState state;
  state.Paths = MakeProgramPaths(ToStd(QCoreApplication::applicationDirPath()));
  if (options.SettingsFile) {
    // The receive log goes beside the settings file it belongs to; by default both are
    // beside the program, as for the tray program.
    state.Paths.SettingsFile = *options.SettingsFile;
    const QString file = QString::fromUtf8(options.SettingsFile->data(),
                                           static_cast<qsizetype>(options.SettingsFile->size()));
    state.Paths.ReceiveLog = JoinPath(ToStd(QFileInfo(file).absolutePath()), "receive.log");
  }

  const int16_t language = SelectLanguage(WindowsLanguageId(QLocale::system().language()));
  const auto languageBase = static_cast<int16_t>(language * 100);
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
  settings.RemoveLeftovers();
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

  const CheckReport report = MakeCheckReport(state, run.Listed(), run.Results());
  if (!options.Quiet) {
    std::cout << (options.Json ? RenderJsonReport(report) : RenderPlainReport(report))
              << std::flush;
  }
  if (options.Ack && !run.AcknowledgeNewMail()) {
    std::cerr << "postvane-check: " << state.Paths.SettingsFile << ": "
              << OwnString(languageBase, OwnText::AcknowledgementNotSaved) << '\n';
    return kExitNotSaved;
  }
  return CheckExitStatus(report);
}
