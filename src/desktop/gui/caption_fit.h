// Captions made to fit the fixed places of their controls, whatever the language: a caption
// that does not fit in the window's font wraps where its box has room for more lines, or else
// gets the least narrower or smaller font that fits. No control moves or grows.
#pragma once

class QWidget;

namespace postvane {

// Run after the captions are in the user's language. Every control keeps its own font from
// then on, so that a narrower frame title does not narrow the controls inside the frame.
void FitCaptions(QWidget& window);

// The right edge a caption may reach, in the control's coordinates: its own width, or the left
// edge of a sibling that overlaps it (the text would run into that control).
int VisibleRight(const QWidget& control);

}  // namespace postvane
