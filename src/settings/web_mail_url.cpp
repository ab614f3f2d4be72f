// The https-only rule for web mail addresses.
#include "settings/web_mail_url.h"

#include <cctype>
#include <string_view>

namespace postvane {

bool UsableWebMailUrl(const std::string& url) {
  constexpr std::string_view kScheme = "https://";
  if (url.size() <= kScheme.size() || url.size() > kLongestWebMailUrl) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  // A host must follow: not a path, query or user part straight away.
  const char first = url[kScheme.size()];
  return first != '/' && first != '?' && first != '#' && first != '@' && first != ':';
}

}  // namespace postvane
