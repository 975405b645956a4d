#include "pointer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "rounding.h"

namespace view {

int hit_test(const Handles& handles, double x, double y) {
    int hot = -1;
    for (int i = 0; i <= 6; ++i) {
        if (std::fabs(x - handles[i].x()) < kHitTolerance && std::fabs(y - handles[i].y()) < kHitTolerance) hot = i;
    }
    return hot;
}

long clamp_to_view(double v, long low, long extent) {
    if (v < static_cast<double>(low)) return low;
    const long high = low + extent;
    if (v <= static_cast<double>(high)) return core::to_integer(v);
    return high;
}

QRect invert_line(QImage& surface, QPoint from, QPoint to, bool include_end) {
    if (surface.depth() != 32 || surface.isNull()) return {};
    const int w = surface.width();
    const int h = surface.height();
    // A line wholly beyond one side of the surface changes nothing.
    if ((from.x() < 0 && to.x() < 0) || (from.y() < 0 && to.y() < 0) || (from.x() >= w && to.x() >= w) ||
        (from.y() >= h && to.y() >= h))
        return {};

    uchar* const bits = surface.bits();
    const qsizetype stride = surface.bytesPerLine();
    int min_x = w, min_y = h, max_x = -1, max_y = -1;
    rasterize_line(from, to, include_end, [&](int px, int py) {
        if (px < 0 || py < 0 || px >= w || py >= h) return;
        *(reinterpret_cast<std::uint32_t*>(bits + stride * py) + px) ^= 0x00FFFFFFu;
        min_x = std::min(min_x, px);
        max_x = std::max(max_x, px);
        min_y = std::min(min_y, py);
        max_y = std::max(max_y, py);
    });
    if (max_x < 0) return {};
    return QRect(QPoint(min_x, min_y), QPoint(max_x, max_y));
}

QRect invert_band(QImage& surface, const Handles& handles, ToolState tools) {
    // On a high-density surface the band is drawn in its device pixels; the
    // rectangle returned is in the window's logical pixels.
    const qreal dpr = surface.devicePixelRatio();
    auto at = [dpr, &handles](int i) {
        if (dpr == 1) return twips_to_pixel(handles[i]);
        return QPoint(core::to_integer(handles[i].x() * dpr / 15.0), core::to_integer(handles[i].y() * dpr / 15.0));
    };
    QRect touched;
    if (tools.angle) {
        touched |= invert_line(surface, at(0), at(1), false);
        touched |= invert_line(surface, at(1), at(2), true);
    }
    if (tools.proportion) {
        touched |= invert_line(surface, at(3), at(4), true);
        touched |= invert_line(surface, at(5), at(6), true);
    }
    if (dpr == 1 || touched.isEmpty()) return touched;
    return QRectF(touched.x() / dpr, touched.y() / dpr, (touched.width() + 1) / dpr, (touched.height() + 1) / dpr)
        .toAlignedRect();
}

void PointerInteraction::mouse_down(double x, double y, const Handles& handles, ToolState tools) {
    if (!tools.any()) return;
    drag_active = true;
    hot_handle = hit_test(handles, x, y);
}

MoveOutcome PointerInteraction::mouse_move(double x, double y, Handles& handles, const ViewRect& view, ToolState tools,
                                           PointerShape current, QImage& surface) {
    MoveOutcome outcome;
    if (!drag_active) hot_handle = hit_test(handles, x, y);
    if (hot_handle < 0) {
        outcome.pointer = PointerShape::Default;
        return outcome;
    }
    outcome.pointer = current == PointerShape::Default ? PointerShape::Crosshair : current;
    if (!drag_active) return outcome;

    outcome.dirty = invert_band(surface, handles, tools);
    const long new_x = clamp_to_view(x, view.left, view.width);
    const long new_y = clamp_to_view(y, view.top, view.height);
    handles[hot_handle] = QPoint(static_cast<int>(new_x), static_cast<int>(new_y));
    outcome.dirty |= invert_band(surface, handles, tools);
    return outcome;
}

bool PointerInteraction::mouse_up(ToolState tools) {
    drag_active = false;
    hot_handle = -1;
    return tools.any();
}

}  // namespace view
