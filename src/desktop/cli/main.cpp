// postvane-check: one check cycle over the mailboxes of a settings file, printed, then exit;
// or, with --watch, checks that go on until a signal ends them.
#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/one_shot_check.h"
#include "check/silent_server_guard.h"
#include "desktop/net/event_loop_choice.h"
#include "desktop/net/keychain_secret_store.h"
#include "desktop/net/language_id.h"
#include "desktop/net/qt_charset_converter.h"
#include "desktop/net/qt_clock.h"
#include "desktop/net/qt_http_client.h"
#include "desktop/net/qt_path_probe.h"
#include "desktop/net/qt_socket.h"
#include "desktop/net/qt_text.h"
#include "desktop/net/qt_timer.h"
#include "desktop/net/termination_signals.h"
#include "desktop/posix/posix_file_system.h"
#include "desktop/posix/process_guard.h"
#include "settings/settings_place.h"

int main(int argc, char** argv) {
  using namespace postvane;
  // Before a password is read: a core file would hold it in clear.
  ForbidCoreDumps();
  ChooseEventLoop();
  QCoreApplication app(argc, argv);

  std::vector<std::string> arguments;
  const QStringList given = QCoreApplication::arguments();
  for (qsizetype i = 1; i < given.size(); ++i) arguments.push_back(ToStd(given[i]));

  QtPathProbe probe;
  PosixFileSystem files;
  QtSocket socket;
  QtClock clock;
  QtHttpClient http;
  const QtCharsetConverter charsets;
#ifdef POSTVANE_HAVE_KEYCHAIN
  KeychainSecretStore keyring;
  SecretStore* secrets = &keyring;
#else
  SecretStore* secrets = nullptr;
#endif
  const OneShotPlatform platform{
      .Arguments = std::move(arguments),
      .UserLanguageId = WindowsLanguageId(QLocale::system().language()),
      .ChoosePaths =
          [&probe](const std::optional<std::string>& settingsFile) {
            return ChooseProgramPaths(ToStd(QCoreApplication::applicationDirPath()), settingsFile,
                                      probe);
          },
      .Files = files,
      .ServerSocket = socket,
      .SystemClock = clock,
      .Charsets = &charsets,
      .Secrets = secrets,
      .Http = &http,
      .MakeTimer = [](int milliseconds) { return std::make_unique<QtTimer>(milliseconds); },
      .RunEvents =
          [](const std::function<bool()>& finished) {
            if (!finished()) QCoreApplication::exec();
          },
      .Quit = [] { QCoreApplication::quit(); },
      .ReplyTimeoutSetting = std::getenv(kReplyTimeoutVariable),
      .MakeSocket = [] { return std::make_unique<QtSocket>(); },
      .QuitOnSignals = [] { QuitOnTerminationSignals(); },
  };
  return RunOneShotCheck(platform, std::cout, std::cerr);
}
