#include "tests/ui/glyph_probes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "ui/glyph_shapes.h"

namespace ui::probes {

namespace {
// How far from an edge a pixel's centre must be, in pixels, for its colour to be certain:
// half a pixel of rounding, half of the pixel itself, half of antialiasing's blend.
constexpr double kMargin = 1.5;

double SegmentDistance(double px, double py, const TGlyphPoint& a, const TGlyphPoint& b, int s) {
    const double ax = a.X * s, ay = a.Y * s, dx = b.X * s - ax, dy = b.Y * s - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 == 0 ? 0 : std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

double PathDistance(double px, double py, const TGlyphShape& shape, int s, bool closed) {
    double d = 1e9;
    const size_t n = shape.Points.size();
    for (size_t i = 0; i + 1 < n + (closed ? 1 : 0); ++i)
        d = std::min(d, SegmentDistance(px, py, shape.Points[i], shape.Points[(i + 1) % n], s));
    return d;
}

bool Inside(double px, double py, const TGlyphShape& shape, int s) {
    bool in = false;
    const size_t n = shape.Points.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = shape.Points[i].X * s, yi = shape.Points[i].Y * s;
        const double xj = shape.Points[j].X * s, yj = shape.Points[j].Y * s;
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

double HalfWidth(const TGlyphShape& shape, int s) { return std::max(1.0, shape.Width * s) / 2; }
}  // namespace

std::vector<TGlyphProbe> GlyphProbes(TGlyph Glyph, int Size) {
    const std::vector<TGlyphShape>& shapes = GlyphShapes(Glyph);
    std::vector<TGlyphProbe> probes;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            bool known = true;
            TGlyphProbe probe{x, y, kGlyphTransparent, -1};
            for (size_t i = 0; i < shapes.size(); ++i) {
                const TGlyphShape& shape = shapes[i];
                const bool polygon = shape.Kind == TGlyphShape::Polygon;
                // A polygon's edge and a line's side are where the colour is uncertain.
                const double edge = polygon
                                        ? PathDistance(px, py, shape, Size, true)
                                        : std::abs(PathDistance(px, py, shape, Size, false) - HalfWidth(shape, Size));
                const bool covered = polygon ? Inside(px, py, shape, Size)
                                             : PathDistance(px, py, shape, Size, false) < HalfWidth(shape, Size);
                if (edge <= kMargin) {
                    known = false;
                } else if (covered) {
                    known = true;
                    probe.Color = polygon ? shape.Fill : shape.Line;
                    probe.Shape = int(i);
                }
            }
            if (known) probes.push_back(probe);
        }
    return probes;
}

void ExpectStripFollowsShapes(TGlyph Glyph, int Size, const std::function<TColor(int X, int Y)>& Pixel,
                              bool EveryShape) {
    const std::vector<TGlyphProbe> probes = GlyphProbes(Glyph, Size);
    std::set<int> shown;
    for (const TGlyphProbe& p : probes) {
        const std::string at = std::to_string(p.X) + "," + std::to_string(p.Y) + " of shape " + std::to_string(p.Shape);
        EXPECT_EQ(Pixel(p.X, p.Y), p.Color) << at;
        EXPECT_EQ(Pixel(Size + p.X, p.Y), GreyedGlyphColor(p.Color)) << at << " disabled";
        shown.insert(p.Shape);
    }
    EXPECT_EQ(Pixel(0, Size - 1), kGlyphTransparent) << "lower-left pixel";
    EXPECT_EQ(Pixel(Size, Size - 1), kGlyphTransparent) << "lower-left pixel, disabled";
    if (!EveryShape) return;
    const std::vector<TGlyphShape>& shapes = GlyphShapes(Glyph);
    for (size_t i = 0; i < shapes.size(); ++i) {
        if (shapes[i].Kind == TGlyphShape::Lines && shapes[i].Width * Size < 4) continue;  // too thin to be certain
        EXPECT_TRUE(shown.count(int(i))) << "shape " << i << " has no pixel of its own at " << Size;
    }
    EXPECT_TRUE(shown.count(-1)) << "no transparent pixel";
}

}  // namespace ui::probes
