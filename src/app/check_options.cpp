// Reading the command line of postvane-check.
#include "app/check_options.h"

#include <algorithm>
#include <string_view>

#include "check/mailbox_table.h"
#include "text/own_text.h"

namespace postvane {

namespace {

constexpr std::string_view kProgram = "postvane-check";

// Arguments are quoted back in error messages; a line break in one must not split the line.
std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    out.push_back(code < 0x20 || code == 0x7F ? '?' : c);
  }
  return out;
}

// Plain decimal digits only, within 0..limit; no sign, blanks or fraction.
std::optional<int> ReadBoundedNumber(std::string_view text, int limit) {
  if (text.empty()) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<int>(value);
}

}  // namespace

ParsedArguments ParseCheckArguments(const std::vector<std::string>& arguments) {
  ParsedArguments result;
  CheckOptions& options = result.Options;
  auto fail = [&result](const std::string& message) {
    result.Error = std::string(kProgram) + ": " + message + " (see --help)";
    return result;
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string name = argument;
    std::optional<std::string> value;
    if (argument.rfind("--", 0) == 0) {
      const std::size_t equals = argument.find('=');
      if (equals != std::string::npos) {
        name = argument.substr(0, equals);
        value = argument.substr(equals + 1);
      }
    }

    const bool takesValue = name == "--settings" || name == "--mailbox" || name == "--timeout";
    if (!takesValue) {
      if (value) return fail("option " + Printable(name) + " takes no value");
      if (name == "--json") {
        options.Json = true;
      } else if (name == "--ack") {
        options.Ack = true;
      } else if (name == "--quiet") {
        options.Quiet = true;
      } else if (name == "--help") {
        options.Help = true;
      } else if (name == "--version") {
        options.Version = true;
      } else if (name == "--watch") {
        options.Watch = true;
      } else if (name.rfind("-", 0) == 0) {
        return fail("unknown option " + Printable(name));
      } else {
        return fail("unexpected argument " + Printable(name));
      }
      continue;
    }

    if (!value) {
      if (i + 1 >= arguments.size()) return fail("option " + name + " needs a value");
      value = arguments[++i];
    }
    if (name == "--settings") {
      if (value->empty()) return fail("option --settings needs a file name");
      options.SettingsFile = *value;
    } else if (name == "--mailbox") {
      const std::optional<int> index = ReadBoundedNumber(*value, kUserMailboxes - 1);
      if (!index) return fail("mailbox index must be 0 to 9, not \"" + Printable(*value) + "\"");
      const auto mailbox = static_cast<int16_t>(*index);
      auto& list = options.Mailboxes;
      const auto at = std::lower_bound(list.begin(), list.end(), mailbox);
      if (at == list.end() || *at != mailbox) list.insert(at, mailbox);
    } else {
      const std::optional<int> seconds = ReadBoundedNumber(*value, kLongestRunSeconds);
      if (!seconds || *seconds == 0) {
        return fail("time limit must be 1 to " + std::to_string(kLongestRunSeconds) +
                    " seconds, not \"" + Printable(*value) + "\"");
      }
      options.TimeoutSeconds = *seconds;
    }
  }
  // A run that never ends has no end to acknowledge at, and printing nothing makes no watch.
  if (options.Watch && options.Ack) return fail("options --watch and --ack do not go together");
  if (options.Watch && options.Quiet) {
    return fail("options --watch and --quiet do not go together");
  }
  return result;
}

std::string CheckUsage() {
  return "Usage: postvane-check [--settings FILE] [--json] [--ack] [--mailbox N]... [--quiet]\n"
         "                      [--timeout SECONDS] [--watch]\n"
         "Checks the POP3 mailboxes once, prints what it found and exits.\n"
         "\n"
         "  --settings FILE     settings file (default: the tray program's Postvane.ini)\n"
         "  --json              print one JSON object instead of text\n"
         "  --ack               acknowledge the new mail found, as a click on the tray icon does\n"
         "  --mailbox N         check only mailbox N (0 to 9); may be repeated\n"
         "  --quiet             print nothing; only the exit status tells\n"
         "  --timeout SECONDS   end the run after this many seconds (default 60)\n"
         "  --watch             stay running: check at the interval, at once when an IMAP\n"
         "                      server reports new mail (IDLE), and print a line (with --json\n"
         "                      an object) each time a mailbox's new count changes\n"
         "  --help              print this text\n"
         "  --version           print the version and the settings file in use\n"
         "\n"
         "Exit status: 0 new mail, 1 no new mail, 2 a mailbox failed and none has new mail\n"
         "(or the settings file holds no mailbox), 64 usage error, 74 the acknowledgement\n"
         "could not be saved.\n";
}

std::string CheckVersionLine() {
  return std::string(kProgram) + " " + std::to_string(POSTVANE_VERSION_MAJOR) + "." +
         std::to_string(POSTVANE_VERSION_MINOR) + "." + std::to_string(POSTVANE_VERSION_PATCH);
}

std::string SettingsFileLine(int16_t languageBase, const std::string& settingsFile) {
  return OwnString(languageBase, OwnText::SettingsFile) + " " + settingsFile;
}

}  // namespace postvane
