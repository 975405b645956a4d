#include <gtest/gtest.h>

#include <ostream>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <random>

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

QImage random_surface(int w, int h, unsigned seed) {
    QImage s(w, h, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(s.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    }
    return s;
}

// Compares the stored words, fourth byte included. When `exact_inverse`, any
// word that differs must be the exact colour inverse of the other.
int count_differences(const QImage& a, const QImage& b, QRect* box = nullptr, bool* exact_inverse = nullptr) {
    int n = 0;
    QRect r;
    if (exact_inverse) *exact_inverse = true;
    for (int y = 0; y < a.height(); ++y) {
        const auto* la = reinterpret_cast<const std::uint32_t*>(a.constScanLine(y));
        const auto* lb = reinterpret_cast<const std::uint32_t*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (la[x] != lb[x]) {
                ++n;
                r |= QRect(x, y, 1, 1);
                if (exact_inverse && (la[x] ^ lb[x]) != 0x00FFFFFFu) *exact_inverse = false;
            }
    }
    if (box) *box = r;
    return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// Hit test and clamp.

struct HitCase {
    const char* name;
    double x, y;
    int expected;
};

void PrintTo(const HitCase& c, std::ostream* os) { *os << c.name; }

class HitTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(HitTest, StrictSquareAndHighestIndexWins) {
    Handles h{};
    h[0] = QPoint(1000, 1000);
    h[3] = QPoint(5000, 3000);
    h[5] = QPoint(5150, 3000);
    h[6] = QPoint(9000, 9000);
    h[7] = QPoint(7000, 7000);  // unused index: never hit
    const HitCase& c = GetParam();
    EXPECT_EQ(hit_test(h, c.x, c.y), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HitTest,
    ::testing::Values(HitCase{"on_handle", 1000, 1000, 0}, HitCase{"exactly_100_right_misses", 1100, 1000, -1},
                      HitCase{"exactly_100_above_misses", 1000, 900, -1},
                      HitCase{"just_inside_corner", 1099.9, 900.1, 0}, HitCase{"fraction_beyond", 899.99, 1000, -1},
                      HitCase{"both_near_highest_wins", 5075, 3000, 5}, HitCase{"only_lower_one", 5000, 3050, 3},
                      HitCase{"unused_index_ignored", 7000, 7000, -1}, HitCase{"nowhere", 3000, 3000, -1},
                      HitCase{"unset_handles_at_origin", 50, 50, 4}),
    [](const ::testing::TestParamInfo<HitCase>& info) { return std::string(info.param.name); });

TEST(ClampToView, StopsAtTheEdgesAndRoundsHalvesToEven) {
    // view_left 120, width 8490: right edge 8610.
    EXPECT_EQ(clamp_to_view(9000.0, 120, 8490), 8610);
    EXPECT_EQ(clamp_to_view(8610.0, 120, 8490), 8610);
    EXPECT_EQ(clamp_to_view(8609.6, 120, 8490), 8610);
    EXPECT_EQ(clamp_to_view(8610.4, 120, 8490), 8610);
    EXPECT_EQ(clamp_to_view(119.9, 120, 8490), 120);
    EXPECT_EQ(clamp_to_view(-5000.0, 120, 8490), 120);
    EXPECT_EQ(clamp_to_view(1000.5, 120, 8490), 1000);
    EXPECT_EQ(clamp_to_view(1001.5, 120, 8490), 1002);
}

// ---------------------------------------------------------------------------
// The rubber band.

struct BandCase {
    const char* name;
    Handles handles;
    ToolState tools;
};

void PrintTo(const BandCase& c, std::ostream* os) { *os << c.name; }

Handles handles_from(std::initializer_list<QPoint> points) {
    Handles h{};
    int i = 0;
    for (const QPoint& p : points) h[i++] = p;
    return h;
}

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
    const QRect second = invert_band(surface, c.handles, c.tools);
    EXPECT_EQ(first, second);
    EXPECT_EQ(count_differences(surface, original), 0);
    if (!c.tools.any()) {
        EXPECT_TRUE(first.isEmpty());
        EXPECT_EQ(differing, 0);
    }
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
    [](const ::testing::TestParamInfo<BandCase>& info) { return std::string(info.param.name); });

TEST(Band, InvertsExactlyThePixelsOfThePaintedLines) {
    ensure_gui_application();
    // The first move after a paint inverts the coloured lines in place. No
    // two lines cross here (a crossing is inverted twice); "Ref.Unite",
    // printed in the reference's colour, lies below the reference at row 266.
    const Handles h = handles_from({{2122, 1029}, {2122, 2058}, {4245, 2058}, {1000, 4000}, {6000, 4000},
                                    {5555, 333}, {9000, 3999}});
    QImage painted(640, 480, QImage::Format_RGB32);
    painted.fill(Qt::black);
    {
        QPainter p(&painted);
        draw_angle_overlay(p, h);
        draw_proportion_overlay(p, h);
    }
    QImage band(640, 480, QImage::Format_RGB32);
    band.fill(Qt::black);
    invert_band(band, h, {true, true});
    auto line_colour = [](QRgb p) {
        return p == kAngleLineColour.rgb() || p == kReferenceColour.rgb() || p == kMeasuredColour.rgb();
    };
    int lines = 0, missed = 0, outside = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool inverted = band.pixel(x, y) == 0xFFFFFFFFu;
            const QRgb p = painted.pixel(x, y);
            if (inverted) ++lines;
            const bool reference_label = p == kReferenceColour.rgb() && y > 266;
            if (line_colour(p) && !inverted && !reference_label) ++missed;
            // Where the band finds no line colour, a label was printed over the line.
            if (inverted && !line_colour(p) && p != kLabelColour.rgb()) ++outside;
        }
    EXPECT_GT(lines, 500);
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(outside, 0);
}

// ---------------------------------------------------------------------------
// Press, move, release.

class Pointer : public ::testing::Test {
protected:
    Handles h = default_handles();
    PointerInteraction pointer;
    QImage surface = random_surface(640, 480, 3);
};

TEST_F(Pointer, HoverShowsTheCrosshairAlsoOverAHiddenHandle) {
    const QImage before = surface;
    MoveOutcome m = pointer.mouse_move(2122, 1029, h, kView, {false, false}, PointerShape::Default, surface);
    EXPECT_EQ(m.pointer, PointerShape::Crosshair);
    EXPECT_EQ(pointer.hot_handle, 0);
    EXPECT_FALSE(pointer.drag_active);
    m = pointer.mouse_move(2122, 1029, h, kView, {false, false}, PointerShape::Crosshair, surface);
    EXPECT_EQ(m.pointer, PointerShape::Crosshair);
    m = pointer.mouse_move(7000, 500, h, kView, {false, false}, PointerShape::Crosshair, surface);
    EXPECT_EQ(m.pointer, PointerShape::Default);
    EXPECT_EQ(pointer.hot_handle, -1);
    EXPECT_EQ(count_differences(surface, before), 0);
    EXPECT_TRUE(m.dirty.isEmpty());
}

TEST_F(Pointer, PressWithBothToolsOffStartsNothing) {
    const Handles before = h;
    pointer.mouse_down(2122, 1029, h, {false, false});
    EXPECT_FALSE(pointer.drag_active);
    pointer.mouse_move(9000, 9000, h, kView, {false, false}, PointerShape::Default, surface);
    EXPECT_EQ(h, before);
    EXPECT_FALSE(pointer.mouse_up({false, false}));
    EXPECT_EQ(pointer.hot_handle, -1);
}

TEST_F(Pointer, PressOnNothingOnlyResetsThePointer) {
    const QImage before = surface;
    const Handles handles_before = h;
    pointer.mouse_down(7000, 500, h, {true, false});
    EXPECT_TRUE(pointer.drag_active);
    EXPECT_EQ(pointer.hot_handle, -1);
    // Passing over a handle while pressed on nothing grabs nothing.
    const MoveOutcome m = pointer.mouse_move(2122, 1029, h, kView, {true, false}, PointerShape::Crosshair, surface);
    EXPECT_EQ(m.pointer, PointerShape::Default);
    EXPECT_EQ(h, handles_before);
    EXPECT_EQ(count_differences(surface, before), 0);
    EXPECT_TRUE(pointer.mouse_up({true, false}));
    EXPECT_FALSE(pointer.drag_active);
}

TEST_F(Pointer, DragPastTheViewStopsAtItsEdgesAndLeavesOnlyTheBand) {
    const QImage painted = surface;
    pointer.mouse_down(4365 + 60, 3018 - 40, h, {false, true});  // near handle 4
    ASSERT_EQ(pointer.hot_handle, 4);
    MoveOutcome m = pointer.mouse_move(5000, 2500, h, kView, {false, true}, PointerShape::Default, surface);
    EXPECT_EQ(m.pointer, PointerShape::Crosshair);
    EXPECT_EQ(h[4], QPoint(5000, 2500));
    m = pointer.mouse_move(20000.25, 6000.7, h, kView, {false, true}, PointerShape::Crosshair, surface);
    EXPECT_EQ(h[4], QPoint(120 + 8490, 960 + 4117));
    m = pointer.mouse_move(-4.5, 100, h, kView, {false, true}, PointerShape::Crosshair, surface);
    EXPECT_EQ(h[4], QPoint(120, 960));
    m = pointer.mouse_move(3000.5, 2000.5, h, kView, {false, true}, PointerShape::Crosshair, surface);
    EXPECT_EQ(h[4], QPoint(3000, 2000));
    EXPECT_EQ(h[3], QPoint(2242, 3018));  // the other end stays

    // The intermediate bands cancel: what is left is the band at the grab
    // position and the band at the final one.
    QImage expected = painted;
    invert_band(expected, default_handles(), {false, true});
    invert_band(expected, h, {false, true});
    EXPECT_EQ(count_differences(surface, expected), 0);
    QRect changed;
    count_differences(surface, painted, &changed);
    EXPECT_TRUE(m.dirty.contains(changed & m.dirty));

    EXPECT_TRUE(pointer.mouse_up({false, true}));
    EXPECT_FALSE(pointer.drag_active);
    EXPECT_EQ(pointer.hot_handle, -1);
    // After the release, moves hover again instead of dragging.
    pointer.mouse_move(9999, 9999, h, kView, {false, true}, PointerShape::Crosshair, surface);
    EXPECT_EQ(h[4], QPoint(3000, 2000));
}

TEST_F(Pointer, AHiddenHandleMovesWithoutAnyLineOfIt) {
    const QImage before = surface;
    pointer.mouse_down(2122, 2058, h, {false, true});  // the vertex, angle tool off
    ASSERT_EQ(pointer.hot_handle, 1);
    const MoveOutcome m = pointer.mouse_move(6000, 3000, h, kView, {false, true}, PointerShape::Default, surface);
    EXPECT_EQ(h[1], QPoint(6000, 3000));
    // The proportion lines were erased and redrawn in place.
    EXPECT_EQ(count_differences(surface, before), 0);
    EXPECT_EQ(m.pointer, PointerShape::Crosshair);
}
