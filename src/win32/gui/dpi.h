// Pixel sizes in the windows are for 96 dpi; windows scale them by the monitor's dpi.
#pragma once

#include <windows.h>

namespace postvane {

// The window's own dpi where the system tells it (Windows 10 1607 and later, per monitor),
// else the screen's.
inline int DpiOf(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(window);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(window, screen);
  return dpi > 0 ? dpi : 96;
}

inline int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, 96); }

// The message font of the desktop, at the given dpi: the system's own metrics for that dpi
// where it has them, else the system-dpi font scaled.
inline HFONT FormFont(int dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  using ForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = reinterpret_cast<ForDpiFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
  if (forDpi == nullptr ||
      !forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(dpi))) {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HDC screen = GetDC(nullptr);
    const int systemDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, dpi, systemDpi > 0 ? systemDpi : 96);
  }
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
