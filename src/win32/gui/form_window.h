// A top-level window of the program (status, configuration, about): its own class, its
// messages routed to the object, its font, and its place in the centre of the screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace postvane {

class FormWindow {
 public:
  virtual ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Open until the user closes it; the owner then makes a new one on the next request.
  bool IsOpen() const { return window_ != nullptr; }
  void BringUp();
  HWND Handle() const { return window_; }

 protected:
  FormWindow() = default;
  // Client size in 96-dpi pixels.
  void Create(const std::wstring& title, int width, int height, DWORD style);
  // A child control at a 96-dpi position, in the window's font.
  HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y,
                  int width, int height, int id = 0, HWND parent = nullptr);
  int Scale(int pixels) const;
  // Once the captions are in the user's language: each fits its control (caption_fit.h).
  void FitAllCaptions();

  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Before the window goes: the place to save.
  virtual void OnClose() {}
  // After the window moved to a monitor of another dpi and its controls were laid out again:
  // the place for pictures and fonts of the window's own.
  virtual void OnRescaled() {}

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;

 private:
  struct Placement {
    HWND Control;
    RECT At96;  // in the parent's client coordinates at 96 dpi
  };
  // WM_DPICHANGED: every control at its place for the new dpi, in the font for it.
  void OnDpiChanged(int dpi, const RECT& suggested);
  std::vector<Placement> placed_;
  // Smaller fonts that captions were given.
  std::vector<HFONT> fittedFonts_;

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace postvane
