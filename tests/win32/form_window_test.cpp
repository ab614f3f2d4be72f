// A form moved to a monitor of another dpi (WM_DPICHANGED, sent here: Wine has one monitor,
// and a 640 x 400 screen, which bounds the dpi a window still fits at):
// every control at its place and size for the new dpi, in a font for it, the window where the
// system suggests.
#include "win32/gui/form_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "app/program_state.h"
#include "settings/settings_store.h"
#include "win32/gui/frm_config.h"
#include "win32/win32_file_system.h"

namespace postvane {
namespace {

RECT PlaceOf(HWND control) {
  RECT box{};
  GetWindowRect(control, &box);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
  return box;
}

LONG FontHeight(HWND control) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW description{};
  GetObjectW(font, sizeof(description), &description);
  return description.lfHeight < 0 ? -description.lfHeight : description.lfHeight;
}

class FormDpiTest : public testing::TestWithParam<int> {
 protected:
  Win32FileSystem files_;
  SettingsStore store_{files_, "Z:\\nonexistent\\Postvane.ini", ""};
  ProgramState state_;
};

TEST_P(FormDpiTest, ControlsAndFontFollowTheNewDpi) {
  const int dpi = GetParam();
  frmConfig window(state_, store_, [](bool) {});
  HWND ok = GetDlgItem(window.Handle(), frmConfig::kOk);
  HWND port = GetDlgItem(window.Handle(), frmConfig::kRemotePort);
  const LONG fontBefore = FontHeight(ok);
  const RECT suggested{40, 30, 40 + MulDiv(350, dpi, 96), 30 + MulDiv(380, dpi, 96)};
  SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));

  // The Ok button lies at (259, 322) with 71 x 22 at 96 dpi; the port box at (196, 217) inside
  // the tab frame, 36 x 19.
  const RECT okPlace = PlaceOf(ok);
  EXPECT_EQ(okPlace.left, MulDiv(259, dpi, 96));
  EXPECT_EQ(okPlace.right - okPlace.left, MulDiv(71, dpi, 96));
  EXPECT_EQ(okPlace.bottom - okPlace.top, MulDiv(22, dpi, 96));
  const RECT portPlace = PlaceOf(port);
  EXPECT_EQ(portPlace.left, MulDiv(14 + 182, dpi, 96));
  EXPECT_EQ(portPlace.right - portPlace.left, MulDiv(36, dpi, 96));
  RECT frame{};
  GetWindowRect(window.Handle(), &frame);
  EXPECT_EQ(frame.left, suggested.left);
  EXPECT_EQ(frame.right - frame.left, suggested.right - suggested.left);
  // The font grows and shrinks with the dpi (within a pixel of rounding).
  const LONG expected = MulDiv(fontBefore, dpi, 96);
  EXPECT_NEAR(FontHeight(ok), expected, 1);
  EXPECT_NEAR(FontHeight(port), expected, 1);
}

INSTANTIATE_TEST_SUITE_P(Dpis, FormDpiTest, testing::Values(120, 144, 96));

}  // namespace
}  // namespace postvane
