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
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Coords polygon(std::initializer_list<std::pair<double, double>> vertices) {
    Coords c(2);
    for (auto [x, y] : vertices) c[0].push_back(x), c[1].push_back(y);
    return c;
}

// n points on a circle (step k * 2pi / n); step 2 of 5 draws a crossing star.
Coords ring(int n, double radius, int step = 1, double start = 0) {
    Coords c(2);
    for (int k = 0; k < n; ++k) {
        const double a = start + 2 * M_PI * k * step / n;
        c[0].push_back(0.5 + radius * std::cos(a)), c[1].push_back(0.5 + radius * std::sin(a));
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

// Checks every pixel is one of the two kinds a polygon mask holds; returns how many are inside.
long polygon_mask_count(const clsPicfilter& f) {
    EXPECT_TRUE(f.mask_active());
    const auto m = mask_copy(f);
    EXPECT_FALSE(m.empty());
    long in = 0, odd = 0;
    for (std::size_t i = 0; i < m.size(); i += 4) {
        const int sum = m[i] + m[i + 1] + m[i + 2];
        in += sum == 765;
        odd += (sum != 0 && sum != 765) || m[i + 3] != 0;
    }
    EXPECT_EQ(odd, 0) << "pixels neither inside nor outside";
    return in;
}

clsPicfilter holding(const RefPicture& p) {
    clsPicfilter f;
    f.Picture(to_image(p));
    return f;
}
clsPicfilter with_picture(int w, int h) { return holding(uniform_picture(w, h, 128)); }

// --- polygons ------------------------------------------------------------

struct Coverage {
    Coords coord;
    int nb_pt, w, h;
    bool all_inside;
};
class WholeOrNothing : public ::testing::TestWithParam<Coverage> {};

TEST_P(WholeOrNothing, MarksEveryPixelOrNone) {
    const auto& c = GetParam();
    clsPicfilter f = with_picture(c.w, c.h);
    f.Mask(c.coord, c.nb_pt);
    EXPECT_EQ(polygon_mask_count(f), c.all_inside ? c.w * c.h : 0);
}

const Coords kUnitSquare = polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
INSTANTIATE_TEST_SUITE_P(Cases, WholeOrNothing,
                         ::testing::Values(Coverage{kUnitSquare, 4, 1, 1, true}, Coverage{kUnitSquare, 4, 2, 1, true},
                                           Coverage{kUnitSquare, 4, 7, 3, true}, Coverage{kUnitSquare, 4, 64, 48, true},
                                           Coverage{kUnitSquare, 4, 301, 257, true},
                                           // entirely beyond the picture
                                           Coverage{polygon({{2, 2}, {3, 2}, {3, 3}}), 3, 30, 30, false}));

struct TriangleCase {
    int w, h;
    double v[3][2];
};
class Triangle : public ::testing::TestWithParam<TriangleCase> {};

TEST_P(Triangle, AreaAndShapeFollowTheExactTriangle) {
    const auto t = GetParam();
    clsPicfilter f = with_picture(t.w, t.h);
    f.Mask(polygon({{t.v[0][0], t.v[0][1]}, {t.v[1][0], t.v[1][1]}, {t.v[2][0], t.v[2][1]}}), 3);
    const long count = polygon_mask_count(f);
    double p[3][2], perimeter = 0;  // vertices in pixels, rounded as the mask rounds them
    for (int k = 0; k < 3; ++k) p[k][0] = std::nearbyint(t.w * t.v[k][0]), p[k][1] = std::nearbyint(t.h * t.v[k][1]);
    const double cross = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
    // Signed distance of (x, y) inside the edge from vertex k.
    auto edge = [&](int k, double x, double y) {
        const double* a = p[k], *b = p[(k + 1) % 3];
        return (cross > 0 ? 1 : -1) * ((b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0])) / std::hypot(b[0] - a[0], b[1] - a[1]);
    };
    for (int k = 0; k < 3; ++k) perimeter += std::hypot(p[(k + 1) % 3][0] - p[k][0], p[(k + 1) % 3][1] - p[k][1]);
    for (int y = 0; y < t.h; ++y)
        for (int x = 0; x < t.w; ++x) {
            const double d = std::min({edge(0, x + 0.5, y + 0.5), edge(1, x + 0.5, y + 0.5), edge(2, x + 0.5, y + 0.5)});
            if (d >= 1.0) { ASSERT_TRUE(inside(f, x, y)) << "deep inside: " << x << "," << y; }
            if (d <= -2.5) { ASSERT_FALSE(inside(f, x, y)) << "far outside: " << x << "," << y; }
        }
    // The triangle plus the outer half of the 2-pixel pen along its outline,
    // give or take what the pixel grid and the rounded corners add.
    EXPECT_NEAR(count - std::abs(cross) / 2, perimeter, 0.05 * perimeter + 4);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Triangle,
                         ::testing::Values(TriangleCase{200, 150, {{0.1, 0.1}, {0.9, 0.2}, {0.5, 0.95}}},
                                           TriangleCase{97, 311, {{0.05, 0.9}, {0.95, 0.85}, {0.3, 0.02}}},
                                           // clockwise, and a thin sliver
                                           TriangleCase{120, 120, {{0.1, 0.5}, {0.5, 0.9}, {0.9, 0.1}}},
                                           TriangleCase{400, 100, {{0.02, 0.1}, {0.98, 0.5}, {0.02, 0.9}}}));

TEST(MaskPolygon, SelfCrossingStarUsesTheAlternateRuleAndHundredAndOneVerticesAreAccepted) {
    // The star's centre pentagon is crossed twice and stays outside; its points are inside.
    clsPicfilter f = with_picture(200, 200);
    f.Mask(ring(5, 0.45, 2, -M_PI / 2), 5);
    EXPECT_GT(polygon_mask_count(f), 0);
    EXPECT_FALSE(inside(f, 100, 100));
    EXPECT_FALSE(inside(f, 105, 95));
    EXPECT_TRUE(inside(f, 100, 30));  // halfway out towards the top point
    EXPECT_FALSE(inside(f, 2, 2));

    clsPicfilter g = with_picture(64, 64);
    g.Mask(ring(101, 0.4), 101);
    EXPECT_TRUE(inside(g, 32, 32));
    EXPECT_FALSE(inside(g, 1, 1));
}

TEST(MaskPolygon, VerticesRoundHalvesToTheEvenPixel) {
    // On 20 pixels, 0.125 -> 2.5 -> 2 and 0.825 -> 16.5 -> 16: the mask of 0.1 and 0.8, not of 3 and 17.
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
    // A huge triangle whose long edge runs along the diagonal: below-left inside, above-right outside.
    for (double far : {10.0, 1.0e5, 3.0e7}) {
        SCOPED_TRACE(far);
        clsPicfilter f = with_picture(60, 60);
        f.Mask(polygon({{-far, -far}, {far, far}, {-far, far}}), 3);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) {
                if (y >= x + 2) { ASSERT_TRUE(inside(f, x, y)) << x << "," << y; }
                if (y <= x - 2) { ASSERT_FALSE(inside(f, x, y)) << x << "," << y; }
            }
    }
}

// --- nothing to do ----------------------------------------------------------

TEST(MaskState, WithoutAPictureOnlyDeleteMaskActs) {
    clsPicfilter f;
    f.Mask(polygon({{0, 0}, {1, 0}, {1, 1}}), 3);
    f.MaskBLC();
    EXPECT_FALSE(f.mask_active());
    EXPECT_EQ(f.mask_pixels(), nullptr);

    // A picture, a mask, then a null picture: the operations do nothing.
    clsPicfilter g = holding(uniform_picture(8, 8, 250));
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

// --- refused polygons, and too few vertices --------------------------------

enum class Outcome { SwitchedOff, OutOfRange, Overflow };
struct Refusal {
    const char* what;
    Coords coord;
    int nb_pt;
    Outcome outcome;
};
class RefusedPolygon : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedPolygon, ReportsOrSwitchesOffAndKeepsTheMaskPixels) {
    const auto& r = GetParam();
    std::mt19937 rng(3);
    for (bool was_active : {true, false}) {
        SCOPED_TRACE(was_active ? "mask was on" : "mask was off");
        clsPicfilter f = holding(random_picture(31, 17, rng));
        f.MaskBLC();
        if (!was_active) f.deleteMask();
        const auto before = mask_copy(f);
        if (r.outcome == Outcome::OutOfRange)
            EXPECT_THROW(f.Mask(r.coord, r.nb_pt), std::out_of_range);
        else if (r.outcome == Outcome::Overflow)
            EXPECT_THROW(f.Mask(r.coord, r.nb_pt), std::overflow_error);
        else
            EXPECT_NO_THROW(f.Mask(r.coord, r.nb_pt));
        EXPECT_EQ(f.mask_active(), was_active && r.outcome != Outcome::SwitchedOff);
        EXPECT_EQ(mask_copy(f), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedPolygon,
    ::testing::Values(Refusal{"one_vertex", polygon({{0, 0}}), 1, Outcome::SwitchedOff},
                      Refusal{"no_vertex", polygon({{0, 0}}), 0, Outcome::SwitchedOff},
                      Refusal{"negative_count", polygon({{0, 0}}), -5, Outcome::SwitchedOff},
                      Refusal{"vertices_102", Coords(2, std::vector<double>(102, 0.5)), 102, Outcome::OutOfRange},
                      Refusal{"table_shorter_than_nb_pt", polygon({{0, 0}, {1, 0}, {1, 1}}), 4, Outcome::OutOfRange},
                      Refusal{"no_y_row", Coords{{0.0, 1.0, 1.0}}, 3, Outcome::OutOfRange},
                      Refusal{"y_row_shorter", Coords{{0.0, 1.0, 1.0}, {0.0, 1.0}}, 3, Outcome::OutOfRange},
                      Refusal{"infinite_x", polygon({{0, 0}, {kInf, 0}, {1, 1}}), 3, Outcome::Overflow},
                      Refusal{"NaN_y", polygon({{0, 0}, {1, kNaN}, {1, 1}}), 3, Outcome::Overflow},
                      Refusal{"x_beyond_32_bits", polygon({{0, 0}, {1.0e9, 0}, {1, 1}}), 3, Outcome::Overflow},
                      Refusal{"y_below_32_bits", polygon({{0, 0}, {1, -1.0e9}, {1, 1}}), 3, Outcome::Overflow}),
    [](const auto& info) { return std::string(info.param.what); });

// --- near-white mask -------------------------------------------------------

// Inside pixels hold 255 in all three bytes, outside ones 0; the fourth byte is the reference's.
void expect_near_white_mask(const RefPicture& p, const std::vector<bool>& want) {
    clsPicfilter f = holding(p);
    f.MaskBLC();
    EXPECT_TRUE(f.mask_active());
    ASSERT_NE(f.mask_pixels(), nullptr);
    for (std::size_t i = 0; i < p.px.size(); i += 4) {
        const std::uint8_t v = want[i / 4] ? 255 : 0, expected[4] = {v, v, v, p.px[i + 3]};
        ASSERT_EQ(0, std::memcmp(f.mask_pixels() + i, expected, 4)) << "pixel " << i / 4;
    }
}

TEST(NearWhite, SumUnder700IsInside) {
    const int bgr[][3] = {{255, 255, 255}, {233, 233, 233}, {234, 233, 233}, {233, 234, 233}, {233, 233, 234},
                          {255, 255, 189}, {255, 190, 255}, {0, 0, 0},       {255, 255, 0}};
    const std::vector<bool> want = {false, true, false, false, false, true, false, true, true};
    RefPicture p = uniform_picture(9, 1, 0);
    for (std::size_t i = 0; i < 9; ++i)
        for (int k = 0; k < 4; ++k) p.px[4 * i + k] = static_cast<std::uint8_t>(k < 3 ? bgr[i][k] : 17 * i + 5);
    expect_near_white_mask(p, want);
}

TEST(NearWhite, RandomPicturesMatchThePlainRule) {
    std::mt19937 rng(11);
    // Sizes below and above the point where the pass is split between cores,
    // and above 8 Mi pixels, where the mask is written around the cache.
    for (auto [w, h] : {std::pair{1, 1}, std::pair{13, 7}, std::pair{1023, 611}, std::pair{4096, 2050}}) {
        RefPicture p = random_picture(w, h, rng);
        std::vector<bool> want;
        for (std::size_t i = 0; i < p.px.size(); i += 4) {
            // Colours crowded around the limit so both sides are well covered.
            for (int c = 0; c < 3; ++c) p.px[i + c] = static_cast<std::uint8_t>(220 + p.px[i + c] % 36);
            want.push_back(p.px[i] + p.px[i + 1] + p.px[i + 2] < 700);
        }
        expect_near_white_mask(p, want);
    }
}

}  // namespace
