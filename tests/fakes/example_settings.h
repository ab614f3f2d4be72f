// A settings file as the Linux program writes it with every key away from its default: the
// general section, then ten mailboxes, the even ones with their password in the keyring and
// the odd ones with it in the file.
#pragma once

#include <string>

#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace postvane {

inline std::string ExampleSettingsFile() {
  const auto line = [](std::string_view key, std::string_view value) {
    return std::string(key) + "=" + std::string(value) + "\r\n";
  };
  std::string file = "[" + std::string(kGeneralSection) + "]\r\n";
  for (const SettingsKey& key : kGeneralKeys) file += line(key.Name, key.Example);
  for (int i = 0; i < 10; ++i) {
    file += "[MailBox" + std::to_string(i) + "]\r\n";
    const bool inFile = i % 2 != 0;
    for (const SettingsKey& key : kMailboxKeys) {
      if (inFile && key.Name == "PasswordInKeyring") continue;
      if (!inFile && key.Name == "OAuthRefreshToken") continue;
      if (inFile && key.Name == "OAuthRefreshToken") {
        file += line(key.Name, TransformPassword("1//0g-refresh." + std::string(1200, 'r') +
                                                 std::to_string(i)));
      } else if (inFile && key.Name == "Password") {
        file += line(key.Name, TransformPassword("p\xC3\xA4ss " + std::to_string(i)));
      } else {
        file += line(key.Name, key.Example);
      }
    }
  }
  return file;
}

}  // namespace postvane
