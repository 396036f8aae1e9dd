#include "ui/qt/glyphs.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ui::qt {

namespace {
// Olive never appears in the pictures, so it can stand for "transparent".
const QColor kTransparentKey(128, 128, 0);

void DrawCross(QPainter& p, int s) {
    QPen pen(QColor(204, 0, 0), s / 6.0, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const qreal m = s * 0.22;
    p.drawLine(QPointF(m, m), QPointF(s - m, s - m));
    p.drawLine(QPointF(s - m, m), QPointF(m, s - m));
}

void DrawArrowIntoPage(QPainter& p, int s) {
    // A white page with a folded corner on the right...
    const qreal l = s * 0.40, t = 1, r = s - 1.5, b = s - 1, fold = s * 0.25;
    QPainterPath page;
    page.moveTo(l, t);
    page.lineTo(r - fold, t);
    page.lineTo(r, t + fold);
    page.lineTo(r, b);
    page.lineTo(l, b);
    page.closeSubpath();
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(r - fold, t), QPointF(r - fold, t + fold));
    p.drawLine(QPointF(r - fold, t + fold), QPointF(r, t + fold));
    // ...and a red arrow pointing right into it.
    const qreal y = s / 2.0, head = s * 0.30;
    QPainterPath arrow;
    arrow.moveTo(1, y - s * 0.09);
    arrow.lineTo(s * 0.62 - head, y - s * 0.09);
    arrow.lineTo(s * 0.62 - head, y - head * 0.85);
    arrow.lineTo(s * 0.72, y);
    arrow.lineTo(s * 0.62 - head, y + head * 0.85);
    arrow.lineTo(s * 0.62 - head, y + s * 0.09);
    arrow.lineTo(1, y + s * 0.09);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(128, 0, 0), 1));
    p.setBrush(QColor(230, 0, 0));
    p.drawPath(arrow);
}

void DrawDoorUnderSign(QPainter& p, int s) {
    // A green sign above...
    p.setPen(QPen(QColor(0, 90, 0), 1));
    p.setBrush(QColor(0, 170, 0));
    p.drawRect(QRectF(s * 0.22, 0.5, s * 0.56, s * 0.22));
    // ...a door frame with the opening dark...
    const QRectF frame(s * 0.22, s * 0.30, s * 0.56, s * 0.68);
    p.setPen(QPen(QColor(80, 50, 20), 1));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(frame);
    // ...and the door swung open towards the viewer.
    QPainterPath door;
    door.moveTo(frame.left(), frame.top());
    door.lineTo(frame.left() + s * 0.34, frame.top() + s * 0.10);
    door.lineTo(frame.left() + s * 0.34, frame.bottom() + s * 0.02);
    door.lineTo(frame.left(), frame.bottom());
    door.closeSubpath();
    p.setBrush(QColor(170, 110, 50));
    p.drawPath(door);
    p.setPen(QPen(QColor(240, 220, 80), 1.5));
    p.drawPoint(QPointF(frame.left() + s * 0.28, frame.center().y() + s * 0.06));
}

void DrawCheckMark(QPainter& p, int s) {
    QPen pen(QColor(0, 150, 0), s / 6.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(s * 0.18, s * 0.55);
    tick.lineTo(s * 0.42, s * 0.78);
    tick.lineTo(s * 0.84, s * 0.24);
    p.drawPath(tick);
}

QImage Picture(TGlyph glyph, int s) {
    QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case TGlyph::Cross: DrawCross(p, s); break;
    case TGlyph::ArrowIntoPage: DrawArrowIntoPage(p, s); break;
    case TGlyph::DoorUnderSign: DrawDoorUnderSign(p, s); break;
    case TGlyph::CheckMark: DrawCheckMark(p, s); break;
    case TGlyph::None: break;
    }
    return img;
}

// Flattens a picture onto the key colour: edge pixels blend towards it a little, which is
// how such strips always looked, and fully clear pixels become the key itself.
void Paste(QImage& strip, const QImage& pic, int x) {
    QPainter p(&strip);
    for (int y = 0; y < pic.height(); ++y)
        for (int i = 0; i < pic.width(); ++i) {
            const QColor c = pic.pixelColor(i, y);
            if (c.alpha() < 96) continue;
            p.setPen(QColor(c.red(), c.green(), c.blue()));
            p.drawPoint(x + i, y);
        }
}

QImage Greyed(const QImage& pic) {
    QImage out = pic.copy();
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QColor c = pic.pixelColor(x, y);
            if (c.alpha() == 0) continue;
            const int grey = 128 + qGray(c.rgb()) / 3;
            out.setPixelColor(x, y, QColor(grey, grey, grey, c.alpha()));
        }
    return out;
}
}  // namespace

QImage GlyphStrip(TGlyph Glyph, int Size) {
    if (Glyph == TGlyph::None || Size <= 0) return {};
    QImage strip(2 * Size, Size, QImage::Format_RGB32);
    strip.fill(kTransparentKey);
    const QImage pic = Picture(Glyph, Size);
    Paste(strip, pic, 0);
    Paste(strip, Greyed(pic), Size);
    // The lower-left pixel is the transparent colour by definition of the strip.
    strip.setPixelColor(0, Size - 1, kTransparentKey);
    return strip;
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
