// Opens a web page in the user's browser.
#pragma once

#include <string>

namespace postvane {

class WebBrowser {
 public:
  virtual ~WebBrowser() = default;
  // False when no browser took it.
  virtual bool OpenWebPage(const std::string& url) = 0;
};

}  // namespace postvane
