// The desktop's notification service, as the program uses it: one notice at a time.
#pragma once

#include <functional>
#include <string>

namespace postvane {

// Plain text in UTF-8; the service shows Summary as the title and Body below it.
struct DesktopNotice {
  std::string Summary;
  std::string Body;
  bool operator==(const DesktopNotice&) const = default;
};

class DesktopNotifier {
 public:
  virtual ~DesktopNotifier() = default;
  // Replaces the notice shown before, if any. Without a service nothing happens.
  virtual void Show(const DesktopNotice& notice) = 0;
  // Called when the user clicks the notice (services that support actions only).
  virtual void SetClickHandler(std::function<void()> handler) = 0;
};

}  // namespace postvane
