// The ten notification-area icons on Qt, written as they are told: the cache in front of them
// keeps repeated writes away.
#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <array>
#include <functional>
#include <string>
#include <utility>

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

  // The "#rrggbb" a marker picture is drawn in; an empty text keeps the picture's own colour.
  using MarkerColorFor = std::function<QString(int iconId)>;
  void SetMarkerColors(MarkerColorFor colorFor) { markerColor_ = std::move(colorFor); }

 private:
  MarkerColorFor markerColor_;
  std::array<QSystemTrayIcon*, kTrayIcons> icons_{};
};

}  // namespace postvane
