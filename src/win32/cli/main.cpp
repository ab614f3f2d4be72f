// postvane-check.exe: one check cycle over the mailboxes of a settings file, printed, then exit.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <iostream>
#include <string>
#include <vector>

#include "app/check_finish.h"
#include "app/check_options.h"
#include "app/check_report.h"
#include "app/check_run.h"
#include "app/program_paths.h"
#include "app/program_state.h"
#include "check/silent_server_guard.h"
#include "settings/settings_store.h"
#include "text/own_text.h"
#include "text/string_table.h"
#include "win32/credential_store.h"
#include "win32/program_folder.h"
#include "win32/settings_location.h"
#include "win32/user_language.h"
#include "win32/win32_charset_converter.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_socket.h"
#include "win32/win32_timer.h"

int main() {
  using namespace postvane;
  // The report is UTF-8 with line feeds, byte for byte as on every other system; the console
  // shows it as such.
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  const ParsedArguments parsed = ParseCheckArguments(CommandArguments());
  if (!parsed.Error.empty()) {
    std::cerr << parsed.Error << '\n';
    return kExitUsage;
  }
  const CheckOptions& options = parsed.Options;
  if (options.Help) {
    std::cout << CheckUsage() << std::flush;
    return 0;
  }

  ProgramState state;
  // The receive log goes beside the settings file it belongs to.
  state.Paths = ChooseWindowsPaths(ExecutableFolder(), options.SettingsFile).Paths;

  const int16_t language = SelectLanguage(static_cast<int16_t>(UserLanguageId()));
  const auto languageBase = static_cast<int16_t>(language * 100);
  if (options.Version) {
    std::cout << CheckVersionLine() << '\n'
              << SettingsFileLine(languageBase, state.Paths.SettingsFile) << '\n'
              << std::flush;
    return 0;
  }
  Win32FileSystem files;
  SettingsStore settings(files, state.Paths.SettingsFile, state.Paths.DefaultSoundFile);
  CredentialStore secrets;
  settings.UseSecretStore(&secrets);
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
  Win32Socket winSocket;
  Win32Timer replyTimeout(kReplyTimeoutMs);
  SilentServerGuard socket(winSocket, replyTimeout, [languageBase] {
    return OwnString(languageBase, OwnText::NoAnswerFromServer);
  });
  Win32Timer timeout(kConnectTimeoutMs);
  Win32Timer timerQuit(kQuitWaitMs);
  Win32Timer deadline(options.TimeoutSeconds * 1000);
  Win32Clock clock;
  Win32CharsetConverter charsets;
  CheckRun run(state, socket, timeout, timerQuit, deadline, clock, files, settings);
  run.Engine().SetCharsetConverter(charsets);
  run.SetFinishedHandler([] { PostQuitMessage(0); });

  run.Start(options.Mailboxes, languageBase);
  MSG message;
  while (!run.Finished() && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  return FinishCheck(run, state, options, languageBase, std::cout, std::cerr);
}
