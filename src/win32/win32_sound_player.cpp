// SND_NODEFAULT: a missing file plays nothing rather than the system's own sound.
#include "win32/win32_sound_player.h"

#include <windows.h>
#include <mmsystem.h>

#include "win32/wide_text.h"

namespace postvane {

void Win32SoundPlayer::PlayAsync(const std::string& wavFile) {
  if (wavFile.empty()) return;
  PlaySoundW(Widen(wavFile).c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
}

}  // namespace postvane
