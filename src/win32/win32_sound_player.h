// Plays WAV files with PlaySoundW, in the background.
#pragma once

#include "ports/sound_player.h"

namespace postvane {

class Win32SoundPlayer : public SoundPlayer {
 public:
  void PlayAsync(const std::string& wavFile) override;
};

}  // namespace postvane
