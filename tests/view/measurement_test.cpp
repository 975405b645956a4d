// The measuring tools: their handles, numbers, band, and the mouse that drags them.
#include <gtest/gtest.h>

#include "pointer.h"

using namespace view;

namespace {

const ViewRect kView{120, 960, 8490, 4117};
const Handles kDefaults{QPoint(2122, 1029), {2122, 2058}, {4245, 2058}, {2242, 3018},
                        {4365, 3018},       {2242, 1989}, {4365, 1989}};
Handles angle(QPoint b, QPoint vertex, QPoint a) { return Handles{b, vertex, a}; }
Handles proportion(QPoint a, QPoint b, QPoint c, QPoint d) { return Handles{QPoint(), QPoint(), QPoint(), a, b, c, d}; }

TEST(DefaultHandles, AngleFromTheWindowsOriginProportionFromTheViewsCorner) {
    Handles h{};
    place_default_angle_handles(h, kView);
    EXPECT_TRUE(place_default_proportion_handles(h, kView));
    EXPECT_EQ(h, kDefaults);
    h[4] = QPoint(500, 10);  // a reference with a length keeps the proportion handles
    EXPECT_FALSE(place_default_proportion_handles(h, kView));
    EXPECT_EQ(h[4], QPoint(500, 10));
    h[4] = h[3] = QPoint(7, 7);  // until it has none again
    EXPECT_TRUE(place_default_proportion_handles(h, kView));
    EXPECT_EQ(h, kDefaults);
}

// The angle turns from ray VA to ray VB in whole degrees; the ratio is measured over reference.
TEST(Labels, AngleAndRatioInTheUsersDecimalSeparatorWithoutGrouping) {
    const QLocale c = QLocale::c(), fr(QLocale::French, QLocale::France);
    const struct {
        QString (*label)(const Handles&, const QLocale&);
        Handles handles;
        const QLocale& locale;
        const char* text;
    } rows[] = {
        {angle_label, angle({2122, 1029}, {2122, 2058}, {4245, 2058}), c, "90.00°"},  // B above V, A right
        {angle_label, angle({101, 99}, {100, 100}, {300, 100}), c, "45.00°"},         // 135 less a hair, less 90
        {angle_label, angle({2759, 161}, {1000, 1000}, {1100, 1000}), c, "25.00°"},   // 25.5 less a hair
        {angle_label, angle({150, 150}, {100, 100}, {200, 200}), c, "0.00°"},         // the same ray
        {angle_label, angle({100, 100}, {100, 100}, {300, 100}), c, "180.00°"},       // B on V: to the left
        {angle_label, angle({300, 100}, {100, 100}, {100, 100}), c, "180.00°"},       // and A
        {angle_label, angle({0, 200}, {100, 100}, {100, 500}), c, "315.00°"},
        {angle_label, angle({INT32_MIN, 0}, {INT32_MAX, INT32_MAX}, {0, INT32_MAX}), c, "333.00°"},
        {ratio_label, proportion({0, 0}, {1000, 0}, {0, 0}, {300, 400}), fr, "L:0,50"},
        {ratio_label, proportion({0, 0}, {2, 0}, {0, 0}, {2469, 0}), fr, "L:1234,50"},
        {ratio_label, proportion({40, 40}, {40, 40}, {0, 0}, {300, 400}), c, "L:--"},  // no reference length
        {ratio_label, proportion({INT32_MIN, 0}, {INT32_MAX, 0}, {0, 0}, {1 << 30, 0}), c, "L:0.25"},
    };
    for (const auto& r : rows) EXPECT_EQ(r.label(r.handles, r.locale), QString::fromUtf8(r.text));
}

TEST(Handles, HitStrictlyInsideASquareOf100AndTheHighestIndexWins) {
    // Handles 1, 2 and 4 lie unset at the origin; 7 is never used.
    const Handles h{QPoint(1000, 1000), {}, {}, {5000, 3000}, {}, {5150, 3000}, {9000, 9000}, {7000, 7000}};
    const struct {
        double x, y;
        int hit;
    } rows[] = {{1000, 1000, 0}, {1100, 1000, -1}, {1000, 900, -1},  {1099.9, 900.1, 0}, {899.99, 1000, -1},
                {5075, 3000, 5}, {5000, 3050, 3},  {7000, 7000, -1}, {9050, 8950, 6},    {50, 50, 4}};
    for (const auto& r : rows) EXPECT_EQ(hit_test(h, r.x, r.y), r.hit) << r.x << ',' << r.y;
    // A dragged coordinate stays within the view's edges, 120 to 8610 here.
    const std::pair<double, long> clamps[] = {{9000.0, 8610}, {8610.4, 8610}, {8609.6, 8610}, {119.9, 120},
                                              {-5000.0, 120}, {1000.5, 1000}, {1001.5, 1002}};
    for (const auto& [v, expected] : clamps) EXPECT_EQ(clamp_to_view(v, 120, 8490), expected) << v;
}

TEST(Pointer, PressMoveAndReleaseGrabDragAndClampAHandleWithItsBand) {
    Handles h = kDefaults;
    QImage surface(640, 480, QImage::Format_RGB32);
    surface.fill(0xFF336699u);
    const QImage before = surface;
    Handles expected = h;
    PointerInteraction pointer;
    auto move = [&](double x, double y, ToolState tools) {
        return pointer.mouse_move(x, y, h, kView, tools, PointerShape::Default, surface);
    };
    EXPECT_EQ(move(2122, 1029, {}).pointer, PointerShape::Crosshair);  // handle 0, its tool off
    pointer.mouse_down(2122, 1029, h, {});                             // no tool: nothing starts
    move(9000, 9000, {});
    EXPECT_FALSE(pointer.mouse_up({}));
    pointer.mouse_down(2122, 2058, h, {false, true});  // the vertex, while only the other tool is on
    move(6000, 3000, {false, true});
    expected[1] = QPoint(6000, 3000);
    EXPECT_EQ(surface, before);  // the proportion lines were inverted away and back; none of the angle's
    EXPECT_TRUE(pointer.mouse_up({false, true}));

    const ToolState both{true, true};
    pointer.mouse_down(4365 + 60, 3018 - 40, h, both);  // near handle 4
    EXPECT_EQ(move(20000.25, 6000.7, both).pointer, PointerShape::Crosshair);
    EXPECT_EQ(h[4], QPoint(120 + 8490, 960 + 4117));
    move(-4.5, 100, both);
    EXPECT_EQ(h[4], QPoint(120, 960));
    const MoveOutcome m = move(3000.5, 2001.5, both);
    // What stays inverted is the band at the grab and the band now.
    invert_band(surface, expected, both);
    expected[4] = QPoint(3000, 2002);
    EXPECT_TRUE(m.dirty.contains(invert_band(surface, expected, both)));
    EXPECT_EQ(surface, before);
    EXPECT_TRUE(pointer.mouse_up(both));
    EXPECT_EQ(pointer.hot_handle, -1);
    pointer.mouse_down(7000, 500, h, {true, false});  // on nothing: passing over a handle grabs nothing
    EXPECT_EQ(move(2122, 1029, {true, false}).pointer, PointerShape::Default);
    EXPECT_TRUE(pointer.mouse_up({true, false}));
    EXPECT_EQ(move(3050, 2050, both).pointer, PointerShape::Crosshair);  // released: hovering moves nothing
    EXPECT_EQ(h, expected);
}

}  // namespace
