// Draws every program icon at the sizes panels use, on a light and a dark panel, into one PNG:
// the icons exactly as the tray gets them, so a look at one picture checks them all.
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "desktop/gui/icon_library.h"

namespace {

constexpr int kCell = 56;
constexpr int kLabelWidth = 120;
constexpr int kHeader = 24;

struct Panel {
  const char* name;
  QColor ground;
  QColor text;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: postvane-icon-sheet OUTPUT.png\n");
    return 64;
  }
  QList<int> ids{1};
  for (int id = 101; id <= 137; ++id) ids.append(id);
  const Panel panels[] = {{"light panel", QColor(0xf2, 0xf2, 0xf2), QColor(0x20, 0x20, 0x20)},
                          {"dark panel", QColor(0x2b, 0x2b, 0x2b), QColor(0xe8, 0xe8, 0xe8)}};

  const int sizes = static_cast<int>(std::size(postvane::kTraySizes));
  const int blockHeight = kHeader + sizes * kCell;
  QImage sheet(kLabelWidth + static_cast<int>(ids.size()) * kCell, 2 * blockHeight,
               QImage::Format_ARGB32);
  QPainter painter(&sheet);
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);

  for (int b = 0; b < 2; ++b) {
    const Panel& panel = panels[b];
    const int top = b * blockHeight;
    painter.fillRect(0, top, sheet.width(), blockHeight, panel.ground);
    painter.setPen(panel.text);
    painter.drawText(QRect(4, top, kLabelWidth - 8, kHeader), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromLatin1(panel.name));
    for (int c = 0; c < ids.size(); ++c) {
      painter.drawText(QRect(kLabelWidth + c * kCell, top, kCell, kHeader), Qt::AlignCenter,
                       QString::number(ids[c]));
    }
    for (int r = 0; r < sizes; ++r) {
      const int size = postvane::kTraySizes[r];
      const int y = top + kHeader + r * kCell;
      painter.drawText(QRect(4, y, kLabelWidth - 8, kCell), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("%1 px").arg(size));
      for (int c = 0; c < ids.size(); ++c) {
        const QPixmap pixmap = postvane::ProgramIcon(ids[c]).pixmap(size, size);
        const int x = kLabelWidth + c * kCell + (kCell - size) / 2;
        painter.drawPixmap(x, y + (kCell - size) / 2, pixmap);
      }
    }
  }
  painter.end();
  if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
