// The ten notification-area icons, by index 0..9; pictures by icon resource id.
#pragma once

#include <string>

namespace postvane {

constexpr int kTrayIcons = 10;

class TrayIcons {
 public:
  virtual ~TrayIcons() = default;
  virtual void SetTrayPicture(int index, int iconId) = 0;
  virtual std::string GetTrayToolTip(int index) = 0;
  virtual void SetTrayToolTip(int index, const std::string& text) = 0;
  virtual bool GetTrayVisible(int index) = 0;
  virtual void SetTrayVisible(int index, bool visible) = 0;
};

}  // namespace postvane
