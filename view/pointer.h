#pragma once
#include <QImage>
#include <QPoint>
#include <QRect>

#include "measurement.h"

namespace view {

// Which measurement tools are ticked.
struct ToolState {
    bool angle = false;
    bool proportion = false;
    bool any() const { return angle || proportion; }
};

// The screen pointer shapes the window switches between.
enum class PointerShape { Default = 0, Crosshair = 2 };

// Tolerance of the hit test, in twips: a handle is hit strictly inside a
// square of this half-size around it.
inline constexpr double kHitTolerance = 100.0;

// The handle under (x, y) (twips), or -1. Every handle 0-6 is tested, also
// those of a tool that is off; the highest index wins.
int hit_test(const Handles& handles, double x, double y);

// A dragged coordinate, kept within [low, low + extent].
long clamp_to_view(double v, long low, long extent);

// Inverts the pixels of the line from `from` to `to` (surface pixels) on a
// 32-bit surface, leaving the fourth byte alone. The last pixel is left out
// unless `include_end`, so a polyline inverts its joints once. Inverting the
// same line twice restores every pixel. Returns the pixels touched.
QRect invert_line(QImage& surface, QPoint from, QPoint to, bool include_end);

// Inverts the rubber band of the ticked tools: B-vertex-A, then the
// reference and measured segments. Its cost depends on the lines' lengths
// on the surface, never on the picture's size. Returns the pixels touched.
QRect invert_band(QImage& surface, const Handles& handles, ToolState tools);

// What a mouse move asks of the window.
struct MoveOutcome {
    PointerShape pointer = PointerShape::Default;  // shape the pointer should have now
    QRect dirty;                                   // surface pixels the band changed
};

// Press, move and release of the mouse over the window's surface, with the
// handles as the thing being dragged. Coordinates are twips.
class PointerInteraction {
public:
    // True from a press made while a tool is on until the release.
    bool drag_active = false;
    // The handle under the pointer or being dragged; -1 for none.
    int hot_handle = 0;

    void mouse_down(double x, double y, const Handles& handles, ToolState tools);

    // `current` is the pointer's shape before the move. While dragging, the
    // band is moved on `surface` (erased, handle moved, drawn again).
    MoveOutcome mouse_move(double x, double y, Handles& handles, const ViewRect& view, ToolState tools,
                           PointerShape current, QImage& surface);

    // Returns whether the window must repaint (a tool is on).
    bool mouse_up(ToolState tools);
};

}  // namespace view
