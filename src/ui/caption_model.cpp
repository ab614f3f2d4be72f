// Caption substitution: the placeholder caption codes "res101".."res164" become localized texts.
#include "ui/caption_model.h"

#include <cstddef>
#include <utility>

#include "text/string_table.h"

namespace postvane {
namespace {

// Byte length of the UTF-8 sequence that starts with lead, so "the fifth character" is
// found even when the fourth is not ASCII.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

void Localize(std::string& text, int16_t languageBase) {
  const int offset = CaptionCodeOffset(text);
  if (offset == 0) return;
  // A base outside the table finds nothing; the code then stays rather than a blank.
  std::string localized = LoadResourceString(languageBase + offset);
  if (!localized.empty()) text = std::move(localized);
}

}  // namespace

bool IsCaptionCode(std::string_view text) { return text.substr(0, 3) == "res"; }

int CaptionCodeOffset(std::string_view text) {
  if (!IsCaptionCode(text) || text.size() < 4) return 0;
  // The fourth character is skipped unread: "res1" + "34" and "res0" + "34" name the same string.
  const size_t tailStart = 3 + Utf8SequenceLength(static_cast<unsigned char>(text[3]));
  if (tailStart >= text.size()) return 0;

  // Leading digits count, anything after them is ignored; stop as soon as the value
  // leaves the table so a long tail cannot overflow.
  int offset = 0;
  bool anyDigit = false;
  for (size_t i = tailStart; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    anyDigit = true;
    offset = offset * 10 + (text[i] - '0');
    if (offset > kStringCount) return 0;
  }
  return anyDigit ? offset : 0;
}

void LocalizeCaptions(Form& form, int16_t languageBase) {
  Localize(form.Caption, languageBase);
  for (Control& control : form.Controls) {
    switch (control.Kind) {
      case ControlKind::Frame:
      case ControlKind::Label:
      case ControlKind::CommandButton:
      case ControlKind::CheckBox:
      case ControlKind::Menu:
        Localize(control.Caption, languageBase);
        break;
      case ControlKind::TabStrip:
        for (std::string& tab : control.Tabs) Localize(tab, languageBase);
        break;
      case ControlKind::ComboBox:
        // Replaced in place, so the items keep their order and indices.
        for (std::string& item : control.Items) Localize(item, languageBase);
        control.SelectedIndex = -1;
        break;
      case ControlKind::Other:
        break;
    }
  }
}

}  // namespace postvane
