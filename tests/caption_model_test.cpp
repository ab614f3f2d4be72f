// Caption substitution: which texts are caption codes and how forms are rewritten.
#include "ui/caption_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/string_table.h"

namespace postvane {
namespace {

constexpr int16_t kEnglish = 900;
constexpr int16_t kGerman = 700;

struct CodeCase {
  const char* Text;
  bool IsCode;
  int Offset;
};

class CaptionCodeTest : public testing::TestWithParam<CodeCase> {};

TEST_P(CaptionCodeTest, RecognisesCodeAndOffset) {
  EXPECT_EQ(IsCaptionCode(GetParam().Text), GetParam().IsCode);
  EXPECT_EQ(CaptionCodeOffset(GetParam().Text), GetParam().Offset);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CaptionCodeTest,
    testing::Values(
        CodeCase{"res101", true, 1}, CodeCase{"res110", true, 10}, CodeCase{"res122", true, 22},
        CodeCase{"res134", true, 34}, CodeCase{"res164", true, 64},
        // The digit after "res" is never read.
        CodeCase{"res034", true, 34}, CodeCase{"res934", true, 34}, CodeCase{"resX34", true, 34},
        CodeCase{"res\u00e934", true, 34}, CodeCase{"res12", true, 2}, CodeCase{"res1007", true, 7},
        // Digits first, whatever follows them is ignored.
        CodeCase{"res101 ", true, 1}, CodeCase{"res12x", true, 2},
        // Codes that name no string are left alone.
        CodeCase{"res", true, 0}, CodeCase{"res1", true, 0}, CodeCase{"res100", true, 0},
        CodeCase{"res165", true, 0}, CodeCase{"res199", true, 0}, CodeCase{"res1x", true, 0},
        CodeCase{"res1-5", true, 0}, CodeCase{"res1 34", true, 0},
        CodeCase{"res199999999999999999999", true, 0}, CodeCase{"resources", true, 0},
        // Not codes at all.
        CodeCase{"Res101", false, 0}, CodeCase{"RES101", false, 0}, CodeCase{"rES101", false, 0},
        CodeCase{"re", false, 0}, CodeCase{"", false, 0}, CodeCase{" res101", false, 0},
        CodeCase{"min.", false, 0}, CodeCase{"Check1", false, 0}, CodeCase{"SysTray", false, 0},
        CodeCase{"Version 2.10.3", false, 0}, CodeCase{"Notify Options", false, 0}));

Control MakeControl(std::string name, ControlKind kind, std::string caption) {
  Control control;
  control.Name = std::move(name);
  control.Kind = kind;
  control.Caption = std::move(caption);
  return control;
}

// The tray menu of the main window, with its placeholder captions.
Form TrayMenuForm() {
  Form form;
  form.Name = "frmMain";
  form.Caption = "Postvane";
  const char* names[] = {"mnuCheckNow", "mnuMailReader", "mnuStatus", "mnuMdaemon",
                         "mnuConfig",   "mnuAbout",      "mnuExit"};
  for (int i = 0; i < 7; ++i) {
    form.Controls.push_back(
        MakeControl(names[i], ControlKind::Menu, "res" + std::to_string(134 + i)));
  }
  form.Controls.push_back(MakeControl("SysTray", ControlKind::Other, "SysTray"));
  return form;
}

std::vector<std::string> Captions(const Form& form, ControlKind kind) {
  std::vector<std::string> captions;
  for (const Control& control : form.Controls) {
    if (control.Kind == kind) captions.push_back(control.Caption);
  }
  return captions;
}

TEST(LocalizeCaptionsTest, TrayMenuInEnglish) {
  Form form = TrayMenuForm();
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(Captions(form, ControlKind::Menu),
            (std::vector<std::string>{"Check Now", "Run Mail Reader", "Show Status",
                                      "Process MDaemon", "Configuration", "About ...", "Exit"}));
  EXPECT_EQ(form.Caption, "Postvane");
  EXPECT_EQ(form.Controls.back().Caption, "SysTray");
}

TEST(LocalizeCaptionsTest, TrayMenuInGerman) {
  Form form = TrayMenuForm();
  LocalizeCaptions(form, kGerman);
  EXPECT_EQ(
      Captions(form, ControlKind::Menu),
      (std::vector<std::string>{"Mails überprüfen", "Starte Mailprogramm", "Zeige Statusfenster",
                                "Starte MDaemon", "Konfiguration", "Info ...", "Beenden"}));
}

TEST(LocalizeCaptionsTest, FormCaptionCodeIsReplaced) {
  Form form;
  form.Caption = "res132";
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Caption, "Configuration");

  Form about;
  about.Caption = "res133";
  LocalizeCaptions(about, 1600);
  EXPECT_EQ(about.Caption, "Informazioni su \u2026");
}

struct KindCase {
  ControlKind Kind;
  bool Replaced;
};

class CaptionKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(CaptionKindTest, OnlyCaptionedKindsAreRewritten) {
  Form form;
  form.Controls.push_back(MakeControl("control", GetParam().Kind, "res120"));
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Controls[0].Caption, GetParam().Replaced ? "Browse" : "res120");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CaptionKindTest,
    testing::Values(KindCase{ControlKind::Frame, true}, KindCase{ControlKind::Label, true},
                    KindCase{ControlKind::CommandButton, true},
                    KindCase{ControlKind::CheckBox, true}, KindCase{ControlKind::Menu, true},
                    KindCase{ControlKind::TabStrip, false}, KindCase{ControlKind::ComboBox, false},
                    KindCase{ControlKind::Other, false}));

TEST(LocalizeCaptionsTest, OtherControlsAreNotTouched) {
  Form form;
  Control other = MakeControl("txtUser", ControlKind::Other, "res104");
  other.Tabs = {"res101"};
  other.Items = {"res122"};
  other.SelectedIndex = 0;
  form.Controls.push_back(other);
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Controls[0].Caption, "res104");
  EXPECT_EQ(form.Controls[0].Tabs, std::vector<std::string>{"res101"});
  EXPECT_EQ(form.Controls[0].Items, std::vector<std::string>{"res122"});
  EXPECT_EQ(form.Controls[0].SelectedIndex, 0);
}

TEST(LocalizeCaptionsTest, FixedCaptionsStayUnchanged) {
  Form form;
  form.Caption = "Status";
  for (const char* caption : {"min.", "Check1", "Notify Options", "Version 2.10.3", "Res101",
                              "RES101", "res", "res100", "res165"}) {
    form.Controls.push_back(MakeControl(caption, ControlKind::Label, caption));
  }
  const Form before = form;
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Caption, "Status");
  for (size_t i = 0; i < form.Controls.size(); ++i) {
    EXPECT_EQ(form.Controls[i].Caption, before.Controls[i].Caption);
  }
}

TEST(LocalizeCaptionsTest, TabStripTabsInOrder) {
  Form form;
  Control tabs = MakeControl("TabStrip1", ControlKind::TabStrip, "");
  tabs.Tabs = {"res101", "res110", "res126"};
  form.Controls.push_back(tabs);
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Controls[0].Tabs,
            (std::vector<std::string>{"Mailboxes", "General 1", "General 2"}));

  form.Controls[0].Tabs = {"res101", "Check1", "res126"};
  LocalizeCaptions(form, kGerman);
  EXPECT_EQ(form.Controls[0].Tabs, (std::vector<std::string>{"Postfächer", "Check1", "General 2"}));
}

TEST(LocalizeCaptionsTest, ComboItemsReplacedInPlaceAndNothingSelected) {
  Form form;
  Control combo = MakeControl("cmbDoubleClick", ControlKind::ComboBox, "");
  combo.Items = {"res122", "res123", "res124"};
  combo.SelectedIndex = 1;
  form.Controls.push_back(combo);

  Form german = form;
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Controls[0].Items,
            (std::vector<std::string>{"[Run Mailreader]", "[Show Status]", "[Check Mail]"}));
  EXPECT_EQ(form.Controls[0].SelectedIndex, -1);

  LocalizeCaptions(german, kGerman);
  EXPECT_EQ(german.Controls[0].Items,
            (std::vector<std::string>{"[Starte Mailprogramm]", "[Zeige Statusfenster]",
                                      "[Überprüfe Mails]"}));
  EXPECT_EQ(german.Controls[0].SelectedIndex, -1);
}

TEST(LocalizeCaptionsTest, ComboSelectionClearedEvenWithoutCodes) {
  Form form;
  Control plain = MakeControl("cmbMailbox", ControlKind::ComboBox, "");
  plain.Items = {"0", "1", "2"};
  plain.SelectedIndex = 2;
  Control empty = MakeControl("cmbEmpty", ControlKind::ComboBox, "");
  empty.SelectedIndex = 0;
  form.Controls = {plain, empty};
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Controls[0].Items, (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(form.Controls[0].SelectedIndex, -1);
  EXPECT_EQ(form.Controls[1].SelectedIndex, -1);
}

TEST(LocalizeCaptionsTest, MixedComboKeepsOrder) {
  Form form;
  Control combo = MakeControl("cmb", ControlKind::ComboBox, "");
  combo.Items = {"plain", "res124", "Res122", "res122"};
  form.Controls.push_back(combo);
  LocalizeCaptions(form, kEnglish);
  EXPECT_EQ(form.Controls[0].Items,
            (std::vector<std::string>{"plain", "[Check Mail]", "Res122", "[Run Mailreader]"}));
}

// No localized text begins with "res", so running twice changes nothing more.
TEST(LocalizeCaptionsTest, SecondRunChangesNothing) {
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    for (int offset = 1; offset <= kStringCount; ++offset) {
      SCOPED_TRACE(base + offset);
      EXPECT_FALSE(IsCaptionCode(LoadResourceString(base + offset)));
    }
    Form form = TrayMenuForm();
    LocalizeCaptions(form, base);
    const Form once = form;
    LocalizeCaptions(form, base);
    EXPECT_EQ(Captions(form, ControlKind::Menu), Captions(once, ControlKind::Menu));
  }
}

TEST(LocalizeCaptionsTest, EveryCodeOfEveryLanguage) {
  for (int16_t base : {300, 700, 900, 1000, 1600, 1900}) {
    for (int offset = 1; offset <= kStringCount; ++offset) {
      SCOPED_TRACE(base + offset);
      Form form;
      form.Controls.push_back(
          MakeControl("lbl", ControlKind::Label, "res" + std::to_string(100 + offset)));
      LocalizeCaptions(form, base);
      EXPECT_EQ(form.Controls[0].Caption, LoadResourceString(base + offset));
    }
  }
}

// A base outside the table has no texts: the codes stay rather than turning blank.
TEST(LocalizeCaptionsTest, UnknownLanguageBaseLeavesCodes) {
  for (int16_t base : {0, 100, 500, 2000, -900, 32767}) {
    SCOPED_TRACE(base);
    Form form = TrayMenuForm();
    form.Caption = "res132";
    LocalizeCaptions(form, base);
    EXPECT_EQ(form.Caption, "res132");
    EXPECT_EQ(form.Controls[0].Caption, "res134");
  }
}

}  // namespace
}  // namespace postvane
