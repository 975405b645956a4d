#include <gtest/gtest.h>

#include <cmath>

#include "print_layout.h"

namespace {

template <class Case>
std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

struct OrientationCase {
    double sw, sh;
    QPageLayout::Orientation expected;
};

class PrintOrientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(PrintOrientation, FollowsThePicturesProportions) {
    EXPECT_EQ(print_orientation(GetParam().sw, GetParam().sh), GetParam().expected)
        << GetParam().sw << " x " << GetParam().sh;
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
    case_name<RectCase>);

// A 6000 x 3000 picture in a view not quite of its aspect, as on screen.
ScreenView make_view(double zoom, long ox, long oy) {
    ScreenView v;
    v.picture_width = 6000, v.picture_height = 3000;
    v.view_left = 120, v.view_top = 960, v.view_width = 8490, v.view_height = 4117;
    v.zoom_factor = zoom, v.offset_x = ox, v.offset_y = oy;
    return v;
}

struct MappingCase {
    const char* name;
    ScreenView view;
    QPointF picture_point;  // twips of the picture
};

class HandleOnPage : public ::testing::TestWithParam<MappingCase> {};

// The handle is placed where the window shows the picture point: the source
// rectangle (offset, picture / zoom) stretched onto the view rectangle.
TEST_P(HandleOnPage, MarksTheSamePicturePointAsOnScreen) {
    const auto& [name, v, p] = GetParam();
    ASSERT_TRUE(v.maps_points());
    const QPoint handle(qRound(v.view_left + (p.x() - v.offset_x) * v.view_width * v.zoom_factor / v.picture_width),
                        qRound(v.view_top + (p.y() - v.offset_y) * v.view_height * v.zoom_factor / v.picture_height));
    const QRect printed(300, 200, 900, 450);
    const QPointF on_page = handle_on_page(handle, v, printed);
    // A handle is a whole twip, which moves it by well under a page unit here.
    EXPECT_NEAR(on_page.x(), 300 + p.x() * 900 / 6000, 0.25);
    EXPECT_NEAR(on_page.y(), 200 + p.y() * 450 / 3000, 0.25);
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
    case_name<MappingCase>);

TEST(ScreenViewMapping, RefusesViewsThatCannotRelatePoints) {
    EXPECT_TRUE(make_view(1.0, 0, 0).maps_points());
    for (auto breaks : {+[](ScreenView& v) { v.view_width = 0; }, +[](ScreenView& v) { v.view_height = -5; },
                        +[](ScreenView& v) { v.zoom_factor = 0; }, +[](ScreenView& v) { v.picture_height = 0; }}) {
        ScreenView v = make_view(1.0, 0, 0);
        breaks(v);
        EXPECT_FALSE(v.maps_points());
    }
}

}  // namespace
