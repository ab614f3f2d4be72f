// Web pages through the desktop's browser (QDesktopServices).
#pragma once

#include "ports/web_browser.h"

namespace postvane {

class QtWebBrowser : public WebBrowser {
 public:
  bool OpenWebPage(const std::string& url) override;
};

}  // namespace postvane
