#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>

#include "gui_app.h"
#include "pointer.h"

namespace {

const ViewRect kView{120, 960, 8490, 4117};

Handles default_handles() {
    Handles h{};
    place_default_angle_handles(h, kView);
    place_default_proportion_handles(h, kView);
    return h;
}

Handles handles_from(std::initializer_list<QPoint> points) {
    Handles h{};
    std::copy(points.begin(), points.end(), h.begin());
    return h;
}

QImage random_surface(int w, int h, unsigned seed) {
    QImage s(w, h, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) reinterpret_cast<QRgb*>(s.scanLine(y))[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    return s;
}

// Compares the stored words, fourth byte included; `box` gets the bounds of
// the differences and `exact_inverse` whether each is the colour inverse.
int count_differences(const QImage& a, const QImage& b, QRect* box = nullptr, bool* exact_inverse = nullptr) {
    int n = 0;
    QRect r;
    bool inverse = true;
    for (int y = 0; y < a.height(); ++y) {
        const auto* la = reinterpret_cast<const std::uint32_t*>(a.constScanLine(y));
        const auto* lb = reinterpret_cast<const std::uint32_t*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (la[x] != lb[x]) {
                ++n, r |= QRect(x, y, 1, 1);
                inverse = inverse && (la[x] ^ lb[x]) == 0x00FFFFFFu;
            }
    }
    if (box) *box = r;
    if (exact_inverse) *exact_inverse = inverse;
    return n;
}

template <class Case>
std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

}  // namespace

struct HitCase {
    const char* name;
    double x, y;
    int expected;
};

class HitTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(HitTest, StrictSquareAndHighestIndexWins) {
    // Handle 7 is an unused index: never hit.
    const Handles h = handles_from({{1000, 1000}, {}, {}, {5000, 3000}, {}, {5150, 3000}, {9000, 9000}, {7000, 7000}});
    EXPECT_EQ(hit_test(h, GetParam().x, GetParam().y), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HitTest,
    ::testing::Values(HitCase{"on_handle", 1000, 1000, 0}, HitCase{"exactly_100_right_misses", 1100, 1000, -1},
                      HitCase{"exactly_100_above_misses", 1000, 900, -1},
                      HitCase{"just_inside_corner", 1099.9, 900.1, 0}, HitCase{"fraction_beyond", 899.99, 1000, -1},
                      HitCase{"both_near_highest_wins", 5075, 3000, 5}, HitCase{"only_lower_one", 5000, 3050, 3},
                      HitCase{"unused_index_ignored", 7000, 7000, -1}, HitCase{"nowhere", 3000, 3000, -1},
                      HitCase{"unset_handles_at_origin", 50, 50, 4}),
    case_name<HitCase>);

TEST(ClampToView, StopsAtTheEdgesAndRoundsHalvesToEven) {
    // view_left 120, width 8490: right edge 8610.
    const std::pair<double, long> cases[] = {{9000.0, 8610}, {8610.0, 8610}, {8609.6, 8610}, {8610.4, 8610},
                                             {119.9, 120},   {-5000.0, 120}, {1000.5, 1000}, {1001.5, 1002}};
    for (const auto& [v, expected] : cases) EXPECT_EQ(clamp_to_view(v, 120, 8490), expected) << v;
}

// ---------------------------------------------------------------------------
// The rubber band.

struct BandCase {
    const char* name;
    Handles handles;
    ToolState tools;
};

class Band : public ::testing::TestWithParam<BandCase> {};

TEST_P(Band, InvertingTwiceRestoresEveryPixel) {
    const BandCase& c = GetParam();
    const QImage original = random_surface(320, 240, 11);
    QImage surface = original;
    const QRect first = invert_band(surface, c.handles, c.tools);
    QRect changed;
    bool exact_inverse = false;
    const int differing = count_differences(surface, original, &changed, &exact_inverse);
    EXPECT_TRUE(exact_inverse);
    // Every changed pixel is reported to the window (pixels where two
    // segments overlap are inverted twice and may stay as they were).
    EXPECT_TRUE(changed.isEmpty() || first.contains(changed));
    EXPECT_EQ(invert_band(surface, c.handles, c.tools), first);
    EXPECT_EQ(count_differences(surface, original), 0);
    EXPECT_TRUE(c.tools.any() || (first.isEmpty() && differing == 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Band,
    ::testing::Values(
        BandCase{"defaults_both_tools", default_handles(), {true, true}},
        BandCase{"steep_and_reversed",
                 handles_from({{4000, 3000}, {150, 10}, {3000, 3500}, {10, 3000}, {4700, 20}, {30, 30}, {4000, 900}}),
                 {true, true}},
        BandCase{"partly_outside_the_surface",
                 handles_from({{-3000, -200}, {900, 900}, {9000, 4000}, {-100, 5000}, {8000, -800}, {0, 0}, {1, 1}}),
                 {true, true}},
        BandCase{"wholly_outside", handles_from({{-3000, -200}, {-10, -900}, {-1, -1}}), {true, false}},
        BandCase{"overlapping_segments_and_zero_lengths",
                 handles_from({{300, 300}, {3000, 300}, {300, 300}, {900, 900}, {900, 900}, {450, 300}, {2000, 300}}),
                 {true, true}},
        BandCase{"no_tool", default_handles(), {false, false}}),
    case_name<BandCase>);

TEST(Band, InvertsExactlyThePixelsOfThePaintedLines) {
    ensure_gui_application();
    // The first move after a paint inverts the coloured lines in place. No
    // two lines cross here (a crossing is inverted twice); "Ref.Unite",
    // printed in the reference's colour, lies below the reference at row 266.
    const Handles h = handles_from({{2122, 1029}, {2122, 2058}, {4245, 2058}, {1000, 4000}, {6000, 4000},
                                    {5555, 333}, {9000, 3999}});
    QImage painted(640, 480, QImage::Format_RGB32), band(640, 480, QImage::Format_RGB32);
    painted.fill(Qt::black);
    band.fill(Qt::black);
    {
        QPainter p(&painted);
        draw_angle_overlay(p, h);
        draw_proportion_overlay(p, h);
    }
    invert_band(band, h, {true, true});
    auto line_colour = [](QRgb p) {
        return p == kAngleLineColour.rgb() || p == kReferenceColour.rgb() || p == kMeasuredColour.rgb();
    };
    int lines = 0, missed = 0, outside = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool inverted = band.pixel(x, y) == 0xFFFFFFFFu;
            const QRgb p = painted.pixel(x, y);
            lines += inverted;
            missed += line_colour(p) && !inverted && !(p == kReferenceColour.rgb() && y > 266);
            // Where the band finds no line colour, a label was printed over the line.
            outside += inverted && !line_colour(p) && p != kLabelColour.rgb();
        }
    EXPECT_GT(lines, 500);
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(outside, 0);
}

// ---------------------------------------------------------------------------
// Press, move, release.

class Pointer : public ::testing::Test {
protected:
    MoveOutcome move(double x, double y, ToolState tools, PointerShape shown = PointerShape::Crosshair) {
        return pointer.mouse_move(x, y, h, kView, tools, shown, surface);
    }
    Handles h = default_handles();
    PointerInteraction pointer;
    QImage surface = random_surface(640, 480, 3);
    const QImage before = surface;
};

TEST_F(Pointer, HoverShowsTheCrosshairAlsoOverAHiddenHandle) {
    EXPECT_EQ(move(2122, 1029, {false, false}, PointerShape::Default).pointer, PointerShape::Crosshair);
    EXPECT_EQ(pointer.hot_handle, 0);
    EXPECT_FALSE(pointer.drag_active);
    EXPECT_EQ(move(2122, 1029, {false, false}).pointer, PointerShape::Crosshair);
    const MoveOutcome m = move(7000, 500, {false, false});
    EXPECT_EQ(m.pointer, PointerShape::Default);
    EXPECT_EQ(pointer.hot_handle, -1);
    EXPECT_EQ(count_differences(surface, before), 0);
    EXPECT_TRUE(m.dirty.isEmpty());
}

TEST_F(Pointer, PressWithBothToolsOffStartsNothing) {
    const Handles handles_before = h;
    pointer.mouse_down(2122, 1029, h, {false, false});
    EXPECT_FALSE(pointer.drag_active);
    move(9000, 9000, {false, false}, PointerShape::Default);
    EXPECT_EQ(h, handles_before);
    EXPECT_FALSE(pointer.mouse_up({false, false}));
    EXPECT_EQ(pointer.hot_handle, -1);
}

TEST_F(Pointer, PressOnNothingOnlyResetsThePointer) {
    const Handles handles_before = h;
    pointer.mouse_down(7000, 500, h, {true, false});
    EXPECT_TRUE(pointer.drag_active);
    EXPECT_EQ(pointer.hot_handle, -1);
    // Passing over a handle while pressed on nothing grabs nothing.
    EXPECT_EQ(move(2122, 1029, {true, false}).pointer, PointerShape::Default);
    EXPECT_EQ(h, handles_before);
    EXPECT_EQ(count_differences(surface, before), 0);
    EXPECT_TRUE(pointer.mouse_up({true, false}));
    EXPECT_FALSE(pointer.drag_active);
}

TEST_F(Pointer, DragPastTheViewStopsAtItsEdgesAndLeavesOnlyTheBand) {
    const ToolState proportion{false, true};
    pointer.mouse_down(4365 + 60, 3018 - 40, h, proportion);  // near handle 4
    ASSERT_EQ(pointer.hot_handle, 4);
    EXPECT_EQ(move(5000, 2500, proportion, PointerShape::Default).pointer, PointerShape::Crosshair);
    EXPECT_EQ(h[4], QPoint(5000, 2500));
    move(20000.25, 6000.7, proportion);
    EXPECT_EQ(h[4], QPoint(120 + 8490, 960 + 4117));
    move(-4.5, 100, proportion);
    EXPECT_EQ(h[4], QPoint(120, 960));
    const MoveOutcome m = move(3000.5, 2000.5, proportion);
    EXPECT_EQ(h[4], QPoint(3000, 2000));
    EXPECT_EQ(h[3], QPoint(2242, 3018));  // the other end stays

    // The intermediate bands cancel: what is left is the band at the grab
    // position and the band at the final one.
    QImage expected = before;
    invert_band(expected, default_handles(), proportion);
    invert_band(expected, h, proportion);
    EXPECT_EQ(count_differences(surface, expected), 0);
    QRect changed;
    count_differences(surface, before, &changed);
    EXPECT_TRUE(m.dirty.contains(changed & m.dirty));

    EXPECT_TRUE(pointer.mouse_up(proportion));
    EXPECT_FALSE(pointer.drag_active);
    EXPECT_EQ(pointer.hot_handle, -1);
    move(9999, 9999, proportion);  // after the release, moves hover instead of dragging
    EXPECT_EQ(h[4], QPoint(3000, 2000));
}

TEST_F(Pointer, AHiddenHandleMovesWithoutAnyLineOfIt) {
    pointer.mouse_down(2122, 2058, h, {false, true});  // the vertex, angle tool off
    ASSERT_EQ(pointer.hot_handle, 1);
    EXPECT_EQ(move(6000, 3000, {false, true}, PointerShape::Default).pointer, PointerShape::Crosshair);
    EXPECT_EQ(h[1], QPoint(6000, 3000));
    // The proportion lines were erased and redrawn in place.
    EXPECT_EQ(count_differences(surface, before), 0);
}
