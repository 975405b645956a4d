#pragma once
#include <QImage>
#include <QRectF>
#include <vector>

class QPainter;

namespace view {

// Halved copies of the working picture (1/2, 1/4, ... down to a few dozen
// pixels), each pixel the mean of a 2 x 2 block of the level above. Drawing
// a shrunk picture from the level just larger than the target keeps the
// bilinear step under a factor of two, so fine detail is averaged rather
// than dropped, and the cost of a repaint follows the view's size, not the
// picture's.
//
// The full-size picture is not held here (a shared QImage would make the
// filter's in-place writes into it copy the whole picture); it is passed to
// draw().
class MipPyramid {
public:
    // Rebuilds every level from `base` (Format_RGB32). A null base clears.
    void rebuild(const QImage& base);
    void clear() { levels_.clear(); }

    // Level 1 is half of the base; level() and level_count() cover the
    // halved levels only.
    int level_count() const { return static_cast<int>(levels_.size()); }
    const QImage& level(int i) const { return levels_[static_cast<std::size_t>(i)]; }

    // Draws the part `source` (in the base's pixels) of the picture onto
    // `target` (painter's coordinates) with bilinear filtering, from the
    // smallest level that still has at least as many pixels as the target.
    void draw(QPainter& painter, const QRectF& target, const QImage& base, const QRectF& source) const;

    // The image and the source rectangle draw() would use.
    const QImage& pick(const QImage& base, const QRectF& source, const QSizeF& target, QRectF* level_source) const;

private:
    std::vector<QImage> levels_;
};

// One 2 x 2 reduction of a Format_RGB32 image (odd last rows and columns are
// paired with themselves). Public so that it can be checked on its own.
QImage halve(const QImage& src);

}  // namespace view
