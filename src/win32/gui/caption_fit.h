// Captions made to fit the fixed places of their controls, whatever the language and the dpi:
// a caption that does not fit wraps where its control has room for more lines, or else gets
// the largest smaller size of its font that fits. No control moves or grows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace postvane {

// What a caption has of its control: the width for its text (less the box of a check box,
// the margins of a frame or a button) and the lines of the control's height.
struct CaptionRoom {
  int Width = 0;
  int Height = 0;
  bool CanWrap = false;
};

// Zero width for controls without a caption to fit (pictures, edit boxes, lists, tabs).
CaptionRoom RoomOf(HWND control, int dpi);

// Whether `text` in `font` fits the room, on one line or, where it may, wrapped.
bool CaptionFits(HDC dc, HFONT font, const std::wstring& text, const CaptionRoom& room);

// Fits every child of the form. Fonts made smaller are kept in `fonts` (the caller deletes
// them with the form, and may pass the same list again after a change of dpi).
void FitCaptions(HWND form, HFONT formFont, int dpi, std::vector<HFONT>& fonts);

}  // namespace postvane
