// Command line of the one-shot check: options, usage text, version line and exit codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace postvane {

// Exit codes of postvane-check.
constexpr int kExitNewMail = 0;
constexpr int kExitNoNewMail = 1;
constexpr int kExitFailed = 2;
constexpr int kExitUsage = 64;
// As EX_IOERR: the check ran, but --ack could not save what it acknowledged.
constexpr int kExitNotSaved = 74;

constexpr int kDefaultRunSeconds = 60;
// A day at most: the deadline timer counts milliseconds in an int.
constexpr int kLongestRunSeconds = 86400;

struct CheckOptions {
  // Empty: the settings file beside the executable, as the tray program uses it.
  std::optional<std::string> SettingsFile;
  bool Json = false;
  bool Ack = false;
  bool Quiet = false;
  bool Help = false;
  bool Version = false;
  // Stay running: checks at the interval, push where offered, a line per changed count.
  bool Watch = false;
  // Ascending, without repeats. Empty: every enabled mailbox.
  std::vector<int16_t> Mailboxes;
  int TimeoutSeconds = kDefaultRunSeconds;
};

struct ParsedArguments {
  CheckOptions Options;
  // One line without a line break; empty when the arguments were understood.
  std::string Error;
};

// Arguments without the program name. "--name value" and "--name=value" both work.
ParsedArguments ParseCheckArguments(const std::vector<std::string>& arguments);

// The --help text, lines ending in "\n".
std::string CheckUsage();

// "postvane-check" and the version number, e.g. "postvane-check 2.10.3"
std::string CheckVersionLine();

// The second line of --version: which settings file a run would use, in the user's language.
std::string SettingsFileLine(int16_t languageBase, const std::string& settingsFile);

}  // namespace postvane
