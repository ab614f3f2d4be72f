// The about window: the program's icon, name, version and where it comes from, light on dark.
#pragma once

#include <cstdint>

#include "win32/gui/form_window.h"

namespace postvane {

class frmInfo : public FormWindow {
 public:
  explicit frmInfo(int16_t languageBase);
  ~frmInfo() override;

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnRescaled() override;

  HBRUSH dark_ = nullptr;
  HFONT titleFont_ = nullptr;
  HWND title_ = nullptr;
};

}  // namespace postvane
