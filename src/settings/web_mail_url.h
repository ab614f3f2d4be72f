// A mailbox's web mail address: only https, so opening it never sends the user anywhere in
// clear or to something that is no web page.
#pragma once

#include <string>

namespace postvane {

constexpr std::size_t kLongestWebMailUrl = 2048;

// "https://" (any case) and a host, no blanks or control characters, at most
// kLongestWebMailUrl bytes.
bool UsableWebMailUrl(const std::string& url);

}  // namespace postvane
