// Desktop notices on Windows: not offered yet, so a chosen notice is simply not shown, as on a
// Linux desktop without a notification service.
#pragma once

#include <functional>

#include "ports/desktop_notifier.h"

namespace postvane {

class NoDesktopNotifier final : public DesktopNotifier {
 public:
  void Show(const DesktopNotice&) override {}
  void SetClickHandler(std::function<void()>) override {}
};

}  // namespace postvane
