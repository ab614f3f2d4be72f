// The tray icons as the program last set them, in front of the platform's icons: only a
// change reaches the platform, since every write makes the tray host redraw.
#pragma once

#include <array>
#include <string>

#include "ports/tray_icons.h"

namespace postvane {

class TrayIconCache : public TrayIcons {
 public:
  // The platform's icons show `picture`, no tool tip, and none of them is visible yet.
  TrayIconCache(TrayIcons& icons, int picture);

  void SetTrayPicture(int index, int iconId) override;
  // The text last written, without asking the platform (whose tips may be cut short).
  std::string GetTrayToolTip(int index) override;
  void SetTrayToolTip(int index, const std::string& text) override;
  bool GetTrayVisible(int index) override;
  void SetTrayVisible(int index, bool visible) override;

  // The picture an icon shows; 0 for an index out of range.
  int Picture(int index) const;
  // How many writes reached the platform's icons.
  int Writes() const { return writes_; }

 private:
  TrayIcons& icons_;
  std::array<int, kTrayIcons> pictures_{};
  std::array<std::string, kTrayIcons> toolTips_{};
  std::array<bool, kTrayIcons> visible_{};
  int writes_ = 0;
};

}  // namespace postvane
