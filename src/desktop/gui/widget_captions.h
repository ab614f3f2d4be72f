// Caption substitution on real widgets: a window is described to the core's caption model,
// the core replaces the caption codes, and the texts go back into the widgets.
#pragma once

#include <cstdint>

#include "ui/caption_model.h"

class QWidget;

namespace postvane {

// Kinds as the caption rule knows them: group boxes are frames, labels, push buttons, check
// boxes, menu entries, tab widgets (tab strips) and combo boxes; everything else (radio
// buttons, text boxes, pictures, trees) is left alone. Controls are visited depth first in
// the order the window created them; group boxes and plain container widgets are entered.
Form DescribeCaptions(QWidget& window);

// Writes the form's texts back into the widgets it was described from. Combo boxes take the
// form's selection (none after localizing).
void ApplyCaptions(QWidget& window, const Form& form);

// DescribeCaptions, LocalizeCaptions, ApplyCaptions.
void LocalizeWidgetCaptions(QWidget& window, int16_t languageBase);

}  // namespace postvane
