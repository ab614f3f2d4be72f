// Postvane's own texts (beyond the design's table), in the six languages, by typed id.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

enum class OwnText : int {
  NoMailboxEnabled = 80,
  NoNotificationArea = 81,
};

// The text in the language of languageBase (as LocalString); English for an unknown language.
std::string OwnString(int16_t languageBase, OwnText id);

}  // namespace postvane
