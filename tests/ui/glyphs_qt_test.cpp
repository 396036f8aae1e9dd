// The buttons' pictures as Qt draws them follow the shapes every runtime shares.
#include <gtest/gtest.h>

#include <QImage>

#include "tests/ui/glyph_probes.h"
#include "ui/qt/glyphs.h"

using namespace ui;

namespace {
TEST(QtGlyphs, EveryPictureShowsTheSharedShapes) {
    for (TGlyph g : {TGlyph::Cross, TGlyph::ArrowIntoPage, TGlyph::DoorUnderSign, TGlyph::CheckMark})
        for (int size : {18, 48}) {
            SCOPED_TRACE(std::to_string(int(g)) + " at " + std::to_string(size));
            const QImage strip = qt::GlyphStrip(g, size);
            ASSERT_EQ(strip.size(), QSize(2 * size, size));
            probes::ExpectStripFollowsShapes(
                g, size, [&](int x, int y) { return TColor(strip.pixel(x, y)) & 0xFFFFFF; }, size == 48);
        }
}
}  // namespace
