// Hands a tray write on only when it changes what an icon shows.
#include "ui/tray_icon_cache.h"

#include <cstddef>

namespace postvane {

namespace {

bool ValidIndex(int index) { return index >= 0 && index < kTrayIcons; }

}  // namespace

TrayIconCache::TrayIconCache(TrayIcons& icons, int picture) : icons_(icons) {
  pictures_.fill(picture);
}

void TrayIconCache::SetTrayPicture(int index, int iconId) {
  if (!ValidIndex(index)) return;
  int& picture = pictures_[static_cast<std::size_t>(index)];
  if (picture == iconId) return;
  picture = iconId;
  ++writes_;
  icons_.SetTrayPicture(index, iconId);
}

std::string TrayIconCache::GetTrayToolTip(int index) {
  return ValidIndex(index) ? toolTips_[static_cast<std::size_t>(index)] : std::string();
}

void TrayIconCache::SetTrayToolTip(int index, const std::string& text) {
  if (!ValidIndex(index)) return;
  std::string& toolTip = toolTips_[static_cast<std::size_t>(index)];
  if (toolTip == text) return;
  toolTip = text;
  ++writes_;
  icons_.SetTrayToolTip(index, text);
}

bool TrayIconCache::GetTrayVisible(int index) {
  return ValidIndex(index) && visible_[static_cast<std::size_t>(index)];
}

void TrayIconCache::SetTrayVisible(int index, bool visible) {
  if (!ValidIndex(index)) return;
  bool& shown = visible_[static_cast<std::size_t>(index)];
  if (shown == visible) return;
  shown = visible;
  icons_.SetTrayVisible(index, visible);
}

int TrayIconCache::Picture(int index) const {
  return ValidIndex(index) ? pictures_[static_cast<std::size_t>(index)] : 0;
}

}  // namespace postvane
