// A JSON object from a provider or a mail server, read with bounds: a reply too long or nested
// too deep is refused before the parser sees it, so no reply can exhaust the stack or memory.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace postvane {

// Far above any real token or discovery reply.
inline constexpr std::size_t kJsonReplyLimit = 256 * 1024;
inline constexpr int kJsonNestingLimit = 32;

// The reply as an object; nothing when it is not one (or is out of bounds).
std::optional<nlohmann::json> ParseJsonObject(std::string_view text);

// A member that is a string, or the empty text.
std::string StringMember(const nlohmann::json& object, const char* name);

}  // namespace postvane
