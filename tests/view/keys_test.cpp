#include <gtest/gtest.h>

#include <Qt>
#include <climits>
#include <cmath>
#include <vector>

#include "keys.h"

namespace {

// Picture 6000 x 3000 twips: at zoom 2.0 the offsets reach 3000 and 1500.
struct ViewKeys {
    double zoom = 2.0;
    long x = 0, y = 0, w = 6000, h = 3000;
    bool press(int key) { return apply_view_key(key, zoom, x, y, w, h); }
};

}  // namespace

struct PanCase {
    const char* name;
    int key;
    double zoom;
    long start;
    std::vector<long> after_each_press;
};

class Pan : public ::testing::TestWithParam<PanCase> {};

TEST_P(Pan, StepsOf200ClampedToThePicture) {
    const PanCase& c = GetParam();
    ViewKeys k;
    k.zoom = c.zoom;
    const bool horizontal = c.key == kKeyLeft || c.key == kKeyRight;
    long& moved = horizontal ? k.x : k.y;
    long& other = horizontal ? k.y : k.x;
    moved = c.start, other = 777;
    for (std::size_t i = 0; i < c.after_each_press.size(); ++i) {
        EXPECT_TRUE(k.press(c.key));
        EXPECT_EQ(moved, c.after_each_press[i]) << "press " << i + 1;
    }
    EXPECT_EQ(other, 777) << "the other offset moved";
    EXPECT_EQ(k.zoom, c.zoom);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Pan,
    ::testing::Values(PanCase{"right_to_the_maximum", kKeyRight, 2.0, 2700, {2900, 3000, 3000}},
                      PanCase{"down_to_the_maximum", kKeyDown, 2.0, 1100, {1300, 1500, 1500}},
                      PanCase{"right_at_zoom_one_stays_at_zero", kKeyRight, 1.0, 0, {0, 0}},
                      PanCase{"right_pulls_back_after_zooming_out", kKeyRight, 1.8, 3000, {2667}},
                      PanCase{"left_from_200", kKeyLeft, 2.0, 200, {0, 0}},
                      PanCase{"left_from_201", kKeyLeft, 2.0, 201, {1, 0}},
                      PanCase{"left_from_below_zero", kKeyLeft, 2.0, -50, {0}},
                      PanCase{"up_in_steps", kKeyUp, 2.0, 650, {450, 250, 50, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pan, TheMaximumRoundsHalvesToEven) {
    ViewKeys k{2.0, 2200, 2200, 4501, 4503};  // at zoom 2.0 the maxima are 2250.5 and 2251.5
    k.press(kKeyRight);
    k.press(kKeyDown);
    EXPECT_EQ(k.x, 2250);
    EXPECT_EQ(k.y, 2252);
}

TEST(Zoom, TwentyStepsUpEndAHairAboveFiveAndTwentyDownAHairBelowOne) {
    ViewKeys k{1.0, 1234};
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(k.press(kKeyPageUp));
    EXPECT_TRUE(k.zoom > 5.0 && k.zoom < 5.0 + 1e-9) << k.zoom;
    EXPECT_EQ(std::nearbyint(k.zoom * 100), 500);  // shown as +/- 500%
    const double top = k.zoom;
    EXPECT_TRUE(k.press(kKeyPageUp));  // still repaints
    EXPECT_EQ(k.zoom, top);
    EXPECT_EQ(k.x, 1234);  // zooming leaves the offsets to the scroll bars

    int steps = 0;
    for (double previous = k.zoom; k.zoom > 1.0 && steps < 100; previous = k.zoom, ++steps) {
        ASSERT_TRUE(k.press(kKeyPageDown));
        ASSERT_LT(k.zoom, previous);
    }
    EXPECT_EQ(steps, 20);
    EXPECT_TRUE(k.zoom < 1.0 && k.zoom > 1.0 - 1e-9) << k.zoom;
    EXPECT_EQ(std::nearbyint(k.zoom * 100), 100);
    const double bottom = k.zoom;
    EXPECT_TRUE(k.press(kKeyPageDown));
    EXPECT_EQ(k.zoom, bottom);
}

TEST(Keys, EndHomeAndEveryOtherKeyDoNothing) {
    for (int key : {0, 8, 13, 27, 32, 35, 36, 41, 45, 46, 65, 97, 112, 255, 65535}) {
        ViewKeys k{2.0, 400, 300};
        EXPECT_FALSE(k.press(key)) << key;
        EXPECT_TRUE(k.zoom == 2.0 && k.x == 400 && k.y == 300) << key;
    }
}

TEST(Keys, OffsetsNeverOverflow) {
    ViewKeys k{2.0, INT32_MAX - 100, 0, 1L << 40};  // a maximum far beyond 32 bits
    EXPECT_TRUE(k.press(kKeyRight));
    EXPECT_EQ(k.x, INT32_MAX - 100);
    k.x = INT32_MIN + 100;  // far below zero: left puts it at 0 like any offset at or below 200
    EXPECT_TRUE(k.press(kKeyLeft));
    EXPECT_EQ(k.x, 0);
}

TEST(Keys, QtKeysMapToTheirVirtualCodes) {
    const int qt_keys[] = {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home,
                           Qt::Key_Left,   Qt::Key_Up,       Qt::Key_Right, Qt::Key_Down};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(virtual_key_code(qt_keys[i]), 33 + i);
    EXPECT_EQ(virtual_key_code(Qt::Key_A), 0);
    EXPECT_EQ(virtual_key_code(Qt::Key_Space), 0);
}
