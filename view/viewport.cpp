#include "viewport.h"

#include <cfenv>
#include <cmath>

#include "twips.h"

namespace view {

long nearest(double x) {
    // The default floating-point environment rounds to nearest-even; say so
    // explicitly rather than rely on whoever ran before us.
    const int saved = std::fegetround();
    if (saved != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    if (saved != FE_TONEAREST) std::fesetround(saved);
    return static_cast<long>(r);
}

ViewportLayout layout_viewport(const ViewportInput& in) {
    ViewportLayout out;
    out.view_left = nearest(in.box_left);
    out.view_top = nearest(in.box_top);
    long width = nearest(in.outer_width - in.vbar_width);
    long height = nearest(in.outer_height - in.box_top - 2 * in.hbar_height);

    // Keep the picture's proportions: fit to the width when that leaves the
    // height inside the room, otherwise to the height.
    const double r = in.picture_height / in.picture_width;
    if (static_cast<double>(width) * r <= static_cast<double>(height))
        height = nearest(static_cast<double>(width) * r);
    else
        width = nearest(static_cast<double>(height) / r);

    // The bars' room is taken after the fit, so the view is a little off the
    // picture's proportions; the copy stretches the picture to it.
    height = nearest(static_cast<double>(height) - in.hbar_height);
    width = nearest(static_cast<double>(width) - in.vbar_width);
    out.view_width = width;
    out.view_height = height;

    const long hbar_thickness = nearest(in.hbar_height);
    const long vbar_thickness = nearest(in.vbar_width);
    out.hbar = BarGeometry{nearest(in.box_left), nearest(in.box_top) + height, width, hbar_thickness};
    out.vbar = BarGeometry{nearest(in.box_left) + width, nearest(in.box_top), vbar_thickness, height};

    const double z = in.zoom;
    out.vbar_maximum = nearest((z - 1) * in.picture_height / z);
    out.vbar_large_step = nearest((z - 1) * in.picture_height / 10 + 1);
    out.hbar_maximum = nearest((z - 1) * in.picture_width / z);
    out.hbar_large_step = nearest((z - 1) * in.picture_width / 10 + 1);
    return out;
}

QRectF source_rect(long offset_x, long offset_y, double picture_width, double picture_height, double zoom) {
    return QRectF(static_cast<double>(offset_x), static_cast<double>(offset_y), picture_width / zoom,
                  picture_height / zoom);
}

QString zoom_caption(double zoom) { return QStringLiteral("+/- %1%").arg(nearest(zoom * 100.0)); }

QRect twips_rect_to_pixels(double left, double top, double width, double height) {
    const long x0 = nearest(twips_to_pixels(left));
    const long y0 = nearest(twips_to_pixels(top));
    const long x1 = nearest(twips_to_pixels(left + width));
    const long y1 = nearest(twips_to_pixels(top + height));
    return QRect(QPoint(static_cast<int>(x0), static_cast<int>(y0)),
                 QSize(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)));
}

}  // namespace view
