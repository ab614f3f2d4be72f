// The mailto: handler of a freedesktop.org desktop, read from its text files.
#include "app/mailto_handler.h"

#include <sstream>

namespace postvane {

namespace {

constexpr char kMailtoType[] = "x-scheme-handler/mailto";

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Calls `keyValue(key, value)` for each line of the named group.
template <typename F>
void ForEachKey(const std::string& text, const std::string& group, F keyValue) {
  std::istringstream lines(text);
  std::string line;
  bool inGroup = false;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == "[" + group + "]";
      continue;
    }
    if (!inGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    keyValue(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
  }
}

// Desktop entry strings escape \s \n \t \r \\ .
std::string Unescape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        out += next;
        break;
    }
  }
  return out;
}

std::string LanguageCode(int16_t languageBase) {
  switch (languageBase) {
    case 300:
      return "ca";
    case 700:
      return "de";
    case 1000:
      return "es";
    case 1600:
      return "it";
    case 1900:
      return "nl";
    default:
      return "en";
  }
}

std::vector<std::string> SplitPaths(const std::string& list) {
  std::vector<std::string> paths;
  std::string item;
  std::istringstream in(list);
  while (std::getline(in, item, ':')) {
    // Relative entries are invalid in these variables and ignored.
    if (!item.empty() && item[0] == '/') paths.push_back(item);
  }
  return paths;
}

std::string WithDefault(PathProbe& environment, const char* name, const std::string& fallback) {
  const std::string value = environment.EnvironmentValue(name);
  return value.empty() ? fallback : value;
}

}  // namespace

std::vector<std::string> MailtoDefaults(const std::string& mimeappsText) {
  std::vector<std::string> ids;
  ForEachKey(mimeappsText, "Default Applications",
             [&](const std::string& key, const std::string& value) {
               if (key != kMailtoType) return;
               std::istringstream list(value);
               std::string id;
               while (std::getline(list, id, ';')) {
                 id = Trim(id);
                 if (!id.empty() && id.find('/') == std::string::npos) ids.push_back(id);
               }
             });
  return ids;
}

std::optional<std::vector<std::string>> ExecArguments(const std::string& exec,
                                                      const std::string& name,
                                                      const std::string& path) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  bool onlyFieldCode = false;  // the argument so far is a dropped field code
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        current += exec[++i];
      } else {
        current += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t') {
      if (inArgument && !(onlyFieldCode && current.empty())) arguments.push_back(current);
      current.clear();
      inArgument = false;
      onlyFieldCode = false;
      continue;
    }
    inArgument = true;
    if (c == '"') {
      quoted = true;
    } else if (c == '%' && i + 1 < exec.size()) {
      const char code = exec[++i];
      if (code == '%') {
        current += '%';
      } else if (code == 'c') {
        current += name;
      } else if (code == 'k') {
        current += path;
      } else {
        // %f %F %u %U %i and the deprecated codes: nothing to hand over.
        onlyFieldCode = current.empty();
      }
    } else if (c == '%') {
      return std::nullopt;
    } else {
      current += c;
    }
  }
  if (quoted) return std::nullopt;
  if (inArgument && !(onlyFieldCode && current.empty())) arguments.push_back(current);
  if (arguments.empty()) return std::nullopt;
  return arguments;
}

std::optional<DesktopEntry> ParseDesktopEntry(const std::string& text,
                                              const std::string& languageCode,
                                              const std::string& path) {
  std::string name;
  std::string localName;
  std::string exec;
  std::string type;
  bool hidden = false;
  const std::string localKey = "Name[" + languageCode + "]";
  ForEachKey(text, "Desktop Entry", [&](const std::string& key, const std::string& value) {
    if (key == "Name") name = Unescape(value);
    if (key == localKey) localName = Unescape(value);
    if (key == "Exec") exec = Unescape(value);
    if (key == "Type") type = value;
    if (key == "Hidden" && value == "true") hidden = true;
  });
  if (hidden || type != "Application" || exec.empty()) return std::nullopt;
  DesktopEntry entry;
  entry.Name = localName.empty() ? name : localName;
  entry.Path = path;
  auto arguments = ExecArguments(exec, entry.Name, path);
  if (!arguments) return std::nullopt;
  entry.Exec = std::move(*arguments);
  return entry;
}

std::optional<DesktopEntry> FindMailtoHandler(FileSystem& files, PathProbe& environment,
                                              int16_t languageBase) {
  const std::string home = environment.EnvironmentValue("HOME");
  const std::string configHome = WithDefault(environment, "XDG_CONFIG_HOME", home + "/.config");
  const std::string dataHome = WithDefault(environment, "XDG_DATA_HOME", home + "/.local/share");
  std::vector<std::string> dataDirs = {dataHome};
  for (const std::string& dir :
       SplitPaths(WithDefault(environment, "XDG_DATA_DIRS", "/usr/local/share:/usr/share"))) {
    dataDirs.push_back(dir);
  }

  std::vector<std::string> lists = {configHome + "/mimeapps.list"};
  for (const std::string& dir :
       SplitPaths(WithDefault(environment, "XDG_CONFIG_DIRS", "/etc/xdg"))) {
    lists.push_back(dir + "/mimeapps.list");
  }
  for (const std::string& dir : dataDirs) lists.push_back(dir + "/applications/mimeapps.list");

  const std::string language = LanguageCode(languageBase);
  for (const std::string& list : lists) {
    std::string text;
    if (!files.ReadFile(list, text)) continue;
    for (const std::string& id : MailtoDefaults(text)) {
      for (const std::string& dir : dataDirs) {
        const std::string path = dir + "/applications/" + id;
        std::string entryText;
        if (!files.ReadFile(path, entryText)) continue;
        if (auto entry = ParseDesktopEntry(entryText, language, path)) return entry;
        break;  // the first file of an id is the entry; a broken one is not replaced
      }
    }
  }
  return std::nullopt;
}

}  // namespace postvane
