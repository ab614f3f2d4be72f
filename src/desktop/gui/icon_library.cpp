// Renders the embedded SVG pictures with QSvgRenderer, so no image plugin is needed at run time.
#include "desktop/gui/icon_library.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace postvane {

namespace {

// Resources of a static library are registered only when asked for by name.
void EnsureResources() {
  static const bool registered = [] {
    InitIconResources();
    return true;
  }();
  (void)registered;
}

}  // namespace

QString IconResourcePath(int iconId) { return QStringLiteral(":/icons/%1.svg").arg(iconId); }

QString LogoResourcePath() { return QStringLiteral(":/icons/logo.svg"); }

bool HasIconPicture(int iconId) {
  EnsureResources();
  QSvgRenderer renderer(IconResourcePath(iconId));
  return renderer.isValid();
}

QPixmap IconPixmap(int iconId, int size, qreal devicePixelRatio) {
  EnsureResources();
  QSvgRenderer renderer(IconResourcePath(iconId));
  if (!renderer.isValid() || size <= 0) return QPixmap();
  const int pixels = qMax(1, qRound(size * devicePixelRatio));
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

QIcon ProgramIcon(int iconId) {
  static QHash<int, QIcon> cache;
  auto it = cache.constFind(iconId);
  if (it != cache.constEnd()) return *it;
  QIcon icon;
  for (int size : kTraySizes) {
    const QPixmap pixmap = IconPixmap(iconId, size);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  // A high-density screen asks for twice the size; have it rather than scale up.
  const QPixmap large = IconPixmap(iconId, kHighDensitySize);
  if (!large.isNull()) icon.addPixmap(large);
  cache.insert(iconId, icon);
  return icon;
}

void PaintLogo(QPainter& painter, const QRectF& target) {
  EnsureResources();
  QSvgRenderer renderer(LogoResourcePath());
  if (!renderer.isValid()) return;
  renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, target);
  painter.restore();
}

}  // namespace postvane
