// Filling a count into a text: the tables mark the place with '#'.
#pragma once

#include <string>
#include <string_view>

namespace postvane {

// Every "#" of the pattern replaced by the number in decimal.
std::string ReplaceHash(std::string_view pattern, long long number);

}  // namespace postvane
