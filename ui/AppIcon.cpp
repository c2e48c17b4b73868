#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace {

// The drawing works in a 64 x 64 grid, like the SVG's view box.
constexpr qreal Grid = 64.0;

const QColor TileColor(0x1f, 0x5f, 0xa8);
const QColor TileEdge(0x14, 0x3f, 0x70);
const QColor DropColor(0xff, 0xff, 0xff);
const QColor CurveColor(0x1f, 0x5f, 0xa8);

QPainterPath DropPath()
{
    QPainterPath drop;
    drop.moveTo(32, 8);
    drop.cubicTo(28, 14, 16, 28, 16, 38);
    drop.arcTo(QRectF(16, 22, 32, 32), 180, 180);
    drop.cubicTo(48, 28, 36, 14, 32, 8);
    drop.closeSubpath();
    return drop;
}

// Rise with the infusion, then the plateau.
QPainterPath CurvePath()
{
    QPainterPath curve;
    curve.moveTo(21, 45);
    curve.cubicTo(25, 34, 32, 32, 43, 32);
    return curve;
}

} // namespace

QImage ApplicationIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Grid, size / Grid);

    painter.setPen(QPen(TileEdge, 2.0));
    painter.setBrush(TileColor);
    painter.drawRoundedRect(QRectF(3, 3, 58, 58), 12, 12);

    painter.setPen(Qt::NoPen);
    painter.setBrush(DropColor);
    painter.drawPath(DropPath());

    // Below 24 pixels the curve would only blur the drop.
    if (size >= 24) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(CurveColor, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(CurvePath());
    }
    return image;
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (const int size : std::array{16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ApplicationIconImage(size)));
    return icon;
}
