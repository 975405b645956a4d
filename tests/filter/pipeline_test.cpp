#include <gtest/gtest.h>

#include <tuple>

#include "clsPicfilter.h"
#include "picture_helpers.h"
#include "pixel_image.h"

namespace {

RefPicture run(const RefPicture& in, bool inv, int light, int contrast, int gamma, int color) {
    clsPicfilter f;
    f.Picture(to_image(in));
    f.PicProcessing(inv, light, contrast, gamma, color);
    return from_buffer(f.result_pixels(), f.width(), f.height());
}

// A 256 x 20 picture whose column x holds the byte value x in all channels:
// the top rows show the tone curve directly (the strip covers the bottom 13).
RefPicture ramp_picture() {
    RefPicture p = uniform_picture(256, 20, 0);
    for (int y = 1; y <= p.h; ++y)
        for (int x = 1; x <= 256; ++x)
            for (int c = 1; c <= 3; ++c) p.at(c, x, y) = static_cast<std::uint8_t>(x - 1);
    return p;
}

struct ToneCase {
    bool invert;
    int light, contrast, gamma;
    std::vector<std::pair<int, int>> mapping;
};

class ToneCurve : public ::testing::TestWithParam<ToneCase> {};

TEST_P(ToneCurve, MapsBytesAsDocumented) {
    const auto& tc = GetParam();
    const RefPicture out = run(ramp_picture(), tc.invert, tc.light, tc.contrast, tc.gamma, 0);
    for (auto [in, expected] : tc.mapping) {
        SCOPED_TRACE(testing::Message() << "byte " << in);
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(out.at(c, in + 1, 1), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Figures, ToneCurve,
    ::testing::Values(
        // Neutral settings are not the identity: the upper gamma segment starts above 128.
        ToneCase{false, 0, 0, 127, {{0, 0}, {127, 127}, {128, 129}, {200, 200}, {255, 255}}},
        ToneCase{false, 0, 0, 64, {{32, 64}, {64, 127}, {65, 129}, {128, 171}, {200, 218}, {255, 255}}},
        ToneCase{false, 0, 0, 200, {{32, 20}, {128, 81}, {200, 127}, {255, 255}}},
        // Light -50 halves (255 -> 127.5 -> 128, ties to even), then gamma 127 leaves <= 127.
        ToneCase{false, -50, 0, 127, {{255, 129}, {254, 127}, {100, 50}, {3, 2}, {5, 2}}},
        // Light +50 multiplies by 1.5 and clips.
        ToneCase{false, 50, 0, 127, {{10, 15}, {84, 126}, {200, 255}}},
        ToneCase{true, 0, 0, 127, {{0, 255}, {255, 0}, {127, 129}, {128, 127}}}));

TEST(Pipeline, ContrastPivotsOnTheBlueMeanOfTheReference) {
    // A uniform grey picture at m <= 127 stays at m under any contrast.
    for (int contrast : {-50, -20, 0, 33, 50}) {
        const RefPicture out = run(uniform_picture(40, 30, 90), false, 0, contrast, 127, 0);
        EXPECT_EQ(out.at(2, 20, 5), 90) << "contrast " << contrast;
    }
    // On a colour picture the pivot is the blue mean, for green and red too.
    RefPicture p = uniform_picture(40, 30, 0);
    for (int y = 1; y <= 30; ++y)
        for (int x = 1; x <= 40; ++x) {
            p.at(1, x, y) = 100;
            p.at(2, x, y) = 100;
            p.at(3, x, y) = 20;
        }
    const RefPicture out = run(p, false, 0, 50, 127, 0);
    EXPECT_EQ(out.at(1, 1, 1), 100);
    EXPECT_EQ(out.at(2, 1, 1), 100);
    EXPECT_EQ(out.at(3, 1, 1), 0);  // 1.5 * (20 - 100) + 100 = -20, clipped
}

TEST(Pipeline, Colour20OnGreyFollowsThePalette) {
    RefPicture p = uniform_picture(3, 20, 0);
    const int greys[3] = {85, 170, 255};
    for (int y = 1; y <= 20; ++y)
        for (int x = 1; x <= 3; ++x)
            for (int c = 1; c <= 3; ++c) p.at(c, x, y) = static_cast<std::uint8_t>(greys[x - 1]);
    // Gamma 127 maps 85 to itself but 170 and 255 go through the upper segment;
    // feed values that land on 85, 170 and 255 after the tone table instead.
    clsPicfilter f;
    f.Picture(to_image(p));
    f.PicProcessing(false, 0, 0, 127, 20);
    const auto& t = f.tables();
    EXPECT_EQ(t.blue[85], 85);
    EXPECT_EQ(t.green[85], 0);
    EXPECT_EQ(t.red[85], 0);
    EXPECT_EQ(t.blue[170], 0);
    EXPECT_EQ(t.green[170], 0);
    EXPECT_EQ(t.red[170], 113);
    EXPECT_EQ(t.blue[255], 0);
    EXPECT_EQ(t.green[255], 255);
    EXPECT_EQ(t.red[255], 255);
    const RefPicture out = from_buffer(f.result_pixels(), 3, 20);
    EXPECT_EQ(out.at(1, 1, 1), 85);  // grey 85 -> tone 85 -> blue 85
    EXPECT_EQ(out.at(2, 1, 1), 0);
    EXPECT_EQ(out.at(3, 1, 1), 0);
}

TEST(Pipeline, StripRowsAndRampOf510Columns) {
    const RefPicture in = uniform_picture(510, 30, 200);
    const RefPicture out = run(in, false, 0, 0, 127, 0);
    // Rows H-12..H-8 ramp, H-7..H-4 through the tone table, H-3..H tone+palette.
    const int H = 30;
    EXPECT_EQ(out.at(1, 1, H - 12), 0);  // 255/510 = 0.5 -> 0
    EXPECT_EQ(out.at(1, 3, H - 12), 2);  // 1.5 -> 2
    EXPECT_EQ(out.at(1, 510, H - 8), 255);
    EXPECT_EQ(out.at(1, 510, H - 7), 255);  // tone(255) = 255
    EXPECT_EQ(out.at(1, 257, H - 12), 128);
    EXPECT_EQ(out.at(1, 257, H - 7), 129);  // tone(128) = 129
    EXPECT_EQ(out.at(1, 257, H), 129);
    EXPECT_EQ(out.at(1, 257, H - 13), 200);  // above the strip: the picture
    EXPECT_EQ(out.at(4, 257, H), 0xFF);     // fourth byte untouched
}

TEST(Pipeline, ShortPicturesGetOnlyTheStripRowsInside) {
    for (int h : {1, 2, 5, 8, 12, 13}) {
        std::mt19937 rng(h);
        const RefPicture in = random_picture(7, h, rng);
        EXPECT_EQ(run(in, false, 10, -5, 100, 0).px, reference_processing(in, false, 10, -5, 100, 0).px) << h;
    }
}

// The fast path (folded tables, fused copy, threads) against the plain loop.
class MatchesReference : public ::testing::TestWithParam<std::tuple<int, int, unsigned>> {};

TEST_P(MatchesReference, ByteForByte) {
    const auto [w, h, seed] = GetParam();
    std::mt19937 rng(seed);
    const RefPicture in = random_picture(w, h, rng);
    clsPicfilter f;
    f.Picture(to_image(in));
    std::uniform_int_distribution<int> lc(-50, 50), g(1, 254), col(0, 20), coin(0, 1);
    for (int round = 0; round < 6; ++round) {
        const bool inv = coin(rng);
        const int light = lc(rng), contrast = lc(rng), gamma = g(rng), color = round % 3 == 0 ? 0 : col(rng);
        f.PicProcessing(inv, light, contrast, gamma, color);
        ASSERT_EQ(from_buffer(f.result_pixels(), w, h).px, reference_processing(in, inv, light, contrast, gamma, color).px)
            << "settings " << inv << ' ' << light << ' ' << contrast << ' ' << gamma << ' ' << color;
    }
    // The reference itself is never touched by the pipeline.
    EXPECT_EQ(from_buffer(f.reference_pixels(), w, h).px, in.px);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MatchesReference,
                         ::testing::Values(std::make_tuple(1, 1, 1u), std::make_tuple(13, 13, 2u),
                                           std::make_tuple(17, 31, 3u), std::make_tuple(640, 481, 4u),
                                           std::make_tuple(1023, 517, 5u)));

TEST(Pipeline, SettingsOutsideTheirRangesAreClamped) {
    std::mt19937 rng(9);
    const RefPicture in = random_picture(20, 20, rng);
    EXPECT_EQ(run(in, false, 0, 0, 0, 0).px, run(in, false, 0, 0, 1, 0).px);
    EXPECT_EQ(run(in, false, 300, -300, 999, 99).px, run(in, false, 50, -50, 254, 20).px);
}

TEST(Picture, TakesPixelsAndNullClearsInitialized) {
    std::mt19937 rng(3);
    RefPicture in = random_picture(9, 4, rng);  // random fourth bytes too
    QImage img = to_image(in);
    clsPicfilter f;
    PictureBox box;
    f.display_result(box);  // nothing taken yet: nothing written
    EXPECT_TRUE(box.image.isNull());
    f.Picture(img);
    EXPECT_TRUE(f.initialized);
    EXPECT_EQ(from_buffer(f.reference_pixels(), 9, 4).px, in.px);
    EXPECT_EQ(from_buffer(f.result_pixels(), 9, 4).px, in.px);
    EXPECT_EQ(f.mask_pixels(), nullptr);  // reads as zero until a mask operation needs it
    f.display_result(box);
    ASSERT_EQ(box.image.size(), QSize(9, 4));
    EXPECT_EQ(0, std::memcmp(box.image.constBits(), in.px.data(), in.px.size()));

    f.Picture(QImage());
    EXPECT_FALSE(f.initialized);
    box.image.fill(0);
    f.display_result(box);
    EXPECT_EQ(box.image.constBits()[0] | box.image.constBits()[1] | box.image.constBits()[2], 0);
}

TEST(Picture, OtherFormatsAreConverted) {
    QImage rgb(5, 3, QImage::Format_RGB888);
    rgb.fill(QColor(10, 20, 30));
    clsPicfilter f;
    f.Picture(rgb);
    const RefPicture out = from_buffer(f.reference_pixels(), 5, 3);
    EXPECT_EQ(out.at(1, 5, 3), 30);
    EXPECT_EQ(out.at(2, 5, 3), 20);
    EXPECT_EQ(out.at(3, 5, 3), 10);
}

TEST(Pipeline, RepeatableAndReversible) {
    std::mt19937 rng(11);
    const RefPicture in = random_picture(64, 40, rng);
    clsPicfilter f;
    f.Picture(to_image(in));
    f.PicProcessing(false, 12, -7, 90, 0);
    const RefPicture first = from_buffer(f.result_pixels(), 64, 40);
    f.PicProcessing(true, 40, 30, 20, 15);
    f.PicProcessing(false, 12, -7, 90, 0);
    EXPECT_EQ(from_buffer(f.result_pixels(), 64, 40).px, first.px);
}

}  // namespace

namespace {

// A new picture of the same size must never show the old result: the result
// buffer is reused, so a stale copy would go unnoticed by size checks.
TEST(Picture, NewPictureReplacesTheOldResultEverywhere) {
    std::mt19937 rng(21);
    const RefPicture a = random_picture(31, 17, rng), b = random_picture(31, 17, rng);
    clsPicfilter f;
    f.Picture(to_image(a));
    f.PicProcessing(true, 20, 10, 90, 7);
    f.Picture(to_image(b));
    EXPECT_EQ(from_buffer(f.result_pixels(), 31, 17).px, b.px);
    PictureBox box;
    f.display_result(box);
    EXPECT_EQ(0, std::memcmp(box.image.constBits(), b.px.data(), b.px.size()));
    f.deconvolution();
    EXPECT_EQ(from_buffer(f.result_pixels(), 31, 17).px, reference_deconvolution(b).px);
    f.Picture(to_image(a));
    EXPECT_DOUBLE_EQ(f.app_filter(0, 0, 0, 0, 0, 0), 0.0);  // all tests off: a plain copy
    EXPECT_EQ(from_buffer(f.result_pixels(), 31, 17).px, a.px);
}

}  // namespace

namespace {

// A picture in pooled memory is shared with the filter rather than copied;
// whoever holds it, every operation must behave as if it had been copied.
enum class Holder { plain, pooled };

QImage held_in(const RefPicture& p, Holder holder) {
    if (holder == Holder::plain) return to_image(p);
    QImage img = picfilter::allocate_rgb32(p.w, p.h);
    std::memcpy(img.bits(), p.px.data(), p.px.size());
    return img;
}

std::vector<std::uint8_t> bytes_of(const QImage& img) {
    return std::vector<std::uint8_t>(img.constBits(), img.constBits() + img.sizeInBytes());
}

class PictureHolders : public ::testing::TestWithParam<Holder> {};

TEST_P(PictureHolders, TakingAPictureBehavesAsACopy) {
    std::mt19937 rng(31);
    const RefPicture in = random_picture(37, 23, rng);
    PictureBox box;
    box.image = held_in(in, GetParam());
    const QImage original = box.image;
    clsPicfilter f;
    f.Picture(box.image);
    EXPECT_EQ(f.reference_pixels() == original.constBits(), GetParam() == Holder::pooled);

    QImage caller = box.image;
    caller.bits()[0] ^= 0xFF;  // the caller's own change stays its own
    EXPECT_EQ(from_buffer(f.reference_pixels(), in.w, in.h).px, in.px);
    f.display_result(box);
    EXPECT_EQ(bytes_of(box.image), in.px);

    f.PicProcessing(true, 10, 25, 90, 5);  // the contrast pivot needs the blue mean
    f.display_result(box);
    EXPECT_EQ(bytes_of(box.image), reference_processing(in, true, 10, 25, 90, 5).px);
    f.deconvolution();
    EXPECT_EQ(from_buffer(f.reference_pixels(), in.w, in.h).px, reference_deconvolution(in).px);
    f.PicProcessing(false, 0, 30, 127, 0);
    EXPECT_EQ(from_buffer(f.result_pixels(), in.w, in.h).px,
              reference_processing(reference_deconvolution(in), false, 0, 30, 127, 0).px);
    EXPECT_EQ(bytes_of(original), in.px);
}

INSTANTIATE_TEST_SUITE_P(PlainAndPooled, PictureHolders, ::testing::Values(Holder::plain, Holder::pooled),
                         [](const auto& info) { return info.param == Holder::plain ? "plain" : "pooled"; });

}  // namespace
