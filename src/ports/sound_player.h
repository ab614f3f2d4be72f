// Plays a WAV file in the background.
#pragma once

#include <string>

namespace postvane {

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Returns at once; a missing or unplayable file plays nothing.
  virtual void PlayAsync(const std::string& wavFile) = 0;
};

}  // namespace postvane
