// The measurement tools, dragging and the keys, driven through the real
// window with mouse and key events.
#include "window_fixture.h"

#include <QLineEdit>
#include <cmath>

namespace {

int nearest_(double v) { return static_cast<int>(std::nearbyint(v)); }

class ToolsInWindow : public WindowTest {
protected:
    std::unique_ptr<selection_image> w;
    void SetUp() override {
        WindowTest::SetUp();
        const QString record = save(two_tone(400, 200, qRgb(40, 40, 40), qRgb(90, 90, 90)), "r.png", "PNG");
        w = open_window(record);
        show(*w);
    }
    // Keys go where the user's would: to the control that has the focus.
    void key(Qt::Key k) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : w.get(), k);
    }
    QPoint pixel_of(const QPoint& twips) const { return QPoint(twips.x() / 15, twips.y() / 15); }
};

TEST_F(ToolsInWindow, AngleToolPlacesItsHandlesAndDrawsRedRays) {
    QTest::mouseClick(w->test_angle, Qt::LeftButton);
    ASSERT_TRUE(w->test_angle->isChecked());
    const long vw = w->view_width, vh = w->view_height;
    EXPECT_EQ(w->handles[0], QPoint(nearest_(vw / 4.0), nearest_(vh / 4.0)));
    EXPECT_EQ(w->handles[1], QPoint(nearest_(vw / 4.0), nearest_(vh / 2.0)));
    EXPECT_EQ(w->handles[2], QPoint(nearest_(vw / 2.0), nearest_(vh / 2.0)));
    // Halfway along the ray from the vertex to A, on the window's surface.
    const QPoint mid = pixel_of((w->handles[1] + w->handles[2]) / 2);
    EXPECT_EQ(w->surface().pixel(mid) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
}

TEST_F(ToolsInWindow, ZoomAndPanKeysLeaveTheHandlesWhereTheyAre) {
    QTest::mouseClick(w->test_long, Qt::LeftButton);
    const auto before = w->handles;
    for (int i = 0; i < 3; ++i) key(Qt::Key_PageUp);
    key(Qt::Key_Right);
    EXPECT_EQ(w->Lb_zoom->text(), QStringLiteral("+/- 160%"));
    EXPECT_EQ(w->offset_x, 200);
    EXPECT_EQ(w->handles, before);
    // Zooming back out pulls the offset back through the scroll bar.
    for (int i = 0; i < 3; ++i) key(Qt::Key_PageDown);
    EXPECT_EQ(w->offset_x, 0);
    EXPECT_EQ(w->Lb_zoom->text(), QStringLiteral("+/- 100%"));
}

TEST_F(ToolsInWindow, DraggingStopsAtTheViewEdgeAndLeavesNoBand) {
    QTest::mouseClick(w->test_angle, Qt::LeftButton);
    const QPoint a = pixel_of(w->handles[2]);
    QTest::mousePress(w.get(), Qt::LeftButton, {}, a);
    EXPECT_TRUE(w->pointer.drag_active);
    EXPECT_EQ(w->pointer.hot_handle, 2);
    QTest::mouseMove(w.get(), a + QPoint(30, 0));
    QTest::mouseMove(w.get(), QPoint(w->width() - 2, a.y()));
    QTest::mouseRelease(w.get(), Qt::LeftButton, {}, QPoint(w->width() - 2, a.y()));
    EXPECT_EQ(w->handles[2].x(), w->view_left + w->view_width);
    EXPECT_FALSE(w->pointer.drag_active);
    // The release repainted: a further paint changes nothing.
    const QImage after_release = w->surface().copy();
    w->Form_Paint();
    EXPECT_EQ(w->surface(), after_release);
}

TEST_F(ToolsInWindow, HoveringAHandleShowsTheCrosshair) {
    QTest::mouseClick(w->test_long, Qt::LeftButton);
    QTest::mouseMove(w.get(), pixel_of(w->handles[4]));
    EXPECT_EQ(w->cursor().shape(), Qt::CrossCursor);
    QTest::mouseMove(w.get(), QPoint(5, w->height() - 5));
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ToolsInWindow, TypedCharactersReachNoControl) {
    w->id_image->show();
    w->id_image->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(w->id_image->hasFocus());
    QTest::keyClicks(w->id_image, "12ab");
    EXPECT_TRUE(w->id_image->text().isEmpty());
}

}  // namespace
