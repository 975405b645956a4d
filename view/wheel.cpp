#include "wheel.h"

#include <algorithm>
#include <cstdlib>

#include "keys.h"
#include "rounding.h"

namespace view {

namespace {

// Keeps the picture point at fraction `f` of the view where it is when the
// zoom goes from `before` to `after`; the offset stays within the picture.
long keep_point(long offset, double f, double before, double after, long extent) {
    const double point = static_cast<double>(offset) + f * static_cast<double>(extent) / before;
    const double wanted = point - f * static_cast<double>(extent) / after;
    const double max_offset = (after - 1) * static_cast<double>(extent) / after;
    return core::to_integer(std::clamp(wanted, 0.0, std::max(0.0, max_offset)));
}

}  // namespace

bool apply_wheel_zoom(int notches, double fx, double fy, double& zoom_factor, long& offset_x, long& offset_y,
                      long picture_width, long picture_height) {
    if (notches == 0) return false;
    const double before = zoom_factor;
    long ignored_x = 0, ignored_y = 0;
    for (int i = 0; i < std::abs(notches); ++i)
        apply_view_key(notches > 0 ? kKeyPageUp : kKeyPageDown, zoom_factor, ignored_x, ignored_y, picture_width,
                       picture_height);
    offset_x = keep_point(offset_x, std::clamp(fx, 0.0, 1.0), before, zoom_factor, picture_width);
    offset_y = keep_point(offset_y, std::clamp(fy, 0.0, 1.0), before, zoom_factor, picture_height);
    return true;
}

bool apply_wheel_pan(int notches, double zoom_factor, long& offset_x, long& offset_y, long picture_width,
                     long picture_height) {
    for (int i = 0; i < std::abs(notches); ++i)
        apply_view_key(notches > 0 ? kKeyLeft : kKeyRight, zoom_factor, offset_x, offset_y, picture_width,
                       picture_height);
    return notches != 0;
}

}  // namespace view
