// The view's layout and the keys that zoom and pan it, in twips.
#include <gtest/gtest.h>

#include <Qt>
#include <tuple>

#include "keys.h"
#include "viewport.h"

using namespace view;

namespace {

// A window of 9000 x 7000 twips, the picture holder at (120, 960), bars 240 (across) and 255 thick.
TEST(Viewport, FitsThePictureThenMakesRoomForTheBarsAndSetsTheScrollRanges) {
    const struct {
        double picture_width, picture_height, zoom;
        long view_w, view_h, h_max, h_step, v_max, v_step;
    } rows[] = {
        {6000, 3000, 1.0, 8490, 4132, 0, 1, 0, 1},  // 8745 x 0.5 = 4372.5 goes to 4372
        {3000, 6000, 1.0, 2525, 5320, 0, 1, 0, 1},  // too tall: the height stays, the width follows
        {6000, 3000, 2.0, 8490, 4132, 3000, 601, 1500, 301}, {6000, 3000, 1.8, 8490, 4132, 2667, 481, 1333, 241},
        {6000, 3000, 1.0 - 1e-15, 8490, 4132, 0, 1, 0, 1},  // where zooming back down lands
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(testing::Message() << c.picture_width << 'x' << c.picture_height << " zoom " << c.zoom);
        const view::ViewportLayout l = view::layout_viewport(
            view::ViewportInput{9000, 7000, 120, 960, 240, 255, c.picture_width, c.picture_height, c.zoom});
        EXPECT_EQ(std::tie(l.view_left, l.view_top, l.view_width, l.view_height, l.hbar.top, l.hbar.width),
                  std::make_tuple(120L, 960L, c.view_w, c.view_h, 960 + c.view_h, c.view_w));
        EXPECT_EQ(std::tie(l.hbar.left, l.hbar.height, l.vbar.left, l.vbar.top, l.vbar.width, l.vbar.height),
                  std::make_tuple(120L, 240L, 120 + c.view_w, 960L, 255L, c.view_h));
        EXPECT_EQ(std::tie(l.hbar_maximum, l.hbar_large_step, l.vbar_maximum, l.vbar_large_step),
                  std::make_tuple(c.h_max, c.h_step, c.v_max, c.v_step));
    }
}

// Keys arrive as Qt key codes, as the window receives them.
struct ViewKeys {
    double zoom;
    long x, y, w = 6000, h = 3000;
    bool press(int qt_key) { return apply_view_key(virtual_key_code(qt_key), zoom, x, y, w, h); }
};

// The window presses Page Up and Down through to the zoom; here, the arrows' rounding at the picture's edge.
TEST(Keys, ArrowsPanInStepsOf200WithinThePictureAndOtherKeysDoNothing) {
    const struct {
        int key;
        double zoom;
        long w, h, x, y, to_x, to_y;
    } rows[] = {
        {Qt::Key_Right, 2.0, 6000, 3000, 2700, 9, 2900, 9},
        {Qt::Key_Right, 2.0, 6000, 3000, 2900, 9, 3000, 9},  // the largest offset is 3000
        {Qt::Key_Down, 2.0, 6000, 3000, 9, 1400, 9, 1500},
        {Qt::Key_Right, 1.8, 6000, 3000, 3000, 9, 2667, 9},  // after zooming out
        {Qt::Key_Right, 2.0, 4501, 4503, 2200, 9, 2250, 9},  // 2250.5
        {Qt::Key_Down, 2.0, 4501, 4503, 9, 2200, 9, 2252},   // 2251.5
        {Qt::Key_Left, 2.0, 6000, 3000, 200, 9, 0, 9},
        {Qt::Key_Up, 2.0, 6000, 3000, 9, 650, 9, 450},
    };
    for (const auto& c : rows) {
        ViewKeys k{c.zoom, c.x, c.y, c.w, c.h};
        EXPECT_TRUE(k.press(c.key));
        EXPECT_EQ(std::tie(k.x, k.y, k.zoom), std::make_tuple(c.to_x, c.to_y, c.zoom)) << "row " << &c - rows;
    }
    ViewKeys k{2.0, 1234, 567};
    for (int key : {Qt::Key_End, Qt::Key_Home, Qt::Key_A, Qt::Key_Space}) EXPECT_FALSE(k.press(key)) << key;
    EXPECT_EQ(std::tie(k.x, k.y, k.zoom), std::make_tuple(1234L, 567L, 2.0));
}

}  // namespace
