// The program's pictures by icon resource number, drawn from the embedded SVG files.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;

namespace postvane {

// The sizes panels and windows ask for; every icon is rendered at each of them, so none is
// scaled from another size.
inline constexpr int kTraySizes[] = {16, 22, 24, 32, 48};
inline constexpr int kHighDensitySize = 64;

// Icon 1 and 101 to 137; an unknown number gives a null icon. Rendered once, then cached.
QIcon ProgramIcon(int iconId);

// One rendering of icon iconId, `size` device-independent pixels square, for the given
// device pixel ratio.
QPixmap IconPixmap(int iconId, int size, qreal devicePixelRatio = 1.0);

// Marker picture 124..133 with its flag painted in `color` ("#rrggbb"); ProgramIcon(iconId) for
// any other picture or colour. Cached like ProgramIcon.
QIcon MarkerIcon(int iconId, const QString& color);

// True when the embedded picture of that number exists and is a valid SVG.
bool HasIconPicture(int iconId);

// Paints the program logo stretched into `target`.
void PaintLogo(QPainter& painter, const QRectF& target);

// Resource path of an icon number: ":/icons/<id>.svg".
QString IconResourcePath(int iconId);
QString LogoResourcePath();

}  // namespace postvane
