// Records the notices shown; the test clicks the last one by calling Click().
#pragma once

#include <functional>
#include <vector>

#include "ports/desktop_notifier.h"

namespace postvane {

class FakeDesktopNotifier : public DesktopNotifier {
 public:
  void Show(const DesktopNotice& notice) override { Shown.push_back(notice); }
  void SetClickHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
  void Click() {
    if (handler_) handler_();
  }
  bool HasClickHandler() const { return static_cast<bool>(handler_); }

  std::vector<DesktopNotice> Shown;

 private:
  std::function<void()> handler_;
};

}  // namespace postvane
