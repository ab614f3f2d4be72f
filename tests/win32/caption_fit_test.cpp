// Every caption of the configuration dialog and the About window fits its control in all six
// languages at 96, 120 and 144 dpi: measured here with GetTextExtentPoint32 in the font the
// control ended up with, on one line or wrapped where the control wraps.
#include "win32/gui/caption_fit.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <tuple>

#include "app/program_state.h"
#include "settings/settings_store.h"
#include "win32/gui/frm_config.h"
#include "win32/gui/frm_info.h"
#include "win32/wide_text.h"
#include "win32/win32_file_system.h"

namespace postvane {
namespace {

// Catalan, German, English, Spanish, Italian, Dutch.
constexpr int16_t kLanguageBases[] = {300, 700, 900, 1000, 1600, 1900};

std::wstring TextOf(HWND control) {
  wchar_t text[512] = {};
  GetWindowTextW(control, text, 512);
  return text;
}

// Lines the text takes when broken at blanks to the width, in the selected font.
int LinesFor(HDC dc, const std::wstring& text, int width) {
  int lines = 1;
  int used = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(L' ', at);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring word = text.substr(at, end - at);
    SIZE size{};
    GetTextExtentPoint32W(dc, word.c_str(), static_cast<int>(word.size()), &size);
    SIZE blank{};
    GetTextExtentPoint32W(dc, L" ", 1, &blank);
    if (size.cx > width) return 1000;  // a word wider than the control never fits
    const int needed = used == 0 ? size.cx : used + blank.cx + size.cx;
    if (needed > width && used > 0) {
      ++lines;
      used = size.cx;
    } else {
      used = needed;
    }
    at = end + 1;
  }
  return lines;
}

// Empty when every caption fits; otherwise the ones that do not.
std::string CaptionsThatDoNotFit(HWND form, int dpi) {
  std::string failures;
  HDC dc = GetDC(form);
  for (HWND control = GetWindow(form, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    const std::wstring text = TextOf(control);
    const CaptionRoom room = RoomOf(control, dpi);
    if (text.empty() || room.Width <= 0) continue;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    bool fits = extent.cx <= room.Width;
    if (!fits && room.CanWrap) {
      fits = LinesFor(dc, text, room.Width) * metrics.tmHeight <= room.Height;
    }
    SelectObject(dc, old);
    if (!fits) failures += "\"" + Narrow(text) + "\" ";
  }
  ReleaseDC(form, dc);
  return failures;
}

void MoveToDpi(HWND form, int dpi) {
  if (dpi == 96) return;
  RECT place{};
  GetWindowRect(form, &place);
  const RECT suggested{0, 0, MulDiv(place.right - place.left, dpi, 96),
                       MulDiv(place.bottom - place.top, dpi, 96)};
  SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

class CaptionFitTest : public testing::TestWithParam<std::tuple<int16_t, int>> {
 protected:
  Win32FileSystem files_;
  SettingsStore store_{files_, "Z:\\nonexistent\\Postvane.ini", ""};
  ProgramState state_;
};

TEST_P(CaptionFitTest, EveryCaptionFitsItsControl) {
  const auto [language, dpi] = GetParam();
  state_.LanguageBase = language;
  frmConfig config(state_, store_, [](bool) {});
  MoveToDpi(config.Handle(), dpi);
  for (int tab = 0; tab < 3; ++tab) {
    config.ShowTab(tab);
    EXPECT_EQ(CaptionsThatDoNotFit(config.Handle(), dpi), "") << "tab " << tab;
  }
  frmInfo about(language);
  MoveToDpi(about.Handle(), dpi);
  EXPECT_EQ(CaptionsThatDoNotFit(about.Handle(), dpi), "");
}

INSTANTIATE_TEST_SUITE_P(LanguagesAndDpis, CaptionFitTest,
                         testing::Combine(testing::ValuesIn(kLanguageBases),
                                          testing::Values(96, 120, 144)));

}  // namespace
}  // namespace postvane
