#include <gtest/gtest.h>

#include <QPainter>
#include <tuple>

#include "print_test_support.h"

using namespace print_test;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kGrey = 0xFF808080;

struct PageCase {
    const char* name;
    QSize page;
    double sw, sh;
    bool angle_tool, proportion_tool, empty_view;
    QRect picture;
};

class PrintedPage : public ::testing::TestWithParam<PageCase> {};

// The picture fills the middle half of the page, cut to its shape against the
// top-left corner; the ticked tools' segments lie over the picture points they
// mark on screen, the name's top-left corner on the picture's, and nothing else.
TEST_P(PrintedPage, HoldsThePictureTheTickedSegmentsAndTheName) {
    const PageCase& c = GetParam();
    print::PrintRequest r = request(c.sw, c.sh);
    r.angle_tool = c.angle_tool, r.proportion_tool = c.proportion_tool;
    if (c.empty_view) r.view.view_width = 0;
    QImage page(c.page, QImage::Format_RGB32);
    page.fill(kWhite);
    QPainter painter(&page);
    print::draw_print_page(painter, QSizeF(c.page), r);
    painter.end();

    const bool shown = !c.empty_view && !c.picture.isEmpty();  // a view that relates window and picture
    const bool angle = c.angle_tool && shown, proportion = c.proportion_tool && shown;
    const std::tuple<int, int, QRgb, bool> segments[] = {{0, 1, 0xFFFF0000, angle},
                                                         {1, 2, 0xFFFF0000, angle},
                                                         {3, 4, 0xFFFFFF00, proportion},
                                                         {5, 6, 0xFF00FFC8, proportion}};
    const QRectF p(c.picture);
    auto at = [&](QPointF m) { return p.topLeft() + QPointF(m.x() * p.width(), m.y() * p.height()); };
    auto on_segment = [&](QPoint pixel, QRgb colour) {
        for (const auto& [from, to, segment_colour, printed] : segments) {
            const QPointF a = at(kMarks[from]), d = at(kMarks[to]) - a, v = QPointF(pixel) - a;
            const double along = qBound(0.0, QPointF::dotProduct(v, d) / QPointF::dotProduct(d, d), 1.0);
            if (printed && segment_colour == colour && QLineF(QPointF(pixel), a + d * along).length() < 1.5)
                return true;
        }
        return false;
    };
    const QRect name_corner = QRect(c.picture.topLeft(), QSize(200, 40)) & c.picture;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb px = page.pixel(x, y);
            const bool name = name_corner.contains(x, y) && qBlue(px) > qRed(px);
            ASSERT_TRUE(px == (c.picture.contains(x, y) ? kGrey : kWhite) || name || on_segment({x, y}, px))
                << "stray mark at " << x << "," << y;
        }
    for (const auto& [from, to, colour, printed] : segments)
        for (double t = 0.05; printed && t < 1; t += 0.1) {
            const QPoint point = at(kMarks[from] * (1 - t) + kMarks[to] * t).toPoint();
            EXPECT_FALSE(colour_bounds(page.copy(QRect(point - QPoint(1, 1), QSize(3, 3))), colour).isEmpty())
                << "segment " << from << " at " << t;
        }
    const QRect name = colour_bounds(page, 0xFF0000FF, 60);
    EXPECT_TRUE(c.picture.isEmpty() || QRect(c.picture.topLeft(), QSize(6, 9)).contains(name.topLeft()));
}

// Quarters and halves ending in .5 go to the even neighbour.
const PageCase kPages[] = {
    {"wide", {1000, 800}, 6000, 3000, true, true, false, {250, 200, 500, 250}},
    {"halves_down", {1002, 802}, 6000, 3000, false, false, false, {250, 200, 501, 250}},
    {"halves_up", {1006, 806}, 6000, 3000, true, false, false, {252, 202, 503, 252}},
    {"tall", {800, 1000}, 1000, 3000, false, true, false, {200, 250, 167, 500}},
    {"tall_half_to_even_in_an_empty_view", {800, 1004}, 1000, 4000, true, true, true, {200, 251, 126, 502}},
    {"no_picture", {1000, 800}, 0, 3000, true, true, false, {}},
};
INSTANTIATE_TEST_SUITE_P(Pages, PrintedPage, ::testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
