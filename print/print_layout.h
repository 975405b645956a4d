#pragma once
#include <QPageLayout>
#include <QPoint>
#include <QPointF>
#include <QRect>

namespace print {

// Where things go on the printed page. All page values are in the printer's
// drawing units, measured from the top-left corner of the printable area;
// picture sizes, handles, offsets and the view rectangle are in twips.

// A picture higher than wide prints upright; wide and square ones sideways.
QPageLayout::Orientation print_orientation(double picture_width, double picture_height);

// The picture's rectangle on a page of page_width x page_height: the middle
// half of the page in each direction, narrowed to the picture's proportions
// while its top-left corner stays put. An empty rectangle when the picture
// has no size.
QRect printed_picture_rect(float page_width, float page_height, double picture_width, double picture_height);

// What the window shows: the part of the picture with corner (offset_x,
// offset_y) and size picture / zoom_factor, stretched onto the view rectangle.
struct ScreenView {
    double picture_width = 0;   // SW, twips
    double picture_height = 0;  // SH, twips
    long view_left = 0;
    long view_top = 0;
    long view_width = 0;
    long view_height = 0;
    double zoom_factor = 1.0;
    long offset_x = 0;
    long offset_y = 0;

    // False when the view cannot relate window points to picture points
    // (no picture size, an empty view or a zoom that is not positive).
    bool maps_points() const;
};

// The page point that shows the same point of the picture as the window
// point `handle` shows on screen. Only meaningful when view.maps_points().
QPointF handle_on_page(QPoint handle, const ScreenView& view, const QRect& picture_on_page);

}  // namespace print
