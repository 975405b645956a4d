#pragma once
#include <QColor>
#include <QLocale>
#include <QPoint>
#include <QString>
#include <array>
#include <cstdlib>
#include <optional>

class QPainter;

namespace view {

// The eleven measurement handles, in twips (window coordinates). Indices 0-2
// belong to the angle tool (B, vertex, A), 3-6 to the proportion tool
// (reference segment 3-4, measured segment 5-6); 7-10 are never used.
using Handles = std::array<QPoint, 11>;

// The view rectangle as the last paint left it, in twips.
struct ViewRect {
    long left = 0;
    long top = 0;
    long width = 0;
    long height = 0;
};

// Overlay colours and the rubber band share these, so they live here.
inline const QColor kAngleLineColour{255, 0, 0};
inline const QColor kLabelColour{255, 255, 0};
inline const QColor kReferenceColour{255, 200, 0};
inline const QColor kMeasuredColour{0, 255, 100};

// The angle tool starts at 90 degrees, B above the vertex and A to its
// right. Its defaults are measured from the window's origin, not from the
// view's corner.
void place_default_angle_handles(Handles& handles, const ViewRect& view);

// The proportion tool is re-placed only while its reference segment has zero
// length (as at load), so toggling the tool keeps the user's segments.
// Returns whether the handles were placed.
bool place_default_proportion_handles(Handles& handles, const ViewRect& view);

// Bearing of (px, py) seen from the vertex (vx, vy), in degrees in [0, 360):
// 0 straight down, 90 to the right, 180 straight up, 270 to the left (also
// for a point lying on the vertex).
double bearing(long px, long py, long vx, long vy);

// The whole-degree turn from ray VA to ray VB, given their bearings.
int angle_from_bearings(double bearing_b, double bearing_a);

// The angle A^B at the vertex (x2, y2), B = (x1, y1), A = (x3, y3), in whole
// degrees from 0 to 359.
int calcul_angle(long x1, long y1, long x2, long y2, long x3, long y3);

// length(5, 6) / length(3, 4); empty when the reference has zero length.
std::optional<double> proportion_ratio(const Handles& handles);

// "0.00" with the locale's decimal separator and no digit grouping.
QString format_two_decimals(double value, const QLocale& locale = QLocale());

// The angle label, e.g. "90.00°" (or "90,00°" under French settings).
QString angle_label(const Handles& handles, const QLocale& locale = QLocale());

// The ratio label, e.g. "L:0.50"; "L:--" while the reference has zero length.
QString ratio_label(const Handles& handles, const QLocale& locale = QLocale());

// The pixel of the surface that holds a point given in twips.
QPoint twips_to_pixel(const QPoint& twips);

// Visits the pixels of the line from `from` to `to`, start first, leaving the
// last one out unless `include_end` (so a polyline visits its joints once).
// The overlays draw their lines and the rubber band inverts them through
// this one rasteriser, so a band laid over a painted line covers it pixel
// for pixel.
template <typename Visit>
void rasterize_line(QPoint from, QPoint to, bool include_end, Visit&& visit) {
    int x = from.x();
    int y = from.y();
    const int x1 = to.x();
    const int y1 = to.y();
    const int dx = std::abs(x1 - x);
    const int dy = -std::abs(y1 - y);
    const int sx = x < x1 ? 1 : -1;
    const int sy = y < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        const bool at_end = x == x1 && y == y1;
        if (at_end && !include_end) return;
        visit(x, y);
        if (at_end) return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// The overlays, drawn on a painter whose coordinates are Qt logical pixels of
// the window's surface. The angle overlay goes first when both tools are on.
void draw_angle_overlay(QPainter& painter, const Handles& handles);
void draw_proportion_overlay(QPainter& painter, const Handles& handles);

}  // namespace view
