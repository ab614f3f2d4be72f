// Sound player for tests: records the files it was asked to play.
#pragma once

#include <string>
#include <vector>

#include "fakes/call_log.h"
#include "ports/sound_player.h"

namespace postvane {

class FakeSoundPlayer : public SoundPlayer {
 public:
  explicit FakeSoundPlayer(CallLog* log = nullptr) : log_(log) {}

  std::vector<std::string> Played;

  void PlayAsync(const std::string& wavFile) override {
    Played.push_back(wavFile);
    if (log_ != nullptr) log_->push_back("PlayAsync(" + wavFile + ")");
  }

 private:
  CallLog* log_;
};

}  // namespace postvane
