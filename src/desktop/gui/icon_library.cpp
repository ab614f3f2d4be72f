// Renders the embedded SVG pictures with QSvgRenderer, so no image plugin is needed at run time.
#include "desktop/gui/icon_library.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>
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

QIcon MarkerIcon(int iconId, const QString& color) {
  static const QRegularExpression kColor(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
  constexpr int kFirstMarker = 124;
  constexpr int kLastMarker = 133;
  if (iconId < kFirstMarker || iconId > kLastMarker || !kColor.match(color).hasMatch()) {
    return ProgramIcon(iconId);
  }
  static QHash<QString, QIcon> cache;
  const QString key = QString::number(iconId) + color;
  auto it = cache.constFind(key);
  if (it != cache.constEnd()) return *it;

  EnsureResources();
  QFile file(IconResourcePath(iconId));
  if (!file.open(QIODevice::ReadOnly)) return ProgramIcon(iconId);
  QString svg = QString::fromUtf8(file.readAll());
  // The flag is the one rectangle "M7.5,1.5 H24.5 V20.5 H7.5 Z" in every marker picture.
  static const QRegularExpression kFlag(
      QStringLiteral("(<path d=\"M7\\.5,1\\.5 H24\\.5 V20\\.5 H7\\.5 Z\" fill=\")#[0-9A-Fa-f]{6}"));
  svg.replace(kFlag, QStringLiteral("\\1") + color);
  QSvgRenderer renderer(svg.toUtf8());
  if (!renderer.isValid()) return ProgramIcon(iconId);
  QIcon icon;
  for (int size : kTraySizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    icon.addPixmap(pixmap);
  }
  cache.insert(key, icon);
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
