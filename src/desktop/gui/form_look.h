// What the program's windows share: the small dialog font their fixed layouts are drawn for,
// and opening centred on the screen.
#pragma once

class QWidget;

namespace postvane {

// The fixed pixel layouts fit an 11-pixel font (8 points at 96 dots per inch). A caption
// too long for its box in some language gets a narrower font of its own (caption_fit.h).
inline constexpr int kFormFontPixels = 11;

void UseFormFont(QWidget& window);

// Places the window's frame in the middle of the available area of its screen.
void CenterOnScreen(QWidget& window);

}  // namespace postvane
