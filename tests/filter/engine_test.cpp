// Random pictures, in the caller's or in pooled memory, through every operation on every vector unit and
// width, against the plain loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "clsPicfilter.h"
#include "picture_helpers.h"
#include "pixel_image.h"
#include "vector_unit.h"

namespace {

const double kNaN = std::nan("");
using Ratios = std::array<double, 6>;  // the three tests' mode and threshold
bool on(double mode) { return mode == 1 || mode == 3; }
RefPicture result_of(const filter::clsPicfilter& f) { return from_buffer(f.result_pixels(), f.width(), f.height()); }

// Runs `check` with the passes on each vector unit this processor has, then leaves them on the widest.
template <class Check>
void on_every_unit(Check check) {
    using filter::VectorUnit;
    for (VectorUnit unit : {VectorUnit::plain, VectorUnit::avx2, VectorUnit::avx512, VectorUnit::avx512_vbmi}) {
        if (!filter::select_vector_unit(unit)) continue;
        SCOPED_TRACE(testing::Message() << "vector unit " << static_cast<int>(unit));
        check();
        if (testing::Test::HasFatalFailure()) break;
    }
    filter::select_vector_unit(filter::widest_vector_unit());
}

// The ratio filter as described, pixel by pixel, against each vector unit after a run that left marks
// behind. With the mask on, pixels whose `mask` red byte is not 255 (all, without a mask) are outside; a
// threshold that is not a number is refused with nothing changed.
void expect_ratios(filter::clsPicfilter& f, const RefPicture& ref, const Ratios& s, bool mask_on,
                   const std::uint8_t* mask) {
    auto passes = [&](int k, double left, double right) {
        const double t = s[2 * k + 1];
        return !on(s[2 * k]) || (s[2 * k] == 1 ? left > right * t : left < right * t);
    };
    bool any = false, refused = false;
    for (int k = 0; k < 3; ++k) any |= on(s[2 * k]), refused |= on(s[2 * k]) && std::isnan(s[2 * k + 1]);
    RefPicture want = ref;
    double outside = 0, passing = 0;
    for (int x = 1; x <= ref.w; ++x)
        for (int y = 1; y <= ref.h; ++y) {
            const double b = ref.at(1, x, y), g = ref.at(2, x, y), r = ref.at(3, x, y);
            const bool out = mask_on && !(mask && mask[4 * ((y - 1) * std::size_t(ref.w) + x - 1) + 2] == 255);
            const bool pass = !out && passes(0, b, r) && passes(1, b, g) && passes(2, r, g);
            outside += out, passing += pass;
            if (any && (out || pass))
                for (int c = 1; c <= 3; ++c) want.at(c, x, y) = c == (out ? 1 : 2) ? 255 : 0;
        }
    const double total = double(ref.w) * ref.h, considered = total - outside;
    on_every_unit([&] {
        f.app_filter(3, 1e300, 3, 1e300, 0, 0);
        const RefPicture before = result_of(f);
        f.maskedSurface = 0.625;
        double share = 0;
        if (refused)
            EXPECT_THROW(f.app_filter(s[0], s[1], s[2], s[3], s[4], s[5]), filter::Refused);
        else
            share = f.app_filter(s[0], s[1], s[2], s[3], s[4], s[5]);
        ASSERT_EQ(result_of(f).px, refused ? before.px : want.px);
        ASSERT_DOUBLE_EQ(f.maskedSurface, refused || !any ? 0.625 : considered == 0 ? 1.0 : outside / total);
        ASSERT_DOUBLE_EQ(share, refused || !any || considered == 0 ? 0 : passing / considered);
    });
}

// Sizes around the 6-sample window, the 13-row strip and the vectors; rows split between threads; from 8 Mi
// pixels on, passes that write around the cache. When w + h is odd the picture is pooled, and shared.
class Engine : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(Engine, MatchesThePlainLoops) {
    const auto [w, h] = GetParam();
    const bool large = w * h > 100000, streamed = w * h >= 8 << 20;
    std::mt19937 rng(static_cast<unsigned>(w * 1000 + h));
    RefPicture in = random_picture(w, h, rng);
    for (int s = 0; s < std::min(766, w * h); ++s) {  // every sum of three bytes, for the false colours
        const int b = std::min(s, 255), g = std::min(s - b, 255), bgr[3] = {b, g, s - b - g};
        for (int c = 0; c < 3; ++c) in.px[4 * s + c] = static_cast<std::uint8_t>(bgr[c]);
    }
    QImage img = (w + h) % 2 ? filter::allocate_rgb32(w, h) : QImage(w, h, QImage::Format_RGB32);
    std::memcpy(img.bits(), in.px.data(), in.px.size());
    const QImage untouched = img.copy();
    filter::clsPicfilter f;
    // Left from an earlier picture: a result, and a mask on but never made for the next one.
    f.Picture(to_image(RefPicture{w, h, std::vector<std::uint8_t>(in.px.size(), 77)}));
    f.PicProcessing(true, 20, 10, 90, 7);
    f.MaskBLC();
    f.Picture(img);
    filter::PictureBox box{img};  // the holder shows the picture just taken
    f.display_result(box);
    EXPECT_EQ(from_buffer(box.image.constBits(), w, h).px, in.px);

    std::uniform_int_distribution<int> range(-60, 60), gamma(-20, 270), color(-2, 22);
    for (int round = 0; round < (large ? 2 : 8); ++round) {
        const int s[5] = {round % 2, range(rng), range(rng), gamma(rng), round < 2 ? 9 * round : color(rng)};
        // Settings outside their ranges take the nearest value inside.
        const RefPicture want = reference_processing(in, s[0], std::clamp(s[1], -50, 50), std::clamp(s[2], -50, 50),
                                                     std::clamp(s[3], 1, 254), std::clamp(s[4], 0, 20));
        on_every_unit([&] {
            f.PicProcessing(s[0], s[1], s[2], s[3], s[4]);
            f.display_result(box);
            ASSERT_EQ(from_buffer(box.image.constBits(), w, h).px, want.px) << testing::PrintToString(s);
        });
    }

    const double modes[] = {1, 3, 1, 3, 0, 2, 1.5, kNaN};
    const double thresholds[] = {0, 0.25, 1.0 / 3, 0.5, 1, 2, -1, HUGE_VAL, -HUGE_VAL, 1e-300, 1e300, kNaN};
    auto pick = [&](const auto& list) { return list[rng() % std::size(list)]; };
    // Masks in turn: the one left on, near-white, a triangle, none.
    for (int round = 0; round < (streamed ? 2 : large ? 4 : 16); ++round) {
        if (round % 4 == 1) {  // inside: colour bytes adding up to under 700; the fourth byte is the picture's
            RefPicture want = in;
            for (std::size_t i = 0; i < in.px.size(); i += 4)
                std::fill_n(&want.px[i], 3, in.px[i] + in.px[i + 1] + in.px[i + 2] < 700 ? 255 : 0);
            on_every_unit([&] {
                f.MaskBLC();
                ASSERT_EQ(from_buffer(f.mask_pixels(), w, h).px, want.px);
            });
        }
        if (round % 4 == 2) f.Mask({{0.1, 0.9, 0.4}, {0.2, 0.5, 0.95}}, 3);
        if (round % 4 == 3) f.deleteMask();
        const Ratios s =
            round == 1 ? Ratios{1, 0.8, 3, 1.2, 1, 0.5} : Ratios{pick(modes),      pick(thresholds), pick(modes),
                                                                 pick(thresholds), pick(modes),      pick(thresholds)};
        SCOPED_TRACE(testing::Message() << "round " << round << ", ratios " << testing::PrintToString(s));
        const bool mask_on = round == 0 || round % 4 == 1 || round % 4 == 2;
        expect_ratios(f, in, s, mask_on, round ? f.mask_pixels() : nullptr);
    }
    if (streamed) return;  // nothing below is streamed

    std::uniform_real_distribution<double> fraction(0, 1);
    for (int i = 0; i < 10; ++i) {  // the probes read the reference, at floor(X * W) + 1, floor(Y * H) + 1
        const double X = i ? fraction(rng) : 0.9999999999999999, Y = i ? fraction(rng) : 0;
        const int x = static_cast<int>(X * w) + 1, y = static_cast<int>(Y * h) + 1;
        EXPECT_EQ((std::array{f.comp_B(X, Y), f.comp_G(X, Y), f.comp_R(X, Y)}),
                  (std::array{in.at(1, x, y), in.at(2, x, y), in.at(3, x, y)}));
    }
    for (double bad : {1.0, -0.001, -1e-300, kNaN, HUGE_VAL})
        for (auto [X, Y] : {std::pair{bad, 0.0}, std::pair{0.0, bad}}) EXPECT_THROW(f.comp_G(X, Y), filter::Refused);

    const RefPicture sharp = reference_deconvolution(in);
    const RefPicture toned = reference_processing(sharp, false, 0, 45, 127, 0);
    on_every_unit([&] {
        f.Picture(img);
        f.deconvolution();
        f.display_reference(box);
        EXPECT_EQ(from_buffer(box.image.constBits(), w, h).px, sharp.px);
        f.PicProcessing(false, 0, 45, 127, 0);  // pivots on the sharpened picture's blue mean
        EXPECT_EQ(result_of(f).px, toned.px);
    });
    f.Picture(QImage());  // the buffers stay: only the sharpening and the probes still use them
    f.PicProcessing(true, 10, 10, 100, 5);
    f.MaskBLC();
    EXPECT_TRUE(f.app_filter(1, 1, 0, 0, 0, 0) == 0 && f.mask_pixels() == nullptr);
    EXPECT_EQ(result_of(f).px, toned.px);
    f.deconvolution();  // sharpens further
    EXPECT_EQ(result_of(f).px, reference_deconvolution(sharp).px);
    EXPECT_EQ(img, untouched);
}

INSTANTIATE_TEST_SUITE_P(Small, Engine,
                         ::testing::Combine(::testing::Values(1, 5, 6, 7, 12), ::testing::Values(1, 5, 6, 12, 13)));
INSTANTIATE_TEST_SUITE_P(Large, Engine,
                         ::testing::Values(std::tuple{16, 13}, std::tuple{97, 61}, std::tuple{37, 131},
                                           std::tuple{260, 133}, std::tuple{61, 390}, std::tuple{1023, 517},
                                           std::tuple{1022, 517}, std::tuple{4099, 2047}));

}  // namespace
