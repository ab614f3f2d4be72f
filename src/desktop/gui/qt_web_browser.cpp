// The address is parsed strictly, so a damaged one is refused rather than repaired.
#include "desktop/gui/qt_web_browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace postvane {

bool QtWebBrowser::OpenWebPage(const std::string& url) {
  const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
  if (!address.isValid() || address.scheme() != QStringLiteral("https")) return false;
  return QDesktopServices::openUrl(address);
}

}  // namespace postvane
