#include <gtest/gtest.h>

#include <cmath>

#include "print_layout.h"

namespace {

struct OrientationCase {
    double sw, sh;
    QPageLayout::Orientation expected;
};

void PrintTo(const OrientationCase& c, std::ostream* os) { *os << c.sw << " x " << c.sh; }

class PrintOrientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(PrintOrientation, FollowsThePicturesProportions) {
    const auto& c = GetParam();
    EXPECT_EQ(print_orientation(c.sw, c.sh), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PrintOrientation,
    ::testing::Values(OrientationCase{3000, 1500, QPageLayout::Landscape},  // wide
                      OrientationCase{1500, 1500, QPageLayout::Landscape},  // square
                      OrientationCase{1500, 1501, QPageLayout::Portrait},   // a hair taller
                      OrientationCase{1000, 4000, QPageLayout::Portrait}));

struct RectCase {
    const char* name;
    float page_w, page_h;
    double sw, sh;
    QRect expected;
};

void PrintTo(const RectCase& c, std::ostream* os) { *os << c.name; }

class PrintedPictureRect : public ::testing::TestWithParam<RectCase> {};

TEST_P(PrintedPictureRect, MiddleHalfOfThePageKeepingTheAspect) {
    const auto& c = GetParam();
    EXPECT_EQ(printed_picture_rect(c.page_w, c.page_h, c.sw, c.sh), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PrintedPictureRect,
    ::testing::Values(
        // Twice as wide as high, w x 0.5 fits: full width, half of it high.
        RectCase{"wide_keeps_width", 1000, 800, 6000, 3000, QRect(250, 200, 500, 250)},
        // Quarters and halves ending in .5 go to the even neighbour.
        RectCase{"halves_down", 1002, 802, 6000, 3000, QRect(250, 200, 501, 250)},
        RectCase{"halves_up", 1006, 806, 6000, 3000, QRect(252, 202, 503, 252)},
        // Taller than the box: the height stays, the width shrinks.
        RectCase{"tall_keeps_height", 800, 1000, 1000, 3000, QRect(200, 250, 167, 500)},
        RectCase{"tall_half_to_even", 800, 1004, 1000, 4000, QRect(200, 251, 126, 502)},
        // w x r equal to h takes the first branch and changes nothing.
        RectCase{"exact_fit", 1000, 1000, 2000, 2000, QRect(250, 250, 500, 500)},
        RectCase{"no_picture", 1000, 800, 0, 3000, QRect()},
        RectCase{"no_height", 1000, 800, 3000, 0, QRect()}),
    [](const auto& info) { return std::string(info.param.name); });

// The window shows the source rectangle (offset, picture / zoom) stretched
// onto the view rectangle; this is that forward direction.
QPointF window_point(QPointF picture_point, const ScreenView& v) {
    const double sx = v.view_width / (v.picture_width / v.zoom_factor);
    const double sy = v.view_height / (v.picture_height / v.zoom_factor);
    return QPointF(v.view_left + (picture_point.x() - v.offset_x) * sx,
                   v.view_top + (picture_point.y() - v.offset_y) * sy);
}

struct MappingCase {
    const char* name;
    ScreenView view;
    QPointF picture_point;  // twips of the picture
};

void PrintTo(const MappingCase& c, std::ostream* os) { *os << c.name; }

class HandleOnPage : public ::testing::TestWithParam<MappingCase> {};

TEST_P(HandleOnPage, MarksTheSamePicturePointAsOnScreen) {
    const auto& c = GetParam();
    ASSERT_TRUE(c.view.maps_points());
    const QRect printed(300, 200, 900, 450);
    const QPointF on_window = window_point(c.picture_point, c.view);
    const QPoint handle(qRound(on_window.x()), qRound(on_window.y()));
    const QPointF on_page = handle_on_page(handle, c.view, printed);
    const QPointF expected(printed.x() + c.picture_point.x() * printed.width() / c.view.picture_width,
                           printed.y() + c.picture_point.y() * printed.height() / c.view.picture_height);
    // A handle is a whole twip, which moves it by well under a page unit here.
    EXPECT_NEAR(on_page.x(), expected.x(), 0.25);
    EXPECT_NEAR(on_page.y(), expected.y(), 0.25);
}

ScreenView make_view(double zoom, long ox, long oy) {
    ScreenView v;
    v.picture_width = 6000;
    v.picture_height = 3000;
    v.view_left = 120;
    v.view_top = 960;
    v.view_width = 8490;  // not quite the picture's aspect, as on screen
    v.view_height = 4117;
    v.zoom_factor = zoom;
    v.offset_x = ox;
    v.offset_y = oy;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Views, HandleOnPage,
    ::testing::Values(MappingCase{"whole_picture_centre", make_view(1.0, 0, 0), {3000, 1500}},
                      MappingCase{"whole_picture_corner", make_view(1.0, 0, 0), {6000, 3000}},
                      MappingCase{"zoomed_scrolled", make_view(2.0, 3000, 1500), {4000, 2000}},
                      MappingCase{"zoomed_origin_of_view", make_view(2.0, 1200, 700), {1200, 700}},
                      MappingCase{"max_zoom", make_view(5.0, 4800, 2400), {5500, 2900}},
                      // Handles may lie off the view (a default B above it):
                      // they still mark their picture point, off the picture.
                      MappingCase{"off_the_view", make_view(2.0, 3000, 1500), {2000, 1000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenViewMapping, RefusesViewsThatCannotRelatePoints) {
    ScreenView v = make_view(1.0, 0, 0);
    EXPECT_TRUE(v.maps_points());
    auto broken = v;
    broken.view_width = 0;
    EXPECT_FALSE(broken.maps_points());
    broken = v;
    broken.view_height = -5;
    EXPECT_FALSE(broken.maps_points());
    broken = v;
    broken.zoom_factor = 0;
    EXPECT_FALSE(broken.maps_points());
    broken = v;
    broken.picture_height = 0;
    EXPECT_FALSE(broken.maps_points());
}

}  // namespace
