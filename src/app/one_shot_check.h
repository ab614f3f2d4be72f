// The one-shot check from the command line, the same for every front end: the arguments, the
// settings file and its pre-check, the engine on the platform's adapters, the run and its end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ports/charset_converter.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/http_client.h"
#include "ports/secret_store.h"
#include "ports/socket.h"
#include "ports/timer.h"
#include "settings/settings_place.h"

namespace postvane {

// What a command-line program brings of its platform.
struct OneShotPlatform {
  std::vector<std::string> Arguments;  // after the program name, as UTF-8
  int UserLanguageId = 0x0409;         // a Windows language id
  // Where the settings file and the receive log are, given the --settings value if any.
  std::function<ChosenPaths(const std::optional<std::string>& settingsFile)> ChoosePaths;
  FileSystem& Files;
  Socket& ServerSocket;
  Clock& SystemClock;
  const CharsetConverter* Charsets = nullptr;  // null: the built-in character sets only
  SecretStore* Secrets = nullptr;              // null: no keyring
  HttpClient* Http = nullptr;                  // null: OAuth mailboxes cannot sign in
  // A timer that ticks every `milliseconds` once started.
  std::function<std::unique_ptr<Timer>(int milliseconds)> MakeTimer;
  // Delivers the platform's events until `finished` is true; `Quit` ends that early.
  std::function<void(const std::function<bool()>& finished)> RunEvents;
  std::function<void()> Quit;
  // The value of kReplyTimeoutVariable, or null when it is not set.
  const char* ReplyTimeoutSetting = nullptr;
  // Another socket for each push watch of --watch; empty: --watch polls only.
  std::function<std::unique_ptr<Socket>()> MakeSocket;
  // Called once before a --watch run's events: from then on SIGTERM, Ctrl+C and the like
  // call Quit rather than end the process. May be empty.
  std::function<void()> QuitOnSignals;
};

// Runs the check the arguments ask for and returns the program's exit status. The report goes
// to `out`, usage errors and trouble with the settings file to `err`. With --watch it runs
// until `Quit` ends the platform's events (the front end calls it on SIGTERM or Ctrl+C) and
// returns 0.
int RunOneShotCheck(const OneShotPlatform& platform, std::ostream& out, std::ostream& err);

}  // namespace postvane
