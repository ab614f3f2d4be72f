// A mailbox's own marker colour: "#rrggbb", or empty for the colour its picture has.
#pragma once

#include <string>

namespace postvane {

// "#" and six hexadecimal digits, either case.
bool ValidMarkerColor(const std::string& color);

}  // namespace postvane
