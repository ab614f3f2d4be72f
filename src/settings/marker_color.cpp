// The one colour form the settings file and the dialog take.
#include "settings/marker_color.h"

#include <cctype>

namespace postvane {

bool ValidMarkerColor(const std::string& color) {
  if (color.size() != 7 || color[0] != '#') return false;
  for (std::size_t i = 1; i < color.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(color[i]))) return false;
  }
  return true;
}

}  // namespace postvane
