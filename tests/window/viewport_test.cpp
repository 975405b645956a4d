// The view's geometry as a pure function, and the reduced copies the view
// draws a shrunk picture from.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "mipmap.h"
#include "pixel_image.h"
#include "viewport.h"

namespace {

view::ViewportLayout layout(double w, double h, double zoom) {
    return view::layout_viewport(view::ViewportInput{9000, 7000, 120, 960, 255, 255, w, h, zoom});
}

auto bar(const view::BarGeometry& b) { return std::make_tuple(b.left, b.top, b.width, b.height); }

TEST(ViewportNearest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(view::nearest(2.5), 2);
    EXPECT_EQ(view::nearest(3.5), 4);
    EXPECT_EQ(view::nearest(-2.5), -2);
    EXPECT_EQ(view::nearest(4372.5), 4372);
    EXPECT_EQ(view::nearest(2666.6666), 2667);
    EXPECT_EQ(view::nearest(3e9), 3000000000L);  // no 16- or 32-bit wrap
}

TEST(Viewport, WidePictureFitsTheWidthThenMakesRoomForTheBars) {
    const auto l = layout(6000, 3000, 1.0);
    EXPECT_EQ(std::make_tuple(l.view_left, l.view_top, l.view_width, l.view_height), std::make_tuple(120L, 960L, 8490L, 4117L));
    EXPECT_EQ(bar(l.hbar), std::make_tuple(120L, 5077L, 8490L, 255L));
    EXPECT_EQ(bar(l.vbar), std::make_tuple(8610L, 960L, 255L, 4117L));
}

TEST(Viewport, TallPictureKeepsTheHeightAndNarrows) {
    // First guess 8745 x 5530; the height stays, the width becomes
    // nearest(5530 / 2) = 2765, then the bars' room.
    const auto l = layout(3000, 6000, 1.0);
    EXPECT_EQ(l.view_height, 5530 - 255);
    EXPECT_EQ(l.view_width, 2765 - 255);
    EXPECT_EQ(l.vbar.left, 120 + 2510);
}

struct ZoomCase {
    double w, h, zoom;
    long h_max, h_step, v_max, v_step;
};

class ViewportZoom : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ViewportZoom, ScrollRangesAndSteps) {
    const ZoomCase c = GetParam();
    const auto l = layout(c.w, c.h, c.zoom);
    EXPECT_EQ(std::make_tuple(l.hbar_maximum, l.hbar_large_step, l.vbar_maximum, l.vbar_large_step),
              std::make_tuple(c.h_max, c.h_step, c.v_max, c.v_step));
    if (c.w == 6000) {  // zoom never moves the view
        EXPECT_EQ(std::make_pair(l.view_width, l.view_height), std::make_pair(8490L, 4117L));
    }
}

INSTANTIATE_TEST_SUITE_P(ZoomSteps, ViewportZoom,
                         ::testing::Values(ZoomCase{6000, 3000, 1.0, 0, 1, 0, 1}, ZoomCase{6000, 3000, 2.0, 3000, 601, 1500, 301},
                                           ZoomCase{6000, 3000, 1.8, 2667, 481, 1333, 241},
                                           // a hair below 1.0, where zooming back down lands
                                           ZoomCase{6000, 3000, 1.0 - 1e-15, 0, 1, 0, 1},
                                           // 16384 pixels wide at zoom 5: far beyond a 16-bit bar
                                           ZoomCase{245760, 122880, 5.0, 196608, 98305, 98304, 49153}),
                         [](const ::testing::TestParamInfo<ZoomCase>& i) { return "zoom_" + std::to_string(i.index); });

TEST(Viewport, SourceRectangleIsTheZoomedPartAtTheOffsets) {
    EXPECT_EQ(view::source_rect(3000, 1500, 6000, 3000, 2.0), QRectF(3000, 1500, 3000, 1500));
    EXPECT_DOUBLE_EQ(view::source_rect(0, 0, 1000, 1000, 3.0).width(), 1000.0 / 3.0);  // not rounded
}

TEST(ViewportZoomCaption, PercentWithoutDecimals) {
    EXPECT_EQ(view::zoom_caption(1.2), QStringLiteral("+/- 120%"));
    // Twenty steps up and down again drift a hair past 5 and below 1.
    double z = 1.0;
    for (int i = 0; i < 20; ++i) z += 0.2;
    EXPECT_EQ(view::zoom_caption(z), QStringLiteral("+/- 500%"));
    for (int i = 0; i < 20; ++i) z -= 0.2;
    ASSERT_LT(z, 1.0);
    EXPECT_EQ(view::zoom_caption(z), QStringLiteral("+/- 100%"));
}

TEST(ViewportTwipsToPixels, NeighbouringRectanglesShareTheirEdge) {
    const QRect a = view::twips_rect_to_pixels(120, 960, 8490, 4117);
    EXPECT_EQ(a.topLeft(), QPoint(8, 64));
    EXPECT_EQ(a.width(), 566);
    EXPECT_EQ(a.bottom() + 1, view::twips_rect_to_pixels(120, 960 + 4117, 8490, 255).top());
}

// ---- mip pyramid ----

TEST(MipHalve, EachPixelIsTheRoundedMeanOfItsBlock) {
    QImage src(3, 3, QImage::Format_RGB32);
    const QRgb px[9] = {qRgb(0, 10, 200), qRgb(3, 20, 100), qRgb(7, 7, 7),      qRgb(1, 30, 0), qRgb(2, 41, 0),
                        qRgb(9, 9, 9),    qRgb(50, 60, 70), qRgb(52, 62, 72), qRgb(250, 0, 1)};
    for (int i = 0; i < 9; ++i) src.setPixel(i % 3, i / 3, px[i]);
    const QImage h = view::halve(src);
    ASSERT_EQ(h.size(), QSize(2, 2));
    EXPECT_EQ(h.pixel(0, 0), qRgb(2, 25, 75));     // (0+3+1+2+2)/4 ...
    EXPECT_EQ(h.pixel(1, 0), qRgb(8, 8, 8));       // odd column pairs with itself
    EXPECT_EQ(h.pixel(0, 1), qRgb(51, 61, 71));    // odd row pairs with itself
    EXPECT_EQ(h.pixel(1, 1), qRgb(250, 0, 1));
}

TEST(MipHalve, LargePictureSplitAcrossThreadsMatchesOneThreadOfWork) {
    // Big enough for the parallel split: every output row must still be the
    // mean of its own two input rows.
    QImage src(37, 1201, QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) src.setPixel(x, y, qRgb((x * 7 + y) & 255, y & 255, (x * y) & 255));
    const QImage h = view::halve(src);
    ASSERT_EQ(h.size(), QSize(19, 601));
    auto g = [&](int x, int y) { return qGreen(src.pixel(x, std::min(y, 1200))); };
    for (int y = 0; y < h.height(); y += 37)
        for (int x = 0; x < 18; ++x)
            ASSERT_EQ(qGreen(h.pixel(x, y)), (g(2 * x, 2 * y) + g(2 * x + 1, 2 * y) + g(2 * x, 2 * y + 1) + g(2 * x + 1, 2 * y + 1) + 2) / 4)
                << x << "," << y;
}

TEST(MipPyramid, LevelsHalveDownToASmallSideAndPickTheSmallestLargeEnough) {
    const QImage base = picfilter::allocate_rgb32(6000, 4000);
    view::MipPyramid mip;
    mip.reset(base);
    ASSERT_GE(mip.level_count(), 8);
    EXPECT_EQ(mip.level_size(1), QSize(1500, 1000));
    EXPECT_LE(mip.level_size(mip.level_count() - 1).height(), 16);
    QRectF src;
    // Whole picture into 560 x 270: 750 x 500 is the last level at least that
    // large, and the only one made.
    EXPECT_EQ(mip.pick(base, QRectF(0, 0, 6000, 4000), QSizeF(560, 270), &src).size(), QSize(750, 500));
    EXPECT_DOUBLE_EQ(src.width(), 750);
    for (int i = 0; i < mip.level_count(); ++i) EXPECT_EQ(mip.level_made(i), i == 2) << i;
    // A fifth of the picture (zoom 5): 1200 x 800 source pixels, so the half level does.
    EXPECT_EQ(mip.pick(base, QRectF(2400, 1600, 1200, 800), QSizeF(560, 270), &src).size(), QSize(3000, 2000));
    EXPECT_EQ(src, QRectF(1200, 800, 600, 400));
    // Enlarging: only the full picture will do.
    EXPECT_EQ(&mip.pick(base, QRectF(0, 0, 100, 100), QSizeF(560, 560), &src), &base);
    mip.reset(base);  // a new picture of the same size: nothing of the old one is kept
    EXPECT_FALSE(mip.level_made(0) || mip.level_made(2));
    mip.reset(QImage());
    EXPECT_EQ(mip.level_count(), 0);
}

// Levels made straight from the picture, from a level made before, or in
// any order equal the picture halved again and again.
class LazyLevels : public ::testing::TestWithParam<std::tuple<int, int, std::vector<int>>> {};

TEST_P(LazyLevels, EqualRepeatedHalving) {
    const auto& [w, h, order] = GetParam();
    QImage base(w, h, QImage::Format_RGB32);
    std::mt19937 rng(static_cast<unsigned>(w * 31 + h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) base.setPixel(x, y, rng() | 0xFF000000u);
    std::vector<QImage> halved{view::halve(base)};
    view::MipPyramid mip;
    mip.reset(base);
    while (static_cast<int>(halved.size()) < mip.level_count()) halved.push_back(view::halve(halved.back()));
    for (int level : order) {
        const QSize s = mip.level_size(level);
        QRectF src;
        // The whole picture into exactly that level's size picks that level.
        const QImage& got = mip.pick(base, QRectF(0, 0, w, h), QSizeF(s), &src);
        ASSERT_EQ(got.size(), s) << "level " << level;
        for (int y = 0; y < s.height(); ++y)
            ASSERT_EQ(0, std::memcmp(got.constScanLine(y), halved[static_cast<std::size_t>(level)].constScanLine(y),
                                     static_cast<std::size_t>(4 * s.width())))
                << "level " << level << " row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SizesAndOrders, LazyLevels,
    ::testing::Values(std::make_tuple(37, 1201, std::vector<int>{3, 0, 5}),
                      std::make_tuple(1001, 999, std::vector<int>{0, 1, 4}),
                      std::make_tuple(1001, 999, std::vector<int>{5, 2, 1}),
                      std::make_tuple(70, 33, std::vector<int>{1, 0}),
                      std::make_tuple(2048, 3, std::vector<int>{6})));

TEST(MipPyramid, ShrunkStripesAverageToGreyInsteadOfAliasing) {
    // One-pixel stripes shrunk 16 times: nearest sampling gives black, white
    // or a beat pattern; averaging gives a flat mid grey.
    QImage base(4096, 256, QImage::Format_RGB32);
    for (int x = 0; x < base.width(); ++x)
        for (int y = 0; y < base.height(); ++y) base.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    view::MipPyramid mip;
    mip.reset(base);
    QImage out(256, 16, QImage::Format_RGB32);
    out.fill(Qt::red);
    QPainter p(&out);
    mip.draw(p, QRectF(0, 0, 256, 16), base, QRectF(0, 0, 4096, 256));
    p.end();
    for (int x = 0; x < 256; x += 5) {
        EXPECT_NEAR(qGreen(out.pixel(x, 8)), 128, 3) << "x=" << x;
        EXPECT_EQ(qRed(out.pixel(x, 8)), qGreen(out.pixel(x, 8)));  // nothing left of the red fill
    }
}

}  // namespace
