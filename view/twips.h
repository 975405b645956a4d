#pragma once
#include <QPointF>
#include <QRectF>

namespace view {

// The window's logical coordinates are twips, as are the view state, the
// handles and the picture's size; only drawing converts to Qt's logical
// pixels, at 15 twips to the pixel.
inline constexpr double kTwipsPerPixel = 15.0;

inline constexpr double twips_to_pixels(double twips) { return twips / kTwipsPerPixel; }
inline constexpr double pixels_to_twips(double pixels) { return pixels * kTwipsPerPixel; }
inline QPointF twips_to_pixels(const QPointF& p) { return p / kTwipsPerPixel; }
inline QRectF twips_to_pixels(const QRectF& r) {
    return QRectF(r.x() / kTwipsPerPixel, r.y() / kTwipsPerPixel, r.width() / kTwipsPerPixel,
                  r.height() / kTwipsPerPixel);
}

}  // namespace view
