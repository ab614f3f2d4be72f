// One window class for every form; the object pointer travels in the creation data.
#include "win32/gui/form_window.h"

#include "win32/gui/caption_fit.h"
#include "win32/gui/dpi.h"

namespace postvane {
namespace {

constexpr wchar_t kClassName[] = L"PostvaneForm";

void RegisterClassOnce() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    return RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

FormWindow::~FormWindow() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (font_ != nullptr) DeleteObject(font_);
  for (HFONT font : fittedFonts_) DeleteObject(font);
}

void FormWindow::FitAllCaptions() {
  // The controls hold the form's font again before the old smaller ones go.
  std::vector<HFONT> old;
  old.swap(fittedFonts_);
  for (const Placement& each : placed_) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(each.Control, WM_GETFONT, 0, 0));
    for (HFONT fitted : old) {
      if (font == fitted)
        SendMessageW(each.Control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
  }
  FitCaptions(window_, font_, dpi_, fittedFonts_);
  for (HFONT font : old) DeleteObject(font);
}

void FormWindow::Create(const std::wstring& title, int width, int height, DWORD style) {
  RegisterClassOnce();
  window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, title.c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, width, height, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormWindow::Procedure));
  dpi_ = DpiOf(window_);
  font_ = FormFont(dpi_);
  PlaceCentred(window_, width, height);
}

int FormWindow::Scale(int pixels) const { return Scaled(pixels, dpi_); }

HWND FormWindow::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x,
                            int y, int width, int height, int id, HWND parent) {
  HWND control = CreateWindowExW(
      0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y), Scale(width),
      Scale(height), parent != nullptr ? parent : window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  placed_.push_back({control, {x, y, x + width, y + height}});
  return control;
}

void FormWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  HFONT old = font_;
  font_ = FormFont(dpi_);
  for (const Placement& each : placed_) {
    const RECT& at = each.At96;
    SetWindowPos(each.Control, nullptr, Scale(at.left), Scale(at.top), Scale(at.right - at.left),
                 Scale(at.bottom - at.top), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(each.Control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  }
  FitAllCaptions();
  if (old != nullptr) DeleteObject(old);
  // The system's rectangle keeps the window where the user sees it on the new monitor.
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  OnRescaled();
}

void FormWindow::BringUp() {
  if (window_ == nullptr) return;
  ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window_);
}

LRESULT FormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK FormWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_DPICHANGED) {
    self->OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
    return 0;
  }
  if (message == WM_CLOSE) {
    self->OnClose();
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    DestroyWindow(window);
    return 0;
  }
  return self->OnMessage(message, wParam, lParam);
}

}  // namespace postvane
