// The notice as a balloon: NIM_MODIFY on a visible icon with NIF_INFO and the two texts.
#include "win32/balloon_notifier.h"

#include <string>
#include <utility>

#include "win32/wide_text.h"

namespace postvane {
namespace {

// Into a fixed field with room for the terminating NUL, never ending on half a surrogate pair.
template <std::size_t N>
void CopyCut(const std::string& text, wchar_t (&field)[N]) {
  std::wstring wide = Widen(text);
  if (wide.size() > N - 1) {
    wide.resize(N - 1);
    if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.pop_back();
  }
  wide.copy(field, wide.size());
  field[wide.size()] = L'\0';
}

}  // namespace

BalloonNotifier::BalloonNotifier(std::function<int()> icon, ShellCall shell)
    : icon_(std::move(icon)), shell_(std::move(shell)) {}

void BalloonNotifier::Show(const DesktopNotice& notice) {
  const int icon = icon_ ? icon_() : -1;
  if (window_ == nullptr || icon < 0 || !shell_) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = static_cast<UINT>(icon);
  data.uFlags = NIF_INFO;
  // The program plays its own sound when the user chose one.
  data.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
  CopyCut(notice.Summary, data.szInfoTitle);
  CopyCut(notice.Body, data.szInfo);
  shell_(NIM_MODIFY, &data);
}

void BalloonNotifier::Clicked() {
  if (clicked_) clicked_();
}

}  // namespace postvane
