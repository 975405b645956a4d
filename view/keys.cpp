#include "keys.h"

#include <Qt>
#include <cstdint>
#include <limits>

#include "rounding.h"

namespace view {

namespace {

// Offsets are 32-bit; a step that would leave that range is refused.
bool fits(std::int64_t v) {
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

void pan_back(long& offset) {
    if (offset > kPanStep) {
        const std::int64_t moved = std::int64_t{offset} - kPanStep;
        if (fits(moved)) offset = static_cast<long>(moved);
    } else {
        offset = 0;
    }
}

// The largest offset at which the zoomed part still lies inside the picture.
void pan_forward(long& offset, double zoom_factor, long extent) {
    const double max_offset = (zoom_factor - 1) * static_cast<double>(extent) / zoom_factor;
    const std::int64_t moved = std::int64_t{offset} + kPanStep;
    if (max_offset > static_cast<double>(moved)) {
        if (fits(moved)) offset = static_cast<long>(moved);
    } else {
        offset = core::to_integer(max_offset);
    }
}

}  // namespace

int virtual_key_code(int qt_key) {
    switch (qt_key) {
        case Qt::Key_PageUp:
            return kKeyPageUp;
        case Qt::Key_PageDown:
            return kKeyPageDown;
        case Qt::Key_End:
            return kKeyEnd;
        case Qt::Key_Home:
            return kKeyHome;
        case Qt::Key_Left:
            return kKeyLeft;
        case Qt::Key_Up:
            return kKeyUp;
        case Qt::Key_Right:
            return kKeyRight;
        case Qt::Key_Down:
            return kKeyDown;
        default:
            return 0;
    }
}

bool apply_view_key(int key_code, double& zoom_factor, long& offset_x, long& offset_y, long picture_width,
                    long picture_height) {
    switch (key_code) {
        case kKeyPageUp:
            if (zoom_factor < kZoomTop) zoom_factor = zoom_factor + kZoomStep;
            return true;
        case kKeyPageDown:
            if (zoom_factor > kZoomBottom) zoom_factor = zoom_factor - kZoomStep;
            return true;
        case kKeyLeft:
            pan_back(offset_x);
            return true;
        case kKeyUp:
            pan_back(offset_y);
            return true;
        case kKeyRight:
            pan_forward(offset_x, zoom_factor, picture_width);
            return true;
        case kKeyDown:
            pan_forward(offset_y, zoom_factor, picture_height);
            return true;
        default:
            return false;
    }
}

}  // namespace view
