// How the icons look where they are shown: at every size a panel asks for, on light and dark
// panels, and with the new-mail markers telling a different story from checking and errors.
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <vector>

#include "desktop/gui/icon_library.h"
#include "desktop/gui_test_main.h"

namespace postvane {
namespace {

constexpr int kIdle = 101;
constexpr int kError = 103;
constexpr int kFirstMarker = 124;
constexpr int kFirstChecking = 134;
constexpr int kMailboxes = 10;
constexpr int kCheckingFrames = 4;

struct Panel {
  const char* name;
  QColor ground;
};

const Panel kPanels[] = {{"light", QColor(0xf2, 0xf2, 0xf2)},
                         {"dark", QColor(0x2b, 0x2b, 0x2b)},
                         {"mid", QColor(0x80, 0x80, 0x80)}};

std::vector<int> AllIcons() {
  std::vector<int> ids{1};
  for (int id = 101; id <= 137; ++id) ids.push_back(id);
  return ids;
}

// The icon as the panel shows it: drawn over the panel's colour.
QImage OnPanel(int iconId, int size, const QColor& ground) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(ground);
  QPainter painter(&image);
  painter.drawPixmap(0, 0, ProgramIcon(iconId).pixmap(size, size));
  return image;
}

// Distance of two colours, 0 (same) to 1 (black and white).
double Distance(QRgb p, QRgb q) {
  const double r = qRed(p) - qRed(q);
  const double g = qGreen(p) - qGreen(q);
  const double b = qBlue(p) - qBlue(q);
  return std::sqrt((r * r + g * g + b * b) / 3.0) / 255.0;
}

// Share of the icon's square that stands clearly apart from the panel.
double Visible(const QImage& image, const QColor& ground) {
  int clear = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (Distance(image.pixel(x, y), ground.rgb()) > 0.3) ++clear;
    }
  }
  return static_cast<double>(clear) / (image.width() * image.height());
}

// Mean colour distance per pixel, 0 (same) to 1.
double Difference(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) sum += Distance(a.pixel(x, y), b.pixel(x, y));
  }
  return sum / (a.width() * a.height());
}

class IconOnPanelTest : public testing::TestWithParam<std::tuple<int, int>> {
 protected:
  const Panel& panel() const { return kPanels[std::get<0>(GetParam())]; }
  int size() const { return kTraySizes[std::get<1>(GetParam())]; }
};

TEST_P(IconOnPanelTest, EveryPictureIsDrawnForThisSizeAndStandsOut) {
  for (int id : AllIcons()) {
    const QIcon icon = ProgramIcon(id);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size(), size())))
        << "picture " << id << " would be scaled from another size";
    const double visible = Visible(OnPanel(id, size(), panel().ground), panel().ground);
    EXPECT_GT(visible, 0.12) << "picture " << id << " at " << size() << " px fades into a "
                             << panel().name << " panel";
  }
}

TEST_P(IconOnPanelTest, NewMailMarkersLookNeitherLikeCheckingNorLikeAnError) {
  std::vector<int> others{kIdle, kError};
  for (int k = 0; k < kCheckingFrames; ++k) others.push_back(kFirstChecking + k);
  for (int i = 0; i < kMailboxes; ++i) {
    const QImage marker = OnPanel(kFirstMarker + i, size(), panel().ground);
    for (int other : others) {
      EXPECT_GT(Difference(marker, OnPanel(other, size(), panel().ground)), 0.12)
          << "marker of mailbox " << i << " resembles picture " << other << " at " << size()
          << " px on a " << panel().name << " panel";
    }
    for (int j = 0; j < i; ++j) {
      EXPECT_GT(Difference(marker, OnPanel(kFirstMarker + j, size(), panel().ground)), 0.04)
          << "markers of mailboxes " << i << " and " << j << " are hard to tell apart at " << size()
          << " px on a " << panel().name << " panel";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PanelsAndSizes, IconOnPanelTest,
                         testing::Combine(testing::Range(0, static_cast<int>(std::size(kPanels))),
                                          testing::Range(0,
                                                         static_cast<int>(std::size(kTraySizes)))),
                         [](const testing::TestParamInfo<std::tuple<int, int>>& info) {
                           return std::string(kPanels[std::get<0>(info.param)].name) + "_" +
                                  std::to_string(kTraySizes[std::get<1>(info.param)]) + "px";
                         });

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
