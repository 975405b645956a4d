// What the plain loops cannot prove: figures of the curves' pivots, the strip and the sharpening's
// margins; polygon masks against the exact polygon; refused polygons.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "clsPicfilter.h"
#include "picture_helpers.h"

namespace {

using Bgr = std::array<int, 3>;
constexpr Bgr grey(int v) { return {v, v, v}; }
Bgr at(const RefPicture& p, int x, int y) { return {p.at(1, x, y), p.at(2, x, y), p.at(3, x, y)}; }

// The result of `op` on a w x h picture of one colour.
template <class Op>
RefPicture after(Bgr colour, int w, int h, Op op) {
    RefPicture p{w, h, std::vector<std::uint8_t>(std::size_t{4} * w * h, 0xFF)};
    for (std::size_t i = 0; i < p.px.size(); i += 4) std::copy(colour.begin(), colour.end(), p.px.begin() + i);
    filter::clsPicfilter f;
    f.Picture(to_image(p));
    op(f);
    return from_buffer(f.result_pixels(), w, h);
}

// On a picture 510 wide and 14 high, rows 2-6 show the ramp n = x / 2 (1.5 gives 2, 0.5 gives 0),
// rows 7-10 the ramp through the tone table, rows 11-14 through the tone table and the palette. A row
// gives the settings (negative, light, contrast, gamma, colour), the picture's colour (its blue is the
// contrast's pivot), then values n, their tone, their palette colour.
using Figure = std::tuple<std::array<int, 5>, Bgr, std::vector<std::tuple<int, int, Bgr>>>;
class Strip : public ::testing::TestWithParam<Figure> {};

TEST_P(Strip, ShowsTheRampThroughTheCurves) {
    const auto& [s, colour, figures] = GetParam();
    const RefPicture out =
        after(colour, 510, 14, [&](filter::clsPicfilter& f) { f.PicProcessing(s[0], s[1], s[2], s[3], s[4]); });
    for (const auto& [x, n] : {std::pair{1, 0}, std::pair{3, 2}, std::pair{257, 128}, std::pair{510, 255}})
        EXPECT_TRUE(at(out, x, 2) == grey(n) && at(out, x, 6) == grey(n)) << "ramp at " << x;
    for (const auto& [n, tone, palette] : figures) {
        EXPECT_TRUE(at(out, 2 * n, 7) == grey(tone) && at(out, 2 * n, 10) == grey(tone)) << "tone of " << n;
        EXPECT_TRUE(at(out, 2 * n, 11) == palette && at(out, 2 * n, 14) == palette) << "palette of " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Figures, Strip,  // gamma's upper segment starts above 128; ties go to the even neighbour
    ::testing::Values(Figure{{0, 0, 0, 127, 0}, grey(200), {{127, 127, grey(127)}, {128, 129, grey(129)}}},
                      Figure{{0, 0, 0, 64, 0}, grey(200), {{32, 64, grey(64)}, {64, 127, grey(127)}}},
                      Figure{{0, 0, -50, 127, 0}, grey(90), {{90, 90, grey(90)}}},
                      Figure{{1, 0, 50, 127, 0}, grey(90), {{90, 204, grey(204)}}},  // the reference's mean
                      Figure{{0, 0, 50, 127, 0}, {100, 100, 20}, {{20, 0, grey(0)}, {100, 100, grey(100)}}},
                      Figure{{0, 0, 0, 127, 20}, grey(0), {{85, 85, {85, 0, 0}}, {169, 170, {0, 0, 113}}}}));

// A uniform 12 x 9 picture: both smoothing passes inside, only the vertical one in the last 5 columns, only
// the horizontal one in the last 5 rows, neither in the corner where they meet.
class Sharpening : public ::testing::TestWithParam<std::array<int, 4>> {};

TEST_P(Sharpening, InteriorMarginsAndCorner) {
    const auto [value, interior, margin, corner] = GetParam();
    const RefPicture out = after(grey(value), 12, 9, [](filter::clsPicfilter& f) { f.deconvolution(); });
    const int figures[][3] = {{1, 1, interior}, {7, 4, interior}, {8, 1, margin},
                              {1, 5, margin},   {12, 9, corner},  {8, 5, corner}};  // column, row, grey
    for (const auto& [x, y, want] : figures) EXPECT_EQ(at(out, x, y), grey(want)) << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(Figures, Sharpening,
                         ::testing::Values(std::array{100, 105, 98, 90}, std::array{250, 255, 245, 225}));

using Coords = std::vector<std::vector<double>>;  // the vertices' x, then their y

// Pixel centres well inside the polygon (alternate rule) must be marked, those well outside not; the
// count is the inside plus the outer half of the 2-pixel outline, or `exact` when it is not -1.
class Polygon : public ::testing::TestWithParam<std::tuple<Coords, int, int, long>> {};

TEST_P(Polygon, MarksTheInsideAndTheOutline) {
    const auto& [c, w, h, exact] = GetParam();
    filter::clsPicfilter f;
    f.Picture(to_image(RefPicture{w, h, std::vector<std::uint8_t>(4 * std::size_t(w) * h)}));
    f.Mask(c, static_cast<int>(c[0].size()));
    ASSERT_TRUE(f.mask_active());
    std::vector<std::pair<double, double>> v;  // rounded as the mask rounds them
    for (std::size_t i = 0; i < c[0].size(); ++i)
        v.emplace_back(std::nearbyint(w * c[0][i]), std::nearbyint(h * c[1][i]));
    long marked = 0, want = 0, outline = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            bool in = false;
            double d = HUGE_VAL;
            for (std::size_t k = 0; k < v.size(); ++k) {
                const auto [ax, ay] = v[k];
                const auto [bx, by] = v[(k + 1) % v.size()];
                if ((ay > py) != (by > py) && px < ax + (py - ay) * (bx - ax) / (by - ay)) in = !in;
                const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
                const double t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0;
                d = std::min(d, std::hypot(px - ax - t * dx, py - ay - t * dy));
            }
            const std::uint8_t* p = f.mask_pixels() + 4 * (std::size_t(y) * w + x);
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2] && (p[0] == 0 || p[0] == 255) && p[3] == 0) << x << "," << y;
            const bool sure = in ? d >= 1 : d >= 2.5;  // well inside or well outside
            ASSERT_TRUE(!sure || p[2] == (in ? 255 : 0)) << x << "," << y;
            marked += p[2] == 255, want += in || d < 1, outline += d < 1;
        }
    // Give or take what the pixel grid and the round joins make, unless the count is exact.
    EXPECT_NEAR(marked, exact < 0 ? want : exact, exact < 0 ? outline / 20.0 + 4 : 0);
}

const Coords kSquare{{0, 1, 1, 0}, {0, 0, 1, 1}};
// On 256 columns 100.5 rounds to the even 100, 150.7 to 151: a column off either way is 128 pixels.
const double kTie = 100.5 / 256, kUp = 150.7 / 256;
const Coords kVertices101 = [] {  // a triangle with 99 more vertices along one side
    Coords c{{0.5}, {0.9}};
    for (int i = 0; i < 100; ++i) c[0].push_back(0.1 + 0.008 * i), c[1].push_back(0.2);
    return c;
}();
INSTANTIATE_TEST_SUITE_P(
    Shapes, Polygon,
    ::testing::Values(std::tuple{kSquare, 1, 1, 1L}, std::tuple{kSquare, 301, 257, 301L * 257},
                      std::tuple{Coords{{2, 3, 3}, {2, 2, 3}}, 30, 30, 0L},  // beyond the picture
                      std::tuple{Coords{{0.1, 0.9, 0.5}, {0.1, 0.2, 0.95}}, 200, 150, -1L},
                      std::tuple{Coords{{0.05, 0.95, 0.3}, {0.9, 0.85, 0.02}}, 97, 311, -1L},
                      std::tuple{Coords{{0.5, 0.76, 0.07, 0.93, 0.24}, {0.05, 0.86, 0.36, 0.36, 0.86}}, 200, 200,
                                 -1L},  // a star, its centre crossed twice
                      std::tuple{kVertices101, 64, 64, -1L},
                      std::tuple{Coords{{-3e7, 3e7, -3e7}, {-3e7, 3e7, 3e7}}, 60, 60, -1L},
                      std::tuple{Coords{{kTie, kUp, kUp, kTie}, {0.25, 0.25, 0.75, 0.75}}, 256, 256, -1L}));

// Too few vertices switch the mask off; refused polygons leave it, on or off, and say why.
class Refused : public ::testing::TestWithParam<std::tuple<Coords, int, std::string>> {};

TEST_P(Refused, KeepTheMaskPixels) {
    const auto& [coord, nb_pt, why] = GetParam();  // no reason: switched off
    for (bool active : {true, false}) {
        filter::clsPicfilter f;
        f.Picture(to_image(RefPicture{31, 17, std::vector<std::uint8_t>(4 * 31 * 17)}));
        f.MaskBLC();  // all inside: every colour byte 255
        if (!active) f.deleteMask();
        std::string got;
        try {
            f.Mask(coord, nb_pt);
        } catch (const filter::Refused& e) {
            got = e.what();
        }
        EXPECT_EQ(got, why);
        EXPECT_EQ(f.mask_active(), active && !why.empty()) << active;
        EXPECT_EQ(std::count(f.mask_pixels(), f.mask_pixels() + 4 * 31 * 17, 255), 3 * 31 * 17) << active;
    }
}

using namespace std::string_literals;
const std::string kX1 = "Mask : le x du sommet 1 ", kY1 = "Mask : le y du sommet 1 ";
const std::string kFewer = "Mask : la table des sommets en compte moins de ";
INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    ::testing::Values(std::tuple{Coords{{0}, {0}}, 1, ""s},
                      std::tuple{Coords{{0}, {HUGE_VAL}}, 1, "Mask : le y du sommet 0 n'est pas un nombre fini"s},
                      std::tuple{Coords(2, std::vector<double>(102, 0.5)), 102, "Mask : 102 sommets, 101 au plus"s},
                      std::tuple{Coords{{0, 1, 1}, {0, 0, 1}}, 4, kFewer + "4"},
                      std::tuple{Coords{{0, 1, 1}}, 3, kFewer + "3"},
                      std::tuple{Coords{{0, 1.0e9, 1}, {0, 0, 1}}, 3, kX1 + "ne tient pas dans un entier de 32 bits"},
                      std::tuple{Coords{{0, 1, 1}, {0, std::nan(""), 1}}, 3, kY1 + "n'est pas un nombre fini"},
                      std::tuple{Coords{{0, 1, 1}, {0, -1.0e9, 1}}, 3,
                                 kY1 + "ne tient pas dans un entier de 32 bits"}));

}  // namespace
