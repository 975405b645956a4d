#include <gtest/gtest.h>

#include <tuple>

#include "clsPicfilter.h"
#include "picture_helpers.h"

namespace {

RefPicture sharpen(const RefPicture& in, int times = 1) {
    clsPicfilter f;
    f.Picture(to_image(in));
    for (int i = 0; i < times; ++i) f.deconvolution();
    EXPECT_EQ(0, std::memcmp(f.reference_pixels(), f.result_pixels(), in.px.size()));
    return from_buffer(f.result_pixels(), in.w, in.h);
}

struct Uniform {
    int value, interior, margin, corner;
};
class UniformSharpening : public ::testing::TestWithParam<Uniform> {};

TEST_P(UniformSharpening, InteriorMarginsAndCorner) {
    const auto u = GetParam();
    const int W = 12, H = 9;
    const RefPicture out = sharpen(uniform_picture(W, H, u.value));
    for (int c = 1; c <= 3; ++c) {
        EXPECT_EQ(out.at(c, 1, 1), u.interior);
        EXPECT_EQ(out.at(c, W - 5, H - 5), u.interior);
        EXPECT_EQ(out.at(c, W - 4, 1), u.margin);   // right margin: only the vertical pass
        EXPECT_EQ(out.at(c, 1, H - 4), u.margin);   // bottom margin: only the horizontal pass
        EXPECT_EQ(out.at(c, W, H), u.corner);       // never smoothed
        EXPECT_EQ(out.at(c, W - 4, H - 4), u.corner);
    }
    EXPECT_EQ(out.at(4, 3, 3), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Figures, UniformSharpening,
                         ::testing::Values(Uniform{100, 105, 98, 90}, Uniform{200, 210, 196, 180},
                                           Uniform{250, 255, 245, 225}, Uniform{0, 0, 0, 0}));

TEST(Deconvolution, FiveByFiveSkipsBothSmoothingPasses) {
    std::mt19937 rng(5);
    const RefPicture in = random_picture(5, 5, rng);
    const RefPicture out = sharpen(in);
    for (std::size_t i = 0; i < in.px.size(); ++i) {
        if (i % 4 == 3)
            EXPECT_EQ(out.px[i], in.px[i]);
        else
            EXPECT_EQ(out.px[i], static_cast<std::uint8_t>(std::nearbyint(1.9 * in.px[i] - in.px[i])));
    }
}

class DeconvolutionMatchesReference : public ::testing::TestWithParam<std::tuple<int, int, unsigned>> {};

TEST_P(DeconvolutionMatchesReference, ByteForByteTwice) {
    const auto [w, h, seed] = GetParam();
    std::mt19937 rng(seed);
    const RefPicture in = random_picture(w, h, rng);
    const RefPicture once = reference_deconvolution(in);
    EXPECT_EQ(sharpen(in).px, once.px);
    EXPECT_EQ(sharpen(in, 2).px, reference_deconvolution(once).px);  // repeated runs sharpen further
}

INSTANTIATE_TEST_SUITE_P(Sizes, DeconvolutionMatchesReference,
                         ::testing::Values(std::make_tuple(1, 1, 1u), std::make_tuple(6, 6, 2u),
                                           std::make_tuple(5, 40, 3u), std::make_tuple(40, 5, 4u),
                                           std::make_tuple(7, 9, 5u), std::make_tuple(333, 211, 6u),
                                           std::make_tuple(1001, 67, 7u)));

TEST(Deconvolution, PipelineStartsFromTheSharpenedPicture) {
    std::mt19937 rng(8);
    const RefPicture in = random_picture(30, 20, rng);
    clsPicfilter f;
    f.Picture(to_image(in));
    f.deconvolution();
    f.PicProcessing(false, 0, 0, 127, 0);
    EXPECT_EQ(from_buffer(f.result_pixels(), 30, 20).px,
              reference_processing(reference_deconvolution(in), false, 0, 0, 127, 0).px);
}

TEST(Deconvolution, WithoutAnyPictureDoesNothing) {
    clsPicfilter f;
    f.deconvolution();
    EXPECT_EQ(f.reference_pixels(), nullptr);
    EXPECT_FALSE(f.initialized);
}

TEST(Deconvolution, RunsOnTheOldBuffersAfterANullPicture) {
    const RefPicture in = uniform_picture(8, 8, 100);
    clsPicfilter f;
    f.Picture(to_image(in));
    f.Picture(QImage());
    f.deconvolution();
    EXPECT_EQ(from_buffer(f.reference_pixels(), 8, 8).px, reference_deconvolution(in).px);
}

}  // namespace
