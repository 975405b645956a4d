// The view on screen: what part of the picture it shows at each zoom and
// scroll position, how the bars pull the offsets back, and the file name.
#include "window_fixture.h"

#include <QScrollBar>

namespace {

class ViewPaintTest : public WindowTest {
protected:
    // 400 x 200 pixels = 6000 x 3000 twips: left half red, right half blue.
    std::unique_ptr<selection_image> halves() {
        const QString record = save(two_tone(400, 200, qRgb(255, 0, 0), qRgb(0, 0, 255)), "halves.jpg", "PNG");
        auto w = open_window(record);
        show(*w);
        return w;
    }
    QRgb at_fraction(selection_image& w, double fx, double fy) {
        return screen_pixel(w, w.view_left + static_cast<long>(w.view_width * fx),
                            w.view_top + static_cast<long>(w.view_height * fy));
    }
};

TEST_F(ViewPaintTest, StartShowsTheWholePictureWithIdleBars) {
    auto w = halves();
    EXPECT_EQ(w->Lb_zoom->text(), QStringLiteral("+/- 100%"));
    EXPECT_EQ(w->HScrollBar->maximum(), 0);
    EXPECT_EQ(w->VScrollBar->maximum(), 0);
    EXPECT_EQ(w->HScrollBar->pageStep(), 1);
    EXPECT_EQ(w->VScrollBar->pageStep(), 1);
    EXPECT_EQ(at_fraction(*w, 0.05, 0.5), qRgb(255, 0, 0));
    EXPECT_EQ(at_fraction(*w, 0.45, 0.5), qRgb(255, 0, 0));
    EXPECT_EQ(at_fraction(*w, 0.55, 0.5), qRgb(0, 0, 255));
    EXPECT_EQ(at_fraction(*w, 0.95, 0.5), qRgb(0, 0, 255));
    // The view keeps (roughly) the picture's 2:1 proportions.
    EXPECT_NEAR(double(w->view_width + 255) / double(w->view_height + 255), 2.0, 0.02);
}

TEST_F(ViewPaintTest, ZoomTwoShowsHalfThePictureAndTheBarsReachTheRightHalf) {
    auto w = halves();
    w->zoom_factor = 2.0;
    w->Form_Paint();
    QApplication::processEvents();
    EXPECT_EQ(w->Lb_zoom->text(), QStringLiteral("+/- 200%"));
    EXPECT_EQ(w->HScrollBar->maximum(), 3000);
    EXPECT_EQ(w->HScrollBar->pageStep(), 601);
    EXPECT_EQ(w->VScrollBar->maximum(), 1500);
    EXPECT_EQ(w->VScrollBar->pageStep(), 301);
    // Offsets 0: the left half fills the view.
    EXPECT_EQ(at_fraction(*w, 0.9, 0.5), qRgb(255, 0, 0));
    // A page click in the trough moves one large step and repaints.
    w->HScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(w->offset_x, 601);
    // Fully right: the right half fills the view.
    w->HScrollBar->setValue(3000);
    QApplication::processEvents();
    EXPECT_EQ(w->offset_x, 3000);
    EXPECT_EQ(at_fraction(*w, 0.1, 0.5), qRgb(0, 0, 255));
    EXPECT_EQ(at_fraction(*w, 0.9, 0.5), qRgb(0, 0, 255));
}

TEST_F(ViewPaintTest, ZoomingOutPullsTheOffsetsBackThroughTheBars) {
    auto w = halves();
    w->zoom_factor = 2.0;
    w->Form_Paint();
    w->HScrollBar->setValue(3000);
    w->VScrollBar->setValue(1500);
    ASSERT_EQ(w->offset_x, 3000);
    ASSERT_EQ(w->offset_y, 1500);
    w->zoom_factor = 2.0 - 0.2;
    const std::uint64_t before = w->paint_runs();
    w->Form_Paint();
    EXPECT_EQ(w->HScrollBar->maximum(), 2667);
    EXPECT_EQ(w->offset_x, 2667);
    EXPECT_EQ(w->offset_y, 1333);
    // The clamp repainted from inside the paint.
    EXPECT_GE(w->paint_runs(), before + 2);
    // Back down to the bottom step, a hair below 1.0.
    double z = 1.0;
    for (int i = 0; i < 20; ++i) z += 0.2;
    for (int i = 0; i < 20; ++i) z -= 0.2;
    w->zoom_factor = z;
    ASSERT_LT(w->zoom_factor, 1.0);
    w->Form_Paint();
    EXPECT_EQ(w->offset_x, 0);
    EXPECT_EQ(w->offset_y, 0);
    EXPECT_EQ(w->HScrollBar->maximum(), 0);
    EXPECT_EQ(w->HScrollBar->pageStep(), 1);
    EXPECT_EQ(w->Lb_zoom->text(), QStringLiteral("+/- 100%"));
}

TEST_F(ViewPaintTest, OffsetsSurviveANewPicture) {
    auto w = halves();
    w->zoom_factor = 3.0;
    w->Form_Paint();
    w->HScrollBar->setValue(1000);
    QString error;
    ASSERT_TRUE(w->load_image(save(uniform(400, 200, qRgb(7, 7, 7)), "other.png", "PNG"), &error));
    EXPECT_EQ(w->offset_x, 1000);
    EXPECT_DOUBLE_EQ(w->zoom_factor, 3.0);
}

TEST_F(ViewPaintTest, EveryRepaintReachesTheScreen) {
    auto w = halves();
    for (int i = 0; i < 3; ++i) {
        const std::uint64_t frames = w->frames_shown();
        w->Form_Paint();
        QApplication::processEvents();
        EXPECT_GT(w->frames_shown(), frames);
    }
}

TEST_F(ViewPaintTest, FileNameIsPrintedInBlueAtTheViewCorner) {
    const QString record = save(uniform(400, 200, qRgb(255, 255, 255)), "named.jpg", "PNG");
    auto w = open_window(record);
    show(*w);
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int x0 = static_cast<int>(w->view_left / 15), y0 = static_cast<int>(w->view_top / 15);
    int blue = 0, other = 0;
    for (int y = y0; y < y0 + 20; ++y)
        for (int x = x0; x < x0 + 80; ++x) {
            const QRgb p = shot.pixel(x, y);
            if (p == qRgb(255, 255, 255)) continue;
            // Anti-aliased blue text on white: red and green fall together.
            if (qBlue(p) == 255 && qRed(p) == qGreen(p)) ++blue; else ++other;
        }
    EXPECT_GT(blue, 20);
    EXPECT_EQ(other, 0);
    // Nothing of it far below the corner.
    EXPECT_EQ(shot.pixel(x0 + 10, y0 + 60), qRgb(255, 255, 255));
}

TEST_F(ViewPaintTest, LargePictureIsShrunkWithAveragingNotSampling) {
    // Fine one-pixel stripes: a sampled copy would show black or white
    // streaks, an averaged one a flat grey.
    QImage img(3000, 1500, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) row[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    auto w = open_window(save(img, "stripes.png", "PNG"));
    show(*w);
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int cy = static_cast<int>((w->view_top + w->view_height / 2) / 15);
    for (int x = static_cast<int>(w->view_left / 15) + 10; x < (w->view_left + w->view_width) / 15 - 10; x += 7)
        EXPECT_NEAR(qGreen(shot.pixel(x, cy)), 128, 8) << "x=" << x;
}

}  // namespace
