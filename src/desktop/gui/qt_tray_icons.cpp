// QSystemTrayIcon behind the core's tray port.
#include "desktop/gui/qt_tray_icons.h"

#include <QString>
#include <QTextDocument>
#include <cstddef>

#include "desktop/gui/icon_library.h"

namespace postvane {

QtTrayIcons::QtTrayIcons(QObject& parent, int picture, ActivationHandler onActivated) {
  const QIcon shown = ProgramIcon(picture);
  for (int i = 0; i < kTrayIcons; ++i) {
    auto* icon = new QSystemTrayIcon(shown, &parent);
    icon->setObjectName(QStringLiteral("SysTray_%1").arg(i));
    QObject::connect(icon, &QSystemTrayIcon::activated, &parent,
                     [onActivated, i](QSystemTrayIcon::ActivationReason reason) {
                       if (onActivated) onActivated(i, reason);
                     });
    icons_[static_cast<std::size_t>(i)] = icon;
  }
}

QSystemTrayIcon* QtTrayIcons::Icon(int index) const {
  return index >= 0 && index < kTrayIcons ? icons_[static_cast<std::size_t>(index)] : nullptr;
}

void QtTrayIcons::SetTrayPicture(int index, int iconId) {
  QSystemTrayIcon* icon = Icon(index);
  if (icon == nullptr) return;
  icon->setIcon(markerColor_ ? MarkerIcon(iconId, markerColor_(iconId)) : ProgramIcon(iconId));
}

std::string QtTrayIcons::GetTrayToolTip(int index) {
  const QSystemTrayIcon* icon = Icon(index);
  return icon != nullptr ? icon->toolTip().toStdString() : std::string();
}

void QtTrayIcons::SetTrayToolTip(int index, const std::string& text) {
  QSystemTrayIcon* icon = Icon(index);
  if (icon == nullptr) return;
  // A tool tip that looks like markup is drawn as rich text; a server's or a certificate's
  // words in it must show as they are, so such a tip goes out escaped.
  const QString tip = QString::fromStdString(text);
  icon->setToolTip(Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap)
                                            : tip);
}

bool QtTrayIcons::GetTrayVisible(int index) {
  const QSystemTrayIcon* icon = Icon(index);
  return icon != nullptr && icon->isVisible();
}

void QtTrayIcons::SetTrayVisible(int index, bool visible) {
  if (QSystemTrayIcon* icon = Icon(index)) icon->setVisible(visible);
}

}  // namespace postvane
