// Pixel sizes in the windows are for 96 dpi; windows scale them by the monitor's dpi.
#pragma once

#include <windows.h>

namespace postvane {

inline int DpiOf(HWND window) {
  HDC screen = GetDC(window);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(window, screen);
  return dpi > 0 ? dpi : 96;
}

inline int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, 96); }

// The message font of the desktop, at the window's dpi.
inline HFONT FormFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// A top-level window whose client area has the given 96-dpi size, centred on the screen.
inline void PlaceCentred(HWND window, int width, int height) {
  const int dpi = DpiOf(window);
  RECT box{0, 0, Scaled(width, dpi), Scaled(height, dpi)};
  AdjustWindowRectEx(&box, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  const int w = box.right - box.left;
  const int h = box.bottom - box.top;
  SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER);
}

}  // namespace postvane
