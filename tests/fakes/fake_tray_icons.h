// Tray icons for tests: every write is recorded in order, the current state is readable.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "ports/tray_icons.h"

namespace postvane {

class FakeTrayIcons : public TrayIcons {
 public:
  enum class What { Picture, ToolTip, Visible };

  struct Write {
    What Kind = What::Picture;
    int Index = 0;
    int IconId = 0;    // Picture
    std::string Text;  // ToolTip
    bool Visible = false;
    bool operator==(const Write&) const = default;

    friend void PrintTo(const Write& w, std::ostream* os) {
      switch (w.Kind) {
        case What::Picture:
          *os << "Picture(" << w.Index << ", " << w.IconId << ")";
          break;
        case What::ToolTip:
          *os << "ToolTip(" << w.Index << ", \"" << w.Text << "\")";
          break;
        case What::Visible:
          *os << "Visible(" << w.Index << ", " << (w.Visible ? "true" : "false") << ")";
          break;
      }
    }
  };

  // The component's state when the main window is created.
  std::array<int, kTrayIcons> Picture{};
  std::array<std::string, kTrayIcons> ToolTip{};
  std::array<bool, kTrayIcons> Visible{};
  std::vector<Write> Writes;

  FakeTrayIcons() {
    Picture.fill(101);
    Visible.fill(false);
    Visible[0] = true;
  }

  void SetTrayPicture(int index, int iconId) override {
    Picture.at(index) = iconId;
    Writes.push_back({What::Picture, index, iconId, {}, false});
  }
  std::string GetTrayToolTip(int index) override { return ToolTip.at(index); }
  void SetTrayToolTip(int index, const std::string& text) override {
    ToolTip.at(index) = text;
    Writes.push_back({What::ToolTip, index, 0, text, false});
  }
  bool GetTrayVisible(int index) override { return Visible.at(index); }
  void SetTrayVisible(int index, bool visible) override {
    Visible.at(index) = visible;
    Writes.push_back({What::Visible, index, 0, {}, visible});
  }

  static Write PictureWrite(int index, int iconId) {
    return {What::Picture, index, iconId, {}, false};
  }
  static Write ToolTipWrite(int index, std::string text) {
    return {What::ToolTip, index, 0, std::move(text), false};
  }
  static Write VisibleWrite(int index, bool visible) {
    return {What::Visible, index, 0, {}, visible};
  }

  // Indices of the icons that stand in the notification area.
  std::vector<int> VisibleIcons() const {
    std::vector<int> result;
    for (int i = 0; i < kTrayIcons; ++i) {
      if (Visible[i]) result.push_back(i);
    }
    return result;
  }

  // The writes made to one icon, in order.
  std::vector<Write> WritesTo(int index) const {
    std::vector<Write> result;
    for (const Write& w : Writes) {
      if (w.Index == index) result.push_back(w);
    }
    return result;
  }

  int CountWrites(What kind) const {
    int n = 0;
    for (const Write& w : Writes) n += w.Kind == kind ? 1 : 0;
    return n;
  }
};

}  // namespace postvane
