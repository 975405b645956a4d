#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>
#include <utility>

#include "print_page.h"
#include "print_test_support.h"

using namespace print_test;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kGrey = 0xFF808080;

QImage render_page(const PrintRequest& request, QSize size = QSize(2000, 1400)) {
    ensure_app();
    QImage page(size, QImage::Format_RGB32);
    page.fill(kWhite);
    QPainter painter(&page);
    draw_print_page(painter, QSizeF(size), request);
    painter.end();
    return page;
}

// A wide picture seen on screen at zoom 2, scrolled into its middle, in a
// view that is not quite of the picture's proportions, with the handles on
// B, vertex, A, the reference's and the measured segment's ends.
PrintRequest zoomed_request() {
    PrintRequest r;
    r.image = solid_picture(300, 150, kGrey);
    r.view.picture_width = 4500, r.view.picture_height = 2250;
    r.view.view_left = 120, r.view.view_top = 960, r.view.view_width = 8490, r.view.view_height = 4117;
    r.view.zoom_factor = 2.0, r.view.offset_x = 1000, r.view.offset_y = 500;
    r.image_filename = QStringLiteral("123.jpg");
    const QPointF points[7] = {{1500, 700}, {1500, 1400}, {2800, 1400}, {1100, 600},
                               {1100, 1500}, {1800, 600}, {3100, 600}};
    for (int i = 0; i < 7; ++i) r.handles[i] = handle_showing(points[i], r.view);
    return r;
}

// Where the printed picture shows picture point p, on a 2000 x 1400 page
// (picture rectangle 500, 350, 1000 x 500).
QPointF on_page(QPointF p) { return QPointF(500 + p.x() * 1000 / 4500, 350 + p.y() * 500 / 2250); }

bool printed(const QImage& page, QRgb colour) { return !colour_bounds(page, colour, 0).isEmpty(); }

TEST(PrintPage, PictureFillsItsRectangleAgainstTheTopLeftEdge) {
    PrintRequest r;
    // Left half red-brown, right half green, so the whole picture must be
    // stretched across the rectangle.
    r.image = solid_picture(200, 100, 0xFF804020);
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x) r.image.setPixel(x, y, 0xFF20A040);
    r.view.picture_width = 6000, r.view.picture_height = 3000;
    const QImage page = render_page(r, QSize(1000, 800));
    // Box 250, 200, 500 x 400; the 2:1 picture keeps w = 500 and gets h = 250.
    const std::pair<QPoint, QRgb> expected[] = {
        {{250, 200}, 0xFF804020u}, {{250, 449}, 0xFF804020u}, {{499, 300}, 0xFF804020u}, {{500, 300}, 0xFF20A040u},
        {{749, 449}, 0xFF20A040u}, {{750, 300}, kWhite},      {{600, 450}, kWhite},      {{249, 300}, kWhite},
        {{600, 199}, kWhite}};
    for (const auto& [at, colour] : expected) EXPECT_EQ(page.pixel(at), colour) << at.x() << ',' << at.y();
    EXPECT_EQ(colour_bounds(page, kWhite, 0).size(), QSize(1000, 800));
}

TEST(PrintPage, WithNoToolOnlyThePictureAndTheName) {
    const QImage page = render_page(zoomed_request());  // handles set, but neither tool ticked
    const QRect picture(500, 350, 1000, 500), corner(500, 350, 200, 40);
    int name_pixels = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb px = page.pixel(x, y);
            if (corner.contains(x, y) && px != kGrey && px != kWhite) {
                // The name: blue, or blue blended into the grey at its edges.
                ASSERT_GT(qBlue(px), qRed(px)) << x << "," << y;
                ++name_pixels;
            } else {
                ASSERT_EQ(px, picture.contains(x, y) ? kGrey : kWhite) << "stray mark at " << x << "," << y;
            }
        }
    EXPECT_GT(name_pixels, 30);
}

TEST(PrintPage, NameIsBlueWithItsTopLeftOnThePicturesCorner) {
    PrintRequest r = zoomed_request();
    r.image_filename = QStringLiteral("HXH_4567.jpg");
    const QRect name = colour_bounds(render_page(r), kPrintNameColour, 60);
    ASSERT_FALSE(name.isEmpty());
    // Inside the picture, from its corner on (a text placed by its baseline
    // would stand above the picture).
    EXPECT_TRUE(name.left() >= 500 && name.left() <= 505) << name.left();
    EXPECT_TRUE(name.top() >= 350 && name.top() <= 358) << name.top();
    // Bold 12 points at 96 dpi: letters about 11 to 13 pixels high.
    EXPECT_TRUE(name.height() >= 9 && name.height() <= 18) << name.height();
    EXPECT_GT(name.width(), 60);
}

struct SegmentCase {
    const char* name;
    QPointF from, to;  // picture points, twips
    QRgb colour;
};

// Both tools ticked: the angle's two rays, the reference and the measured
// segment, each placed over the picture points it marks on screen.
class PrintedSegments : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(PrintedSegments, DrawnInItsColourOverThePointsItMarksOnScreen) {
    const auto& c = GetParam();
    static const QImage page = [] {
        PrintRequest r = zoomed_request();
        r.image_filename.clear();
        r.angle_tool = r.proportion_tool = true;
        return render_page(r);
    }();
    const QPointF a = on_page(c.from), b = on_page(c.to);
    const QPointF along = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
    const QPointF across(-along.y(), along.x());
    for (double t : {0.2, 0.5, 0.8}) {
        const QPointF p = a + (b - a) * t;
        EXPECT_TRUE(colour_near(page, p, c.colour, 1, 0)) << "on the segment at t=" << t;
        // Away from the line on both sides there is only picture.
        EXPECT_EQ(page.pixel((p + across * 6).toPoint()), kGrey) << "t=" << t;
        EXPECT_EQ(page.pixel((p - across * 6).toPoint()), kGrey) << "t=" << t;
    }
    // The segment stops at its ends.
    EXPECT_FALSE(colour_near(page, b + along * 8, c.colour, 2, 0));
    EXPECT_FALSE(colour_near(page, a - along * 8, c.colour, 2, 0));
}

INSTANTIATE_TEST_SUITE_P(
    BothTools, PrintedSegments,
    ::testing::Values(SegmentCase{"ray_to_B", {1500, 1400}, {1500, 700}, kPrintAngleColour},
                      SegmentCase{"ray_to_A", {1500, 1400}, {2800, 1400}, kPrintAngleColour},
                      SegmentCase{"reference", {1100, 600}, {1100, 1500}, kPrintReferenceColour},
                      SegmentCase{"measured", {1800, 600}, {3100, 600}, kPrintMeasuredColour}),
    [](const auto& info) { return std::string(info.param.name); });

struct ToolsCase {
    const char* name;
    bool angle_tool, proportion_tool, empty_view;
};

class PrintedTools : public ::testing::TestWithParam<ToolsCase> {};

TEST_P(PrintedTools, OnlyTheTickedToolsAndNoneForAnEmptyView) {
    const auto& c = GetParam();
    PrintRequest r = zoomed_request();
    r.angle_tool = c.angle_tool, r.proportion_tool = c.proportion_tool;
    if (c.empty_view) r.view.view_width = 0;
    const QImage page = render_page(r);
    EXPECT_EQ(printed(page, kPrintAngleColour), c.angle_tool && !c.empty_view);
    EXPECT_EQ(printed(page, kPrintReferenceColour), c.proportion_tool && !c.empty_view);
    EXPECT_EQ(printed(page, kPrintMeasuredColour), c.proportion_tool && !c.empty_view);
    EXPECT_EQ(page.pixel(1000, 600), kGrey);  // the picture is always there
}

INSTANTIATE_TEST_SUITE_P(Ticks, PrintedTools,
                         ::testing::Values(ToolsCase{"angle_only", true, false, false},
                                           ToolsCase{"proportion_only", false, true, false},
                                           ToolsCase{"both_in_an_empty_view", true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
