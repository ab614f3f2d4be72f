// Measured with DrawText in the control's own font, as the control draws its caption.
#include "win32/gui/caption_fit.h"

#include "win32/gui/dpi.h"

namespace postvane {
namespace {

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND control) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  return name;
}

// The smallest size tried, as a share of the form's font.
constexpr int kSmallestPercent = 70;

}  // namespace

CaptionRoom RoomOf(HWND control, int dpi) {
  CaptionRoom room;
  RECT box{};
  GetClientRect(control, &box);
  const std::wstring kind = ClassOf(control);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  if (_wcsicmp(kind.c_str(), L"Static") == 0) {
    const DWORD type = style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT) return room;
    room.Width = box.right;
    room.Height = box.bottom;
    room.CanWrap = true;
    return room;
  }
  if (_wcsicmp(kind.c_str(), L"Button") != 0) return room;
  const DWORD type = style & BS_TYPEMASK;
  room.Height = box.bottom;
  if (type == BS_GROUPBOX) {
    // The title sits in the top line between the frame's corners.
    room.Width = box.right - Scaled(2 * 8, dpi);
    room.Height = 0;
  } else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
             type == BS_RADIOBUTTON) {
    room.Width = box.right - Scaled(13 + 5, dpi);
    room.CanWrap = (style & BS_MULTILINE) != 0;
  } else {
    room.Width = box.right - Scaled(2 * 4, dpi);
  }
  return room;
}

bool CaptionFits(HDC dc, HFONT font, const std::wstring& text, const CaptionRoom& room) {
  if (room.Width <= 0) return true;
  HGDIOBJ old = SelectObject(dc, font);
  RECT line{0, 0, room.Width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  bool fits = line.right <= room.Width;
  if (!fits && room.CanWrap) {
    RECT wrapped{0, 0, room.Width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &wrapped,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    fits = wrapped.right <= room.Width && wrapped.bottom <= room.Height;
  }
  SelectObject(dc, old);
  return fits;
}

void FitCaptions(HWND form, HFONT formFont, int dpi, std::vector<HFONT>& fonts) {
  LOGFONTW base{};
  GetObjectW(formFont, sizeof(base), &base);
  HDC dc = GetDC(form);
  for (HWND control = GetWindow(form, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    const std::wstring text = TextOf(control);
    const CaptionRoom room = RoomOf(control, dpi);
    if (text.empty() || room.Width <= 0) continue;
    // A font of its own (a title) is the control's choice; only the form's font is fitted.
    const auto current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (current != formFont) continue;
    if (CaptionFits(dc, formFont, text, room)) continue;
    for (int percent = 95; percent >= kSmallestPercent; percent -= 5) {
      LOGFONTW smaller = base;
      smaller.lfHeight = MulDiv(base.lfHeight, percent, 100);
      HFONT font = CreateFontIndirectW(&smaller);
      if (font == nullptr) break;
      fonts.push_back(font);
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
      if (CaptionFits(dc, font, text, room)) break;
    }
  }
  ReleaseDC(form, dc);
}

}  // namespace postvane
