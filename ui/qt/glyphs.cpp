#include "ui/qt/glyphs.h"

#include <QBitmap>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <algorithm>
#include <vector>

#include "ui/glyph_shapes.h"

namespace ui::qt {

namespace {
QColor Qc(TColor c) { return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)); }

// The shapes with Qt's antialiasing, on a clear picture.
QImage Picture(TGlyph glyph, int s) {
    QImage img(s, s, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    for (const TGlyphShape& shape : GlyphShapes(glyph)) {
        QPolygonF points;
        for (const TGlyphPoint& pt : shape.Points) points << QPointF(pt.X * s, pt.Y * s);
        if (shape.Kind == TGlyphShape::Polygon) {
            p.setPen(QPen(Qc(shape.Line), 1));
            p.setBrush(Qc(shape.Fill));
            p.drawPolygon(points);
        } else {
            p.setPen(QPen(Qc(shape.Line), std::max(1.0, shape.Width * s), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(points);
        }
    }
    return img;
}

// Flattens a picture onto the transparent colour: edge pixels keep their blend, which is how
// such strips always looked, and nearly clear pixels become the transparent colour itself.
std::vector<TColor> Flattened(const QImage& pic) {
    std::vector<TColor> out;
    out.reserve(size_t(pic.width()) * size_t(pic.height()));
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x) {
            const QColor c = pic.pixelColor(x, y);
            out.push_back(c.alpha() < 96 ? kGlyphTransparent : TColor(c.rgb()) & 0xFFFFFF);
        }
    return out;
}
}  // namespace

QImage GlyphStrip(TGlyph Glyph, int Size) {
    if (Glyph == TGlyph::None || Size <= 0) return {};
    const std::vector<TColor> strip = GlyphStripOf(Flattened(Picture(Glyph, Size)), Size);
    QImage img(2 * Size, Size, QImage::Format_RGB32);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < 2 * Size; ++x) img.setPixel(x, y, 0xFF000000u | strip[size_t(y * 2 * Size + x)]);
    return img;
}

QIcon GlyphIcon(TGlyph Glyph, int Size) {
    const QImage strip = GlyphStrip(Glyph, Size);
    if (strip.isNull()) return {};
    const QColor key = strip.pixelColor(0, Size - 1);
    auto cut = [&](int x) {
        QPixmap pm = QPixmap::fromImage(strip.copy(x, 0, Size, Size));
        pm.setMask(pm.createMaskFromColor(key, Qt::MaskInColor));
        return pm;
    };
    QIcon icon;
    icon.addPixmap(cut(0), QIcon::Normal);
    icon.addPixmap(cut(Size), QIcon::Disabled);
    return icon;
}

}  // namespace ui::qt
