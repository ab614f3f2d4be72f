// The ten notification-area icons on Qt, written as they are told: the cache in front of them
// keeps repeated writes away.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <array>
#include <functional>
#include <string>

#include "ports/tray_icons.h"

namespace postvane {

class QtTrayIcons : public TrayIcons {
 public:
  using ActivationHandler = std::function<void(int index, QSystemTrayIcon::ActivationReason)>;

  // Creates the icons, hidden, with `picture`, as children of `parent`.
  QtTrayIcons(QObject& parent, int picture, ActivationHandler onActivated);

  void SetTrayPicture(int index, int iconId) override;
  std::string GetTrayToolTip(int index) override;
  void SetTrayToolTip(int index, const std::string& text) override;
  bool GetTrayVisible(int index) override;
  void SetTrayVisible(int index, bool visible) override;

  // Null for an index out of range.
  QSystemTrayIcon* Icon(int index) const;

 private:
  std::array<QSystemTrayIcon*, kTrayIcons> icons_{};
};

}  // namespace postvane
