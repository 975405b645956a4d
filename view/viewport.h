#pragma once
#include <QRect>
#include <QRectF>
#include <QString>

// Layout of the view: where the picture is drawn, where its two scroll bars
// go and what they can reach. Pure functions of the window's state, all in
// twips, so that the geometry can be checked without a window.
namespace view {

// Whole number nearest to x, halves going to the even neighbour (2.5 -> 2).
long nearest(double x);

struct ViewportInput {
    double outer_width = 0;  // the whole window, frame and title included
    double outer_height = 0;
    double box_left = 0;  // the picture holder's corner: the view's origin
    double box_top = 0;
    double hbar_height = 0;    // thickness of the horizontal scroll bar
    double vbar_width = 0;     // thickness of the vertical scroll bar
    double picture_width = 0;  // W and H of the picture, twips
    double picture_height = 0;
    double zoom = 1.0;
};

struct BarGeometry {
    long left = 0, top = 0, width = 0, height = 0;
};

struct ViewportLayout {
    long view_left = 0, view_top = 0, view_width = 0, view_height = 0;
    BarGeometry hbar, vbar;
    // Scroll ranges are 32-bit: a large picture at a high zoom needs more
    // than 16 bits of twips.
    long hbar_maximum = 0, hbar_large_step = 1;
    long vbar_maximum = 0, vbar_large_step = 1;
};

ViewportLayout layout_viewport(const ViewportInput& in);

// The part of the picture shown, in twips: the corner at the offsets and a
// size of W / zoom by H / zoom, not rounded.
QRectF source_rect(long offset_x, long offset_y, double picture_width, double picture_height, double zoom);

// "+/- 100%" style caption of the zoom label.
QString zoom_caption(double zoom);

// A twips rectangle on the surface's pixels: each edge is rounded on its
// own, so rectangles that touch in twips touch in pixels.
QRect twips_rect_to_pixels(double left, double top, double width, double height);

}  // namespace view
