// The fast paths of the sharpening (fixed-point smoothing with its exact
// fallback, integer sharpening, rows split between threads) against the
// plain double arithmetic, including the inputs that sit nearest a rounding
// boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "clsPicfilter.h"
#include "deconvolution.h"
#include "picture_helpers.h"

namespace {

constexpr double kA = 1.35 / 19.027974, kB = 6.06 / 19.027974;

using picfilter::VectorUnit;
const VectorUnit kUnits[] = {VectorUnit::plain, VectorUnit::avx2, VectorUnit::avx512};
const char* name_of(VectorUnit u) { return u == VectorUnit::plain ? "plain" : u == VectorUnit::avx2 ? "avx2" : "avx512"; }

// Runs the kernels on one vector unit for the lifetime of the object, then
// goes back to the widest.
struct OnUnit {
    bool available;
    explicit OnUnit(VectorUnit u) : available(picfilter::select_vector_unit(u)) {}
    ~OnUnit() { picfilter::select_vector_unit(picfilter::widest_vector_unit()); }
};

std::uint8_t smooth_by_doubles(int v0, int v1, int v2, int v3, int v4) {
    const double s = kA * v4 + kA * v0 + kB * v1 + kB * v3 + v2 / 7.0;
    return static_cast<std::uint8_t>(std::nearbyint(s > 255 ? 255 : s));
}

std::uint8_t sharpen_by_doubles(int r, int s) {
    const double t = 1.9 * r - s;
    return static_cast<std::uint8_t>(std::nearbyint(t < 0 ? 0 : t > 255 ? 255 : t));
}

// Runs the five sample rows through smooth_bytes from a start `shift` bytes
// off the rows' own, and checks every byte (tail included) against the doubles.
void expect_smoothing_matches(const std::vector<std::uint8_t> (&samples)[5], std::size_t shift) {
    std::vector<std::uint8_t> rows[5];
    const std::uint8_t* p[5];
    for (int k = 0; k < 5; ++k) {
        rows[k].assign(shift, 0);
        rows[k].insert(rows[k].end(), samples[k].begin(), samples[k].end());
        p[k] = rows[k].data() + shift;
    }
    const std::size_t n = samples[0].size();
    std::vector<std::uint8_t> out(n + 1, 0xEE);
    picfilter::smooth_bytes(p, out.data(), n);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (out[i] != smooth_by_doubles(p[0][i], p[1][i], p[2][i], p[3][i], p[4][i]) && ++wrong < 5)
            ADD_FAILURE() << "sample " << i << " gave " << int(out[i]);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(out[n], 0xEE) << "wrote past the end";
}

class SmoothingKernel : public ::testing::TestWithParam<std::tuple<VectorUnit, std::size_t>> {
protected:
    void SetUp() override {
        if (!unit_.available) GTEST_SKIP() << name_of(std::get<0>(GetParam())) << " not on this processor";
    }
    OnUnit unit_{std::get<0>(GetParam())};
};

TEST_P(SmoothingKernel, RandomSamples) {
    std::mt19937 rng(11);
    std::vector<std::uint8_t> rows[5];
    for (auto& r : rows)
        for (r.resize(200000); auto& b : r) b = static_cast<std::uint8_t>(rng());
    expect_smoothing_matches(rows, std::get<1>(GetParam()));
}

// Every combination of outer sum, inner sum and centre whose weighted sum
// lies within 2e-4 of a half-integer (a wider band than the fixed-point
// error), each split into two ways of making the sums.
TEST_P(SmoothingKernel, SamplesClosestToAHalf) {
    static std::vector<std::uint8_t> rows[5];
    if (rows[0].empty())
        for (int outer = 0; outer <= 510; ++outer)
            for (int inner = 0; inner <= 510; ++inner)
                for (int centre = 0; centre <= 255; ++centre) {
                    const double s = kA * outer + kB * inner + centre / 7.0;
                    if (std::abs(s - std::floor(s) - 0.5) > 2e-4) continue;
                    for (int split = 0; split < 2; ++split) {
                        const int o0 = split ? std::min(outer, 255) : outer / 2, i0 = split ? inner / 2 : std::min(inner, 255);
                        const int v[5] = {o0, i0, centre, inner - i0, outer - o0};
                        for (int k = 0; k < 5; ++k) rows[k].push_back(static_cast<std::uint8_t>(v[k]));
                    }
                }
    ASSERT_GT(rows[0].size(), 1000u);  // the band is not empty
    expect_smoothing_matches(rows, std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(UnitsAndShifts, SmoothingKernel,
                         ::testing::Combine(::testing::ValuesIn(kUnits), ::testing::Values(0, 1, 3, 31, 63)));

// All 65536 (reference, smoothed) pairs, written to two outputs of which one
// is the reference itself, from a misaligned start.
class SharpeningKernel : public ::testing::TestWithParam<VectorUnit> {};

TEST_P(SharpeningKernel, EveryPairOfBytes) {
    const OnUnit unit(GetParam());
    if (!unit.available) GTEST_SKIP() << name_of(GetParam()) << " not on this processor";
    for (std::size_t shift : {0, 4, 12}) {
        std::vector<std::uint8_t> ref(shift), smoothed(shift);
        for (int r = 0; r < 256; ++r)
            for (int s = 0; s < 256; ++s) {
                ref.push_back(std::uint8_t(r)), smoothed.push_back(std::uint8_t(s));
                if (ref.size() % 4 == 3) ref.push_back(std::uint8_t(r ^ s)), smoothed.push_back(std::uint8_t(~s));  // fourth byte
            }
        while (ref.size() % 4) ref.push_back(7), smoothed.push_back(7);
        const std::vector<std::uint8_t> original = ref;
        std::vector<std::uint8_t> out(ref.size(), 0);
        const std::uint64_t blue = picfilter::sharpen_bytes(ref.data() + shift, smoothed.data() + shift, out.data() + shift,
                                                            ref.data() + shift, ref.size() - shift);
        std::size_t wrong = 0;
        std::uint64_t want_blue = 0;
        for (std::size_t i = shift; i < ref.size(); ++i) {
            const std::uint8_t want = (i - shift) % 4 == 3 ? original[i] : sharpen_by_doubles(original[i], smoothed[i]);
            wrong += out[i] != want || ref[i] != want;
            want_blue += (i - shift) % 4 == 0 ? want : 0;
        }
        EXPECT_EQ(wrong, 0u) << "shift " << shift;
        EXPECT_EQ(blue, want_blue) << "shift " << shift;
    }
}

INSTANTIATE_TEST_SUITE_P(Units, SharpeningKernel, ::testing::ValuesIn(kUnits));

// Each vector unit the processor has, selected in turn.
template <class Body>
void on_each_unit(Body body) {
    for (VectorUnit u : kUnits) {
        const OnUnit unit(u);
        SCOPED_TRACE(name_of(u));
        if (unit.available) body();
    }
}

// Sharpening writes the reference too; the contrast pass after it pivots on
// the blue mean of the sharpened picture, which sharpening adds up as it writes.
void expect_sharpening_as_the_double_loops(const RefPicture& in) {
    const RefPicture want = reference_deconvolution(in);
    const RefPicture want_after = reference_processing(want, false, 0, 45, 127, 0);
    on_each_unit([&] {
        clsPicfilter f;
        f.Picture(to_image(in));
        f.deconvolution();
        EXPECT_EQ(0, std::memcmp(f.reference_pixels(), f.result_pixels(), in.px.size()));
        EXPECT_EQ(from_buffer(f.result_pixels(), in.w, in.h).px, want.px);
        f.PicProcessing(false, 0, 45, 127, 0);
        EXPECT_EQ(from_buffer(f.result_pixels(), in.w, in.h).px, want_after.px);
    });
}

// Narrow and short pictures around the 6-sample window, and heights around
// the split between threads (the rows next to a band boundary are read by
// one band and rewritten by the other).
class SmallAndBandedPictures : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(SmallAndBandedPictures, MatchTheDoubleLoops) {
    const auto [w, h] = GetParam();
    std::mt19937 rng(static_cast<unsigned>(w * 1000 + h));
    expect_sharpening_as_the_double_loops(random_picture(w, h, rng));
}

INSTANTIATE_TEST_SUITE_P(OneToTwelve, SmallAndBandedPictures,
                         ::testing::Combine(::testing::Range(1, 13), ::testing::Range(1, 13)));
INSTANTIATE_TEST_SUITE_P(BandBoundaries, SmallAndBandedPictures,
                         ::testing::Combine(::testing::Values(6, 13, 17, 37, 260),
                                            ::testing::Values(127, 128, 129, 130, 131, 132, 133, 134, 257, 391)));

// A flat picture whose smoothed value sits nearest a half-integer sends
// every sample through the exact fallback.
TEST(Deconvolution, FlatPictureNearestARoundingBoundary) {
    int worst = 0;
    auto distance = [](int v) { const double s = (2 * kA + 2 * kB) * v + v / 7.0; return std::abs(s - std::floor(s) - 0.5); };
    for (int v = 1; v < 256; ++v)
        if (distance(v) < distance(worst)) worst = v;
    SCOPED_TRACE(worst);
    expect_sharpening_as_the_double_loops(uniform_picture(300, 140, worst));
}

// The table pass on pictures holding every byte in every channel and every
// sum of three bytes, long enough for two threads and with a tail that fills
// no whole vector, for each colour setting's kind of table; the widest is
// large enough (over 32 MB) to be written around the cache.
class TablePass : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(TablePass, MatchesThePlainLoops) {
    const auto [w, color] = GetParam();
    std::mt19937 rng(static_cast<unsigned>(w + color));
    RefPicture in = random_picture(w, 700, rng);
    for (int i = 0; i < 766; ++i) {  // b + g + r = i, and byte i % 256 in each channel
        const int b = std::min(i, 255), g = std::min(i - b, 255);
        const int px[8] = {b, g, i - b - g, i, i, 255 - i % 256, i * 7, 0};
        for (int k = 0; k < 4; ++k) {
            in.px[4 * static_cast<std::size_t>(i) + k] = static_cast<std::uint8_t>(px[k]);
            in.px[4 * static_cast<std::size_t>(766 + i) + k] = static_cast<std::uint8_t>(px[4 + k]);
        }
    }
    clsPicfilter f;
    f.Picture(to_image(in));
    f.PicProcessing(true, 20, -30, 90, color);
    EXPECT_EQ(from_buffer(f.result_pixels(), w, 700).px, reference_processing(in, true, 20, -30, 90, color).px);
}

INSTANTIATE_TEST_SUITE_P(WidthsAndColours, TablePass,
                         ::testing::Combine(::testing::Values(751, 1023, 12003), ::testing::Values(0, 1, 20)));

}  // namespace
