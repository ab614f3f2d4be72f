// Positions in pixels at 96 dpi.
#include "win32/gui/frm_info.h"

#include "text/string_table.h"
#include "ui/version_line.h"
#include "win32/wide_text.h"

namespace postvane {

frmInfo::frmInfo(int16_t languageBase) {
  dark_ = CreateSolidBrush(RGB(0, 0, 0));
  Create(Widen(LocalString(languageBase, StringId::About)), 269, 157, WS_CAPTION | WS_SYSMENU);
  AddControl(L"STATIC", L"", SS_WHITEFRAME, 7, 7, 254, 141);
  HWND picture = AddControl(L"STATIC", L"", SS_ICON, 14, 21, 32, 32);
  SendMessageW(picture, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1),
                                                   IMAGE_ICON, Scale(32), Scale(32), LR_SHARED)),
               0);
  title_ = AddControl(L"STATIC", L"Postvane", SS_LEFT, 70, 24, 138, 23);
  OnRescaled();
  AddControl(L"STATIC", Widen(ProgramVersionLine()), SS_LEFT, 70, 56, 134, 15);
  AddControl(L"STATIC", L"\u00a9 1999", SS_LEFT, 14, 77, 85, 15);
  AddControl(L"STATIC", L"", SS_WHITERECT, 14, 91, 242, 1);
  AddControl(L"STATIC", L"Postvane developers", SS_LEFT, 14, 98, 247, 15);
  AddControl(L"STATIC", L"https://postvane.invalid/", SS_LEFT, 14, 112, 239, 15);
  AddControl(L"STATIC", L"team@postvane.invalid", SS_LEFT, 14, 126, 239, 15);
  FitAllCaptions();
}

void frmInfo::OnRescaled() {
  // The title's own bold font, at the window's dpi.
  LOGFONTW title{};
  GetObjectW(font_, sizeof(title), &title);
  title.lfHeight = -Scale(18);
  title.lfWeight = FW_BOLD;
  HFONT old = titleFont_;
  titleFont_ = CreateFontIndirectW(&title);
  SendMessageW(title_, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_), TRUE);
  if (old != nullptr) DeleteObject(old);
}

frmInfo::~frmInfo() {
  if (dark_ != nullptr) DeleteObject(dark_);
  if (titleFont_ != nullptr) DeleteObject(titleFont_);
}

LRESULT frmInfo::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, RGB(255, 255, 255));
      SetBkColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(dark_);
    }
    case WM_ERASEBKGND: {
      RECT area;
      GetClientRect(window_, &area);
      FillRect(reinterpret_cast<HDC>(wParam), &area, dark_);
      return 1;
    }
    default:
      return FormWindow::OnMessage(message, wParam, lParam);
  }
}

}  // namespace postvane
