// Plays the new-mail WAV file in the background with QSoundEffect.
#pragma once

#include <QObject>
#include <memory>

#include "ports/sound_player.h"

class QSoundEffect;

namespace postvane {

class QtSoundPlayer : public SoundPlayer {
 public:
  QtSoundPlayer();
  ~QtSoundPlayer() override;
  QtSoundPlayer(const QtSoundPlayer&) = delete;
  QtSoundPlayer& operator=(const QtSoundPlayer&) = delete;

  // Returns at once. A missing or unplayable file, or no audio output, plays nothing.
  void PlayAsync(const std::string& wavFile) override;

  // How many times a file that exists was handed to the player (for tests).
  int PlayRequests() const { return playRequests_; }

 private:
  // Made at the first sound, so a program that never plays loads no audio back end.
  std::unique_ptr<QSoundEffect> effect_;
  int playRequests_ = 0;
};

}  // namespace postvane
