// Bounded JSON objects.
#include "check/json_reply.h"

namespace postvane {

namespace {

// Brackets outside strings, deepest first reached; a string's escapes are skipped.
bool NestingWithin(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return false;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return true;
}

}  // namespace

std::optional<nlohmann::json> ParseJsonObject(std::string_view text) {
  if (text.size() > kJsonReplyLimit || !NestingWithin(text, kJsonNestingLimit)) {
    return std::nullopt;
  }
  nlohmann::json value = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!value.is_object()) return std::nullopt;
  return value;
}

std::string StringMember(const nlohmann::json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

}  // namespace postvane
