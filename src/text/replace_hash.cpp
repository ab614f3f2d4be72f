// Filling a count into a text.
#include "text/replace_hash.h"

namespace postvane {

std::string ReplaceHash(std::string_view pattern, long long number) {
  const std::string digits = std::to_string(number);
  std::string result;
  result.reserve(pattern.size() + digits.size());
  for (char c : pattern) {
    if (c == '#') {
      result += digits;
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace postvane
