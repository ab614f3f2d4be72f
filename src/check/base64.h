// Base64 (RFC 4648) for the SASL strings and the PKCE challenge.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postvane {

std::string Base64Encode(std::string_view bytes);
// The URL-safe alphabet without padding, as PKCE wants it.
std::string Base64UrlEncode(std::string_view bytes);
// Standard alphabet; padding optional; blanks and anything else outside it give nothing.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace postvane
