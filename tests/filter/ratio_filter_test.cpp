#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "clsPicfilter.h"
#include "picture_helpers.h"

namespace picfilter {
void limit_ratio_vectors(int bits);  // defined with the filter, for tests
}

namespace {

// The vector widths the pass may use; each is checked where the processor has it.
const int kVectorBits[] = {512, 256, 0};

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Settings {
    double br, br_t, bg, bg_t, rg, rg_t;
};

std::ostream& operator<<(std::ostream& os, const Settings& s) {
    return os << "(" << s.br << ", " << s.br_t << ", " << s.bg << ", " << s.bg_t << ", " << s.rg << ", " << s.rg_t
              << ")";
}

double run(clsPicfilter& f, const Settings& s) { return f.app_filter(s.br, s.br_t, s.bg, s.bg_t, s.rg, s.rg_t); }

struct Expected {
    RefPicture result;
    double share, masked_surface;
};

// The filter as described, one pixel at a time with 1-based loops. `mask` is
// the mask buffer when the mask is on (null when on but unmade, so reading as zero).
Expected reference(const RefPicture& ref, const Settings& s, const std::uint8_t* mask, bool mask_on,
                   double masked_before) {
    Expected e{ref, 0.0, masked_before};
    auto on = [](double mode) { return mode == 1 || mode == 3; };
    if (!on(s.br) && !on(s.bg) && !on(s.rg)) return e;
    auto passes = [&](double mode, double t, double left, double right) {
        return !on(mode) || (mode == 1 ? left > right * t : left < right * t);
    };
    std::uint64_t outside = 0, passing = 0;
    for (int x = 1; x <= ref.w; ++x)
        for (int y = 1; y <= ref.h; ++y) {
            const std::size_t i = 4 * ((y - 1) * static_cast<std::size_t>(ref.w) + (x - 1));
            const double b = ref.at(1, x, y), g = ref.at(2, x, y), r = ref.at(3, x, y);
            int mark = -1;  // 0 blue, 1 green
            if (mask_on && !(mask && mask[i + 2] == 255))
                ++outside, mark = 0;
            else if (passes(s.br, s.br_t, b, r) && passes(s.bg, s.bg_t, b, g) && passes(s.rg, s.rg_t, r, g))
                ++passing, mark = 1;
            if (mark >= 0) e.result.at(1, x, y) = mark ? 0 : 255, e.result.at(2, x, y) = mark ? 255 : 0, e.result.at(3, x, y) = 0;
        }
    const std::uint64_t total = static_cast<std::uint64_t>(ref.w) * ref.h;
    e.masked_surface = total == outside ? 1.0 : static_cast<double>(outside) / total;
    e.share = total == outside ? 0 : static_cast<double>(passing) / (total - outside);
    return e;
}

RefPicture result_of(const clsPicfilter& f) { return from_buffer(f.result_pixels(), f.width(), f.height()); }

// Index of the first differing pixel, or -1.
long first_difference(const RefPicture& a, const RefPicture& b) {
    for (std::size_t i = 0; i < a.px.size(); ++i)
        if (a.px[i] != b.px[i]) return static_cast<long>(i / 4);
    return -1;
}

clsPicfilter holding(const RefPicture& p) {
    clsPicfilter f;
    f.Picture(to_image(p));
    return f;
}

// --- against the plain loops ---------------------------------------------

// Stale: switched on over an earlier picture, so on but never made for this one.
enum class MaskKind { None, NearWhite, Triangle, Deleted, Beyond, Stale };

using AgainstReferenceParam = std::tuple<Settings, MaskKind, std::pair<int, int>>;
class AgainstReference : public ::testing::TestWithParam<AgainstReferenceParam> {};

TEST_P(AgainstReference, SameMarksShareAndMaskedSurface) {
    const auto& [s, kind, size] = GetParam();
    std::mt19937 rng(static_cast<unsigned>(size.first * 31 + size.second));
    // Pictures of fewer than eight pixels go through the pixel-at-a-time
    // path only: many of them, to cover it as well as the wide one.
    const int pictures = size.first * size.second < 8 ? 120 : 1;
    clsPicfilter f;
    for (int n = 0; n < pictures; ++n) {
        RefPicture pic = random_picture(size.first, size.second, rng);
        // Small values make exact ties with the thresholds (15 against 30 * 0.5) common.
        for (std::size_t i = 0; i < pic.px.size(); i += 4)
            if (pic.px[i + 3] < 128)
                for (int c = 0; c < 3; ++c) pic.px[i + c] = static_cast<std::uint8_t>(pic.px[i + c] % 8 * 5);

        f.Picture(to_image(pic));
        f.deleteMask();
        if (kind == MaskKind::NearWhite || kind == MaskKind::Deleted) f.MaskBLC();
        if (kind == MaskKind::Triangle) f.Mask({{0.1, 0.9, 0.4}, {0.2, 0.5, 0.95}}, 3);
        if (kind == MaskKind::Beyond) f.Mask({{2, 3, 3}, {2, 2, 3}}, 3);
        if (kind == MaskKind::Deleted) f.deleteMask();
        if (kind == MaskKind::Stale) f.Picture(to_image(uniform_picture(10, 10, 0))), f.MaskBLC(), f.Picture(to_image(pic));

        const Expected e = reference(pic, s, f.mask_pixels(), f.mask_active(), 0.625);
        for (int bits : kVectorBits) {
            SCOPED_TRACE(testing::Message() << "picture " << n << ", vectors up to " << bits << " bits");
            picfilter::limit_ratio_vectors(bits);
            run(f, {3, 1e300, 3, 1e300, 0, 0});  // leaves marks the next run must clear
            f.maskedSurface = 0.625;
            const double share = run(f, s);
            picfilter::limit_ratio_vectors(512);
            ASSERT_EQ(first_difference(result_of(f), e.result), -1);
            ASSERT_DOUBLE_EQ(share, e.share);
            ASSERT_DOUBLE_EQ(f.maskedSurface, e.masked_surface);
        }
        // The reference picture itself is never touched.
        ASSERT_EQ(0, std::memcmp(f.reference_pixels(), pic.px.data(), pic.px.size()));
    }
}

const Settings kSettings[] = {
    {1, 1, 0, 0, 0, 0},        {3, 0.5, 0, 0, 0, 0},      {0, 0, 1, 2, 0, 0},         {0, 0, 0, 0, 3, 0.25},
    {1, 0.8, 3, 1.2, 1, 0.5},  {3, 1.0 / 3, 1, 0.1, 3, 7}, {1, -1, 3, -2, 1, 0},       {3, 0, 1, 0, 3, 0},
    {1, kInf, 0, 0, 0, 0},     {3, kInf, 3, -kInf, 0, 0}, {1, 1e-300, 3, 1e300, 0, 0}, {2, kNaN, 1, 1, 7, kNaN},
    {1.5, 3, kNaN, 2, 3, 0.5}, {-1, 1, 3, 1, 1, 1},    {0, 5, 2, 5, 7, 5},  // all off: a plain copy
};

INSTANTIATE_TEST_SUITE_P(Small, AgainstReference,
                         ::testing::Combine(::testing::ValuesIn(kSettings),
                                            ::testing::Values(MaskKind::None, MaskKind::NearWhite, MaskKind::Triangle,
                                                              MaskKind::Deleted, MaskKind::Beyond, MaskKind::Stale),
                                            ::testing::Values(std::pair{1, 1}, std::pair{7, 1},
                                                              std::pair{13, 7}, std::pair{64, 9})));

// Large enough to be split between cores, with slice edges off any alignment.
INSTANTIATE_TEST_SUITE_P(Split, AgainstReference,
                         ::testing::Combine(::testing::Values(kSettings[0], kSettings[4], kSettings[5]),
                                            ::testing::Values(MaskKind::None, MaskKind::NearWhite),
                                            ::testing::Values(std::pair{1023, 601})));

// Above 8 Mi pixels the results bypass the cache; the marks must not change.
INSTANTIATE_TEST_SUITE_P(StreamedPastTheCache, AgainstReference,
                         ::testing::Combine(::testing::Values(kSettings[4]), ::testing::Values(MaskKind::NearWhite),
                                            ::testing::Values(std::pair{4096, 2050})));

// --- figures ---------------------------------------------------------------

struct Figure {
    Settings s;
    std::vector<std::array<int, 3>> bgr;
    std::vector<bool> marked;
};
class Figures : public ::testing::TestWithParam<Figure> {};

TEST_P(Figures, MarkExactlyThosePixelsAndKeepTheRest) {
    const Figure& c = GetParam();
    RefPicture pic = uniform_picture(static_cast<int>(c.bgr.size()), 1, 0);
    for (std::size_t i = 0; i < c.bgr.size(); ++i)
        for (int k = 0; k < 4; ++k) pic.px[4 * i + k] = static_cast<std::uint8_t>(k < 3 ? c.bgr[i][k] : 40 + i);
    clsPicfilter f = holding(pic);
    f.maskedSurface = 0.5;
    const long marks = std::count(c.marked.begin(), c.marked.end(), true);
    EXPECT_DOUBLE_EQ(run(f, c.s), static_cast<double>(marks) / c.bgr.size());
    EXPECT_EQ(f.maskedSurface, 0.0);
    RefPicture want = pic;
    for (std::size_t i = 0; i < c.bgr.size(); ++i)
        if (c.marked[i]) want.px[4 * i] = 0, want.px[4 * i + 1] = 255, want.px[4 * i + 2] = 0;  // fourth byte kept
    EXPECT_EQ(result_of(f).px, want.px);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Figures,
    ::testing::Values(Figure{{1, 1, 0, 0, 0, 0},
                             {{10, 0, 9}, {9, 0, 9}, {200, 255, 201}, {1, 1, 0}, {0, 0, 0}, {255, 7, 254}},
                             {true, false, false, true, false, true}},
                      // blue 10 against red 30: 10 < 15 passes "less than 0.5 x red"; 15 is the bound, failing both modes
                      Figure{{3, 0.5, 0, 0, 0, 0}, {{10, 0, 30}, {15, 0, 30}, {16, 0, 30}}, {true, false, false}},
                      Figure{{1, 0.5, 0, 0, 0, 0}, {{10, 0, 30}, {15, 0, 30}, {16, 0, 30}}, {false, false, true}}));

// --- refusals and nothing to do -------------------------------------------

class NotANumber : public ::testing::TestWithParam<Settings> {};

TEST_P(NotANumber, IsRefusedAndNothingChanges) {
    std::mt19937 rng(17);
    clsPicfilter f = holding(random_picture(19, 11, rng));
    f.app_filter(1, 1, 0, 0, 0, 0);
    const RefPicture before = result_of(f);
    f.maskedSurface = 0.375;
    try {
        run(f, GetParam());
        FAIL() << "accepted " << GetParam();
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("seuil"), std::string::npos) << e.what();
    }
    EXPECT_EQ(first_difference(result_of(f), before), -1);
    EXPECT_EQ(f.maskedSurface, 0.375);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, NotANumber,
                         ::testing::Values(Settings{1, kNaN, 0, 0, 0, 0}, Settings{0, 0, 3, kNaN, 0, 0},
                                           Settings{1, 1, 1, 1, 3, kNaN}, Settings{3, -kNaN, 0, 0, 0, 0}));

TEST(RatioFilter, WithoutAPictureReturnsZeroAndChangesNothing) {
    clsPicfilter f;
    f.maskedSurface = 0.25;
    EXPECT_EQ(f.app_filter(1, 1, 0, 0, 0, 0), 0.0);
    EXPECT_EQ(f.maskedSurface, 0.25);
    EXPECT_EQ(f.result_pixels(), nullptr);
    // A null picture after a real one: the held one stays as it was.
    RefPicture pic = uniform_picture(2, 1, 9);
    pic.at(3, 2, 1) = 1;  // blue over red: a run on it would mark this pixel
    f.Picture(to_image(pic));
    f.Picture(QImage());
    EXPECT_EQ(f.app_filter(1, 1, 0, 0, 0, 0), 0.0);
    EXPECT_EQ(first_difference(result_of(f), pic), -1);
    EXPECT_EQ(f.maskedSurface, 0.25);
}

// --- channel probes --------------------------------------------------------

// Position, then the probe's column and row (1-based) on a 100 x 100 picture, or 0 when refused.
class Probe : public ::testing::TestWithParam<std::tuple<double, double, int, int>> {};

TEST_P(Probe, ReadsTheReferenceAtFloorOfThePositionOrRefuses) {
    auto [X, Y, column, row] = GetParam();
    std::mt19937 rng(23);
    const RefPicture pic = random_picture(100, 100, rng);
    clsPicfilter f = holding(pic);
    f.app_filter(1, 0, 0, 0, 0, 0);  // the result differs, the probes read the reference
    if (column == 0) {
        EXPECT_THROW(f.comp_R(X, Y), std::out_of_range);
        EXPECT_THROW(f.comp_G(X, Y), std::out_of_range);
        EXPECT_THROW(f.comp_B(X, Y), std::out_of_range);
        return;
    }
    EXPECT_EQ(f.comp_B(X, Y), pic.at(1, column, row));
    EXPECT_EQ(f.comp_G(X, Y), pic.at(2, column, row));
    EXPECT_EQ(f.comp_R(X, Y), pic.at(3, column, row));
}

INSTANTIATE_TEST_SUITE_P(
    Positions, Probe,
    ::testing::Values(std::tuple{0.0, 0.0, 1, 1}, std::tuple{0.999, 0.999, 100, 100}, std::tuple{0.5, 0.25, 51, 26},
                      std::tuple{0.0099, 0.01, 1, 2}, std::tuple{0.9999999999999999, 0.0, 100, 1},
                      std::tuple{0.0, 0.9999999999999999, 1, 100}, std::tuple{1.0, 0.0, 0, 0},
                      std::tuple{0.0, 1.0, 0, 0}, std::tuple{-0.001, 0.5, 0, 0}, std::tuple{0.5, -1e-300, 0, 0},
                      std::tuple{kNaN, 0.5, 0, 0}, std::tuple{0.5, kNaN, 0, 0}, std::tuple{kInf, 0.0, 0, 0},
                      std::tuple{1e10, 1e10, 0, 0}));

TEST(Probe, CornersOfANonSquarePictureTakenAtSomeTime) {
    clsPicfilter f;
    EXPECT_THROW(f.comp_G(0, 0), std::out_of_range);
    RefPicture pic = uniform_picture(3, 2, 0);
    pic.at(2, 1, 1) = 11;  // green, top left
    pic.at(3, 3, 2) = 22;  // red, bottom right
    pic.at(1, 3, 1) = 33;  // blue, top right
    f.Picture(to_image(pic));
    f.Picture(QImage());  // a later null picture does not stop the probes: they read what is held
    EXPECT_EQ(f.comp_G(0, 0), 11);
    EXPECT_EQ(f.comp_R(0.99, 0.99), 22);
    EXPECT_EQ(f.comp_B(0.7, 0.4), 33);
    EXPECT_EQ(f.comp_B(0.6, 0.4), 0);
}

}  // namespace
