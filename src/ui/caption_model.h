// A window as the caption substitution sees it: its caption and its controls' texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace postvane {

// Only these kinds carry texts that hold caption codes; everything else is Other.
enum class ControlKind { Frame, Label, CommandButton, CheckBox, Menu, TabStrip, ComboBox, Other };

struct Control {
  std::string Name;  // e.g. "mnuCheckNow", so the front end can find its widget again
  ControlKind Kind = ControlKind::Other;
  std::string Caption;
  std::vector<std::string> Tabs;   // TabStrip: tab 1 is Tabs[0]
  std::vector<std::string> Items;  // ComboBox list items
  int16_t SelectedIndex = -1;      // ComboBox: -1 when no item is selected
};

struct Form {
  std::string Name;  // e.g. "frmConfig"
  std::string Caption;
  std::vector<Control> Controls;  // in the order of the window's control collection
};

// True when the text starts with exactly "res" in lower case.
bool IsCaptionCode(std::string_view text);

// The string offset a caption code names: the number from its fifth character on
// ("res134" gives 34). 0 when the text is no caption code or names no string (1 to 64).
int CaptionCodeOffset(std::string_view text);

// Replaces every caption code of the form and its controls by the string of the language
// whose ids start at languageBase. Combo boxes end with no item selected.
void LocalizeCaptions(Form& form, int16_t languageBase);

}  // namespace postvane
