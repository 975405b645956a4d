#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "clsPicfilter.h"
#include "picture_helpers.h"

namespace {

using Coords = std::vector<std::vector<double>>;

Coords polygon(std::initializer_list<std::pair<double, double>> vertices) {
    Coords c(2);
    for (auto [x, y] : vertices) {
        c[0].push_back(x);
        c[1].push_back(y);
    }
    return c;
}

bool inside(const clsPicfilter& f, int x, int y) {  // 0-based column and row
    return f.mask_pixels()[4 * (static_cast<std::size_t>(y) * f.width() + x) + 2] == 255;
}

std::vector<std::uint8_t> mask_copy(const clsPicfilter& f) {
    const std::uint8_t* m = f.mask_pixels();
    return m ? std::vector<std::uint8_t>(m, m + 4 * f.pixel_count()) : std::vector<std::uint8_t>{};
}

// Every mask pixel is one of the two kinds a polygon mask holds.
void expect_two_kinds(const clsPicfilter& f) {
    const std::uint8_t* m = f.mask_pixels();
    ASSERT_NE(m, nullptr);
    for (std::size_t i = 0; i < f.pixel_count(); ++i) {
        const std::uint8_t* p = m + 4 * i;
        const bool in = p[0] == 255 && p[1] == 255 && p[2] == 255, out = p[0] == 0 && p[1] == 0 && p[2] == 0;
        ASSERT_TRUE(in || out) << "pixel " << i;
        ASSERT_EQ(p[3], 0) << "pixel " << i;
    }
}

clsPicfilter with_picture(int w, int h, int value = 128) {
    clsPicfilter f;
    f.Picture(to_image(uniform_picture(w, h, value)));
    return f;
}

// --- polygons ------------------------------------------------------------

class UnitSquare : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(UnitSquare, MarksTheWholePicture) {
    auto [w, h] = GetParam();
    clsPicfilter f = with_picture(w, h);
    f.Mask(polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), 4);
    EXPECT_TRUE(f.mask_active());
    expect_two_kinds(f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_TRUE(inside(f, x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, UnitSquare,
                         ::testing::Values(std::pair{1, 1}, std::pair{2, 1}, std::pair{7, 3}, std::pair{64, 48},
                                           std::pair{301, 257}));

struct TriangleCase {
    int w, h;
    double x0, y0, x1, y1, x2, y2;
};
class Triangle : public ::testing::TestWithParam<TriangleCase> {};

double edge(double ax, double ay, double bx, double by, double px, double py) {
    return ((bx - ax) * (py - ay) - (by - ay) * (px - ax)) / std::hypot(bx - ax, by - ay);
}

TEST_P(Triangle, AreaAndShapeFollowTheExactTriangle) {
    const auto t = GetParam();
    clsPicfilter f = with_picture(t.w, t.h);
    f.Mask(polygon({{t.x0, t.y0}, {t.x1, t.y1}, {t.x2, t.y2}}), 3);
    expect_two_kinds(f);
    // Vertices in pixels, rounded as the mask rounds them.
    const double ax = std::nearbyint(t.w * t.x0), ay = std::nearbyint(t.h * t.y0);
    const double bx = std::nearbyint(t.w * t.x1), by = std::nearbyint(t.h * t.y1);
    const double cx = std::nearbyint(t.w * t.x2), cy = std::nearbyint(t.h * t.y2);
    const double area = std::abs((bx - ax) * (cy - ay) - (cx - ax) * (by - ay)) / 2;
    const double perimeter = std::hypot(bx - ax, by - ay) + std::hypot(cx - bx, cy - by) + std::hypot(ax - cx, ay - cy);
    const double orient = ((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) > 0 ? 1 : -1;
    long count = 0;
    for (int y = 0; y < t.h; ++y)
        for (int x = 0; x < t.w; ++x) {
            const bool in = inside(f, x, y);
            count += in;
            // Signed distance of the pixel centre inside the triangle.
            const double px = x + 0.5, py = y + 0.5;
            const double d = std::min({orient * edge(ax, ay, bx, by, px, py), orient * edge(bx, by, cx, cy, px, py),
                                       orient * edge(cx, cy, ax, ay, px, py)});
            if (d >= 1.0) {
                ASSERT_TRUE(in) << "deep inside: " << x << "," << y;
            }
            if (d <= -2.5) {
                ASSERT_FALSE(in) << "far outside: " << x << "," << y;
            }
        }
    // The marked area is the triangle plus a band one pixel wide along its
    // outline (the outer half of the 2-pixel pen), give or take what the
    // pixel grid and the rounded corners add.
    const double band = static_cast<double>(count) - area;
    EXPECT_NEAR(band, perimeter, 0.05 * perimeter + 4) << "area " << area;
}

INSTANTIATE_TEST_SUITE_P(Shapes, Triangle,
                         ::testing::Values(TriangleCase{200, 150, 0.1, 0.1, 0.9, 0.2, 0.5, 0.95},
                                           TriangleCase{97, 311, 0.05, 0.9, 0.95, 0.85, 0.3, 0.02},
                                           // clockwise, and a thin sliver
                                           TriangleCase{120, 120, 0.1, 0.5, 0.5, 0.9, 0.9, 0.1},
                                           TriangleCase{400, 100, 0.02, 0.1, 0.98, 0.5, 0.02, 0.9}));

TEST(MaskPolygon, SelfCrossingPolygonUsesTheAlternateRule) {
    // A five-pointed star drawn as one crossing path: its centre pentagon is
    // crossed twice and stays outside; its points are inside.
    const int n = 200;
    clsPicfilter f = with_picture(n, n);
    Coords star(2);
    for (int k = 0; k < 5; ++k) {
        const double a = -M_PI / 2 + k * 4 * M_PI / 5;
        star[0].push_back(0.5 + 0.45 * std::cos(a));
        star[1].push_back(0.5 + 0.45 * std::sin(a));
    }
    f.Mask(star, 5);
    expect_two_kinds(f);
    EXPECT_FALSE(inside(f, 100, 100));
    EXPECT_FALSE(inside(f, 105, 95));
    // Halfway out towards the top point, inside the point's spike.
    EXPECT_TRUE(inside(f, 100, 30));
    EXPECT_FALSE(inside(f, 2, 2));
}

TEST(MaskPolygon, VerticesRoundHalvesToTheEvenPixel) {
    // On 20 pixels, 0.125 -> 2.5 -> 2 and 0.825 -> 16.5 -> 16: the same mask
    // as 0.1 -> 2 and 0.8 -> 16, and not the one of 3 and 17.
    auto mask_of = [](double left, double right) {
        clsPicfilter f = with_picture(20, 20);
        f.Mask(polygon({{left, 0.3}, {right, 0.3}, {right, 0.6}, {left, 0.6}}), 4);
        return mask_copy(f);
    };
    const auto ties = mask_of(0.125, 0.825);
    EXPECT_EQ(ties, mask_of(0.1, 0.8));
    EXPECT_NE(ties, mask_of(0.15, 0.85));
}

TEST(MaskPolygon, EdgeFromFarAwayCrossesAtTheRightPlace) {
    // A huge triangle whose long edge runs along the picture's diagonal:
    // below-left of it is inside, above-right outside.
    for (double far : {10.0, 1.0e5, 3.0e7}) {
        SCOPED_TRACE(far);
        clsPicfilter f = with_picture(60, 60);
        f.Mask(polygon({{-far, -far}, {far, far}, {-far, far}}), 3);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) {
                if (y >= x + 2) {
                    ASSERT_TRUE(inside(f, x, y)) << x << "," << y;
                }
                if (y <= x - 2) {
                    ASSERT_FALSE(inside(f, x, y)) << x << "," << y;
                }
            }
    }
}

TEST(MaskPolygon, PolygonOutsideThePictureMarksNothing) {
    clsPicfilter f = with_picture(30, 30);
    f.Mask(polygon({{2, 2}, {3, 2}, {3, 3}}), 3);
    EXPECT_TRUE(f.mask_active());
    expect_two_kinds(f);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) ASSERT_FALSE(inside(f, x, y));
}

TEST(MaskPolygon, HundredAndOneVerticesAreAccepted) {
    clsPicfilter f = with_picture(64, 64);
    Coords c(2);
    for (int k = 0; k < 101; ++k) {
        c[0].push_back(0.5 + 0.4 * std::cos(2 * M_PI * k / 101));
        c[1].push_back(0.5 + 0.4 * std::sin(2 * M_PI * k / 101));
    }
    f.Mask(c, 101);
    EXPECT_TRUE(inside(f, 32, 32));
    EXPECT_FALSE(inside(f, 1, 1));
}

// --- switching off, and nothing to do --------------------------------------

class FewVertices : public ::testing::TestWithParam<int> {};

TEST_P(FewVertices, ClearActiveAndKeepThePixels) {
    std::mt19937 rng(7);
    clsPicfilter f;
    f.Picture(to_image(random_picture(23, 11, rng)));
    f.MaskBLC();
    const auto before = mask_copy(f);
    ASSERT_TRUE(f.mask_active());
    f.Mask(polygon({{0, 0}}), GetParam());
    EXPECT_FALSE(f.mask_active());
    EXPECT_EQ(mask_copy(f), before);
}

INSTANTIATE_TEST_SUITE_P(Counts, FewVertices, ::testing::Values(1, 0, -5));

TEST(MaskState, WithoutAPictureOnlyDeleteMaskActs) {
    clsPicfilter f;
    f.Mask(polygon({{0, 0}, {1, 0}, {1, 1}}), 3);
    f.MaskBLC();
    EXPECT_FALSE(f.mask_active());
    EXPECT_EQ(f.mask_pixels(), nullptr);

    // A picture, a mask, then a null picture: the operations do nothing.
    clsPicfilter g = with_picture(8, 8, 250);
    g.MaskBLC();
    const auto before = mask_copy(g);
    g.Picture(QImage());
    ASSERT_FALSE(g.initialized);
    g.Mask(polygon({{0, 0}, {1, 0}, {1, 1}}), 3);
    g.Mask(polygon({{0, 0}}), 1);  // would clear the mask on a held picture
    EXPECT_TRUE(g.mask_active());
    EXPECT_EQ(mask_copy(g), before);
    g.deleteMask();
    EXPECT_FALSE(g.mask_active());
}

// --- refused polygons ------------------------------------------------------

struct Refusal {
    const char* what;
    Coords coord;
    int nb_pt;
    bool out_of_range;  // otherwise an overflow
};
class RefusedPolygon : public ::testing::TestWithParam<Refusal> {};

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_P(RefusedPolygon, ReportsAndLeavesTheMaskAsItWas) {
    const auto& r = GetParam();
    std::mt19937 rng(3);
    for (bool was_active : {true, false}) {
        SCOPED_TRACE(was_active ? "mask was on" : "mask was off");
        clsPicfilter f;
        f.Picture(to_image(random_picture(31, 17, rng)));
        f.MaskBLC();
        if (!was_active) f.deleteMask();
        const auto before = mask_copy(f);
        if (r.out_of_range)
            EXPECT_THROW(f.Mask(r.coord, r.nb_pt), std::out_of_range);
        else
            EXPECT_THROW(f.Mask(r.coord, r.nb_pt), std::overflow_error);
        EXPECT_EQ(f.mask_active(), was_active);
        EXPECT_EQ(mask_copy(f), before);
    }
}

Coords many(int n) {
    Coords c(2, std::vector<double>(n, 0.5));
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedPolygon,
    ::testing::Values(Refusal{"102 vertices", many(102), 102, true},
                      Refusal{"table shorter than nb_pt", polygon({{0, 0}, {1, 0}, {1, 1}}), 4, true},
                      Refusal{"no y row", Coords{{0.0, 1.0, 1.0}}, 3, true},
                      Refusal{"y row shorter", Coords{{0.0, 1.0, 1.0}, {0.0, 1.0}}, 3, true},
                      Refusal{"infinite x", polygon({{0, 0}, {kInf, 0}, {1, 1}}), 3, false},
                      Refusal{"NaN y", polygon({{0, 0}, {1, kNaN}, {1, 1}}), 3, false},
                      Refusal{"x beyond 32 bits", polygon({{0, 0}, {1.0e9, 0}, {1, 1}}), 3, false},
                      Refusal{"y below 32 bits", polygon({{0, 0}, {1, -1.0e9}, {1, 1}}), 3, false}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (auto& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

// --- near-white mask -------------------------------------------------------

struct Colour {
    int b, g, r;
    bool inside;
};
class NearWhite : public ::testing::TestWithParam<Colour> {};

TEST_P(NearWhite, SumUnder700IsInside) {
    const auto c = GetParam();
    RefPicture p = uniform_picture(3, 2, 0);
    for (int y = 1; y <= 2; ++y)
        for (int x = 1; x <= 3; ++x) {
            p.at(1, x, y) = static_cast<std::uint8_t>(c.b);
            p.at(2, x, y) = static_cast<std::uint8_t>(c.g);
            p.at(3, x, y) = static_cast<std::uint8_t>(c.r);
            p.at(4, x, y) = static_cast<std::uint8_t>(17 * x + y);
        }
    clsPicfilter f;
    f.Picture(to_image(p));
    f.MaskBLC();
    EXPECT_TRUE(f.mask_active());
    const RefPicture m = from_buffer(f.mask_pixels(), 3, 2);
    const int v = c.inside ? 255 : 0;
    for (int y = 1; y <= 2; ++y)
        for (int x = 1; x <= 3; ++x) {
            EXPECT_EQ(m.at(1, x, y), v);
            EXPECT_EQ(m.at(2, x, y), v);
            EXPECT_EQ(m.at(3, x, y), v);
            EXPECT_EQ(m.at(4, x, y), 17 * x + y);  // fourth byte from the reference
        }
}

INSTANTIATE_TEST_SUITE_P(Sums, NearWhite,
                         ::testing::Values(Colour{255, 255, 255, false}, Colour{233, 233, 233, true},
                                           Colour{234, 233, 233, false}, Colour{233, 234, 233, false},
                                           Colour{233, 233, 234, false}, Colour{255, 255, 189, true},
                                           Colour{255, 190, 255, false}, Colour{0, 0, 0, true},
                                           Colour{255, 255, 0, true}));

TEST(NearWhite, RandomPicturesMatchThePlainRule) {
    std::mt19937 rng(11);
    // Sizes below and above the point where the pass is split between cores.
    for (auto [w, h] : {std::pair{1, 1}, std::pair{13, 7}, std::pair{1023, 611}}) {
        RefPicture p = random_picture(w, h, rng);
        // Crowd the colours around the limit so both sides are well covered.
        for (std::size_t i = 0; i < p.px.size(); i += 4)
            for (int c = 0; c < 3; ++c) p.px[i + c] = static_cast<std::uint8_t>(220 + p.px[i + c] % 36);
        clsPicfilter f;
        f.Picture(to_image(p));
        f.MaskBLC();
        const RefPicture m = from_buffer(f.mask_pixels(), w, h);
        for (int x = 1; x <= w; ++x)
            for (int y = 1; y <= h; ++y) {
                const int s = p.at(1, x, y) + p.at(2, x, y) + p.at(3, x, y);
                const int v = s < 700 ? 255 : 0;
                ASSERT_EQ(m.at(1, x, y), v);
                ASSERT_EQ(m.at(2, x, y), v);
                ASSERT_EQ(m.at(3, x, y), v);
                ASSERT_EQ(m.at(4, x, y), p.at(4, x, y));
            }
    }
}

}  // namespace
