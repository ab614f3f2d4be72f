// The user's choice first (HKCU), then the machine's (HKLM); each read again when asked, as
// the user may choose another client while we run.
#include "win32/win32_default_mail_client.h"

#include <windows.h>

#include <optional>
#include <string>

#include "win32/wide_text.h"

namespace postvane {

namespace {

constexpr wchar_t kClients[] = L"Software\\Clients\\Mail";

// A key's text value (the default one for an empty name), environment strings expanded.
std::optional<std::wstring> ReadText(HKEY root, const std::wstring& key, const wchar_t* name) {
  DWORD bytes = 0;
  // REG_EXPAND_SZ values come back expanded, as REG_SZ; asking for that type itself as well
  // would make the call fail (it is only allowed together with RRF_NOEXPAND).
  const DWORD flags = RRF_RT_REG_SZ;
  if (RegGetValueW(root, key.c_str(), name, flags, nullptr, nullptr, &bytes) != ERROR_SUCCESS ||
      bytes < sizeof(wchar_t)) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, key.c_str(), name, flags, nullptr, value.data(), &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  if (value.empty()) return std::nullopt;
  return value;
}

struct Client {
  std::wstring Name;
  std::wstring Command;
};

std::optional<Client> FindClient() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::optional<std::wstring> name = ReadText(root, kClients, nullptr);
    if (!name) continue;
    const std::wstring key = std::wstring(kClients) + L"\\" + *name;
    // The client's own key is the machine's (or, for a per-user install, the user's).
    for (HKEY owner : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      const std::optional<std::wstring> command =
          ReadText(owner, key + L"\\shell\\open\\command", nullptr);
      if (!command) continue;
      const std::optional<std::wstring> shown = ReadText(owner, key, nullptr);
      return Client{shown ? *shown : *name, *command};
    }
  }
  return std::nullopt;
}

}  // namespace

std::string Win32DefaultMailClient::Name() {
  const std::optional<Client> client = FindClient();
  return client ? Narrow(client->Name) : std::string();
}

bool Win32DefaultMailClient::Start() {
  const std::optional<Client> client = FindClient();
  return client && starter_.StartDetached(Narrow(client->Command));
}

}  // namespace postvane
