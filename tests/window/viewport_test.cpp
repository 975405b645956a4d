// The view's geometry as a pure function, and the reduced copies the view
// draws a shrunk picture from.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "mipmap.h"
#include "viewport.h"

namespace {

view::ViewportInput window_9000_by_7000(double w, double h, double zoom) {
    view::ViewportInput in;
    in.outer_width = 9000;
    in.outer_height = 7000;
    in.box_left = 120;
    in.box_top = 960;
    in.hbar_height = 255;
    in.vbar_width = 255;
    in.picture_width = w;
    in.picture_height = h;
    in.zoom = zoom;
    return in;
}

TEST(ViewportNearest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(view::nearest(2.5), 2);
    EXPECT_EQ(view::nearest(3.5), 4);
    EXPECT_EQ(view::nearest(-2.5), -2);
    EXPECT_EQ(view::nearest(4372.5), 4372);
    EXPECT_EQ(view::nearest(2666.6666), 2667);
    EXPECT_EQ(view::nearest(3e9), 3000000000L);  // no 16- or 32-bit wrap
}

TEST(Viewport, WidePictureFitsTheWidthThenMakesRoomForTheBars) {
    const auto l = view::layout_viewport(window_9000_by_7000(6000, 3000, 1.0));
    EXPECT_EQ(l.view_left, 120);
    EXPECT_EQ(l.view_top, 960);
    EXPECT_EQ(l.view_width, 8490);
    EXPECT_EQ(l.view_height, 4117);
    EXPECT_EQ(l.hbar.left, 120);
    EXPECT_EQ(l.hbar.top, 5077);
    EXPECT_EQ(l.hbar.width, 8490);
    EXPECT_EQ(l.hbar.height, 255);
    EXPECT_EQ(l.vbar.left, 8610);
    EXPECT_EQ(l.vbar.top, 960);
    EXPECT_EQ(l.vbar.height, 4117);
    EXPECT_EQ(l.vbar.width, 255);
    // At zoom 1 the bars cannot move.
    EXPECT_EQ(l.hbar_maximum, 0);
    EXPECT_EQ(l.vbar_maximum, 0);
    EXPECT_EQ(l.hbar_large_step, 1);
    EXPECT_EQ(l.vbar_large_step, 1);
}

TEST(Viewport, TallPictureKeepsTheHeightAndNarrows) {
    // First guess 8745 x 5530; r = 2 so 8745 * 2 > 5530: the height stays,
    // the width becomes nearest(5530 / 2) = 2765, then the bars' room.
    const auto l = view::layout_viewport(window_9000_by_7000(3000, 6000, 1.0));
    EXPECT_EQ(l.view_height, 5530 - 255);
    EXPECT_EQ(l.view_width, 2765 - 255);
    EXPECT_EQ(l.vbar.left, 120 + 2510);
}

struct ZoomCase {
    double zoom;
    long h_max, h_step, v_max, v_step;
};

class ViewportZoom : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ViewportZoom, ScrollRangesAndSteps) {
    const ZoomCase c = GetParam();
    const auto l = view::layout_viewport(window_9000_by_7000(6000, 3000, c.zoom));
    EXPECT_EQ(l.hbar_maximum, c.h_max);
    EXPECT_EQ(l.hbar_large_step, c.h_step);
    EXPECT_EQ(l.vbar_maximum, c.v_max);
    EXPECT_EQ(l.vbar_large_step, c.v_step);
    // Zoom moves only the ranges, never the view.
    EXPECT_EQ(l.view_width, 8490);
    EXPECT_EQ(l.view_height, 4117);
}

INSTANTIATE_TEST_SUITE_P(ZoomSteps, ViewportZoom,
                         ::testing::Values(ZoomCase{1.0, 0, 1, 0, 1}, ZoomCase{2.0, 3000, 601, 1500, 301},
                                           ZoomCase{1.8, 2667, 481, 1333, 241},
                                           // a hair below 1.0, where zooming back down lands
                                           ZoomCase{1.0 - 1e-15, 0, 1, 0, 1}),
                         [](const ::testing::TestParamInfo<ZoomCase>& i) {
                             return "zoom_" + std::to_string(i.index);
                         });

TEST(Viewport, RangesBeyondSixteenBits) {
    // A 16384-pixel-wide picture is 245760 twips: at zoom 5 the range is far
    // beyond what a 16-bit bar could hold and must come out whole.
    const auto l = view::layout_viewport(window_9000_by_7000(245760, 122880, 5.0));
    EXPECT_EQ(l.hbar_maximum, 196608);
    EXPECT_EQ(l.hbar_large_step, 98305);
    EXPECT_EQ(l.vbar_maximum, 98304);
}

TEST(Viewport, SourceRectangleIsTheZoomedPartAtTheOffsets) {
    const QRectF r = view::source_rect(3000, 1500, 6000, 3000, 2.0);
    EXPECT_DOUBLE_EQ(r.x(), 3000);
    EXPECT_DOUBLE_EQ(r.y(), 1500);
    EXPECT_DOUBLE_EQ(r.width(), 3000);
    EXPECT_DOUBLE_EQ(r.height(), 1500);
    const QRectF odd = view::source_rect(0, 0, 1000, 1000, 3.0);
    EXPECT_DOUBLE_EQ(odd.width(), 1000.0 / 3.0);  // not rounded
}

TEST(ViewportZoomCaption, PercentWithoutDecimals) {
    EXPECT_EQ(view::zoom_caption(1.0), QStringLiteral("+/- 100%"));
    EXPECT_EQ(view::zoom_caption(1.2), QStringLiteral("+/- 120%"));
    double z = 1.0;
    for (int i = 0; i < 20; ++i) z += 0.2;
    EXPECT_GT(z, 5.0);
    EXPECT_EQ(view::zoom_caption(z), QStringLiteral("+/- 500%"));
    for (int i = 0; i < 20; ++i) z -= 0.2;
    EXPECT_LT(z, 1.0);
    EXPECT_EQ(view::zoom_caption(z), QStringLiteral("+/- 100%"));
}

TEST(ViewportTwipsToPixels, NeighbouringRectanglesShareTheirEdge) {
    const QRect a = view::twips_rect_to_pixels(120, 960, 8490, 4117);
    const QRect b = view::twips_rect_to_pixels(120, 960 + 4117, 8490, 255);
    EXPECT_EQ(a.x(), 8);
    EXPECT_EQ(a.y(), 64);
    EXPECT_EQ(a.bottom() + 1, b.top());
    EXPECT_EQ(a.width(), 566);
}

// ---- mip pyramid ----

QImage stripes(int w, int h, int period) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) row[x] = (x / period) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return img;
}

TEST(MipHalve, EachPixelIsTheRoundedMeanOfItsBlock) {
    QImage src(3, 3, QImage::Format_RGB32);
    const QRgb px[3][3] = {{qRgb(0, 10, 200), qRgb(3, 20, 100), qRgb(7, 7, 7)},
                           {qRgb(1, 30, 0), qRgb(2, 41, 0), qRgb(9, 9, 9)},
                           {qRgb(50, 60, 70), qRgb(52, 62, 72), qRgb(250, 0, 1)}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) src.setPixel(x, y, px[y][x]);
    const QImage h = view::halve(src);
    ASSERT_EQ(h.size(), QSize(2, 2));
    // (0+3+1+2+2)/4 = 2; (10+20+30+41+2)/4 = 25; (200+100+0+0+2)/4 = 75
    EXPECT_EQ(h.pixel(0, 0), qRgb(2, 25, 75));
    // Odd column pairs with itself: (7+9+1)/2 = 8
    EXPECT_EQ(h.pixel(1, 0), qRgb(8, 8, 8));
    // Odd row pairs with itself: (50+52+50+52+2)/4 = 51
    EXPECT_EQ(h.pixel(0, 1), qRgb(51, 61, 71));
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
    for (int y = 0; y < h.height(); y += 37) {
        for (int x = 0; x < 18; ++x) {
            int g = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) g += qGreen(src.pixel(2 * x + dx, std::min(2 * y + dy, 1200)));
            ASSERT_EQ(qGreen(h.pixel(x, y)), (g + 2) / 4) << x << "," << y;
        }
    }
}

TEST(MipPyramid, LevelsHalveDownToASmallSide) {
    view::MipPyramid mip;
    mip.rebuild(QImage(6000, 4000, QImage::Format_RGB32));
    ASSERT_GE(mip.level_count(), 8);
    EXPECT_EQ(mip.level(0).size(), QSize(3000, 2000));
    EXPECT_EQ(mip.level(1).size(), QSize(1500, 1000));
    EXPECT_LE(mip.level(mip.level_count() - 1).height(), 16);
    mip.rebuild(QImage());
    EXPECT_EQ(mip.level_count(), 0);
}

TEST(MipPyramid, PicksTheSmallestLevelStillAsLargeAsTheTarget) {
    const QImage base(6000, 4000, QImage::Format_RGB32);
    view::MipPyramid mip;
    mip.rebuild(base);
    QRectF src;
    // Whole picture into 560 x 270: 750 x 500 is the last level at least that large.
    const QImage& a = mip.pick(base, QRectF(0, 0, 6000, 4000), QSizeF(560, 270), &src);
    EXPECT_EQ(a.size(), QSize(750, 500));
    EXPECT_DOUBLE_EQ(src.width(), 750);
    // A fifth of the picture (zoom 5) into the same view: 1200 x 800 source
    // pixels, so the half level (600 x 400 of them) is enough.
    const QImage& b = mip.pick(base, QRectF(2400, 1600, 1200, 800), QSizeF(560, 270), &src);
    EXPECT_EQ(b.size(), QSize(3000, 2000));
    EXPECT_DOUBLE_EQ(src.x(), 1200);
    EXPECT_DOUBLE_EQ(src.width(), 600);
    // Enlarging: only the full picture will do.
    const QImage& c = mip.pick(base, QRectF(0, 0, 100, 100), QSizeF(560, 560), &src);
    EXPECT_EQ(&c, &base);
}

TEST(MipPyramid, ShrunkStripesAverageToGreyInsteadOfAliasing) {
    // One-pixel black and white stripes shrunk 16 times: nearest sampling
    // would give solid black or white (or a beat pattern); averaging gives
    // a flat mid grey.
    const QImage base = stripes(4096, 256, 1);
    view::MipPyramid mip;
    mip.rebuild(base);
    QImage out(256, 16, QImage::Format_RGB32);
    out.fill(Qt::red);
    QPainter p(&out);
    mip.draw(p, QRectF(0, 0, 256, 16), base, QRectF(0, 0, 4096, 256));
    p.end();
    for (int x = 0; x < 256; x += 5) {
        const int g = qGreen(out.pixel(x, 8));
        EXPECT_NEAR(g, 128, 3) << "x=" << x;
        EXPECT_EQ(qRed(out.pixel(x, 8)), g);  // nothing left of the red fill
    }
}

}  // namespace
