#pragma once
#include <QImage>
#include <QRectF>
#include <QSize>
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
// A level is made when a draw first needs it, in one pass from the nearest
// larger level already made (or the picture itself) that keeps none of the
// levels between: a new picture, or every adjustment, costs only the level
// the view shows.
//
// The full-size picture is not held here (a shared QImage would make the
// filter's writes into it take fresh memory); it is passed to each call, and
// must be the picture last given to reset().
class MipPyramid {
public:
    // Forgets the levels of the previous picture; `base` (Format_RGB32)
    // gives their sizes. A null base clears.
    void reset(const QImage& base);

    // Draws the part `source` (in the base's pixels) of the picture onto
    // `target` (painter's coordinates), from the smallest level that still
    // has at least as many pixels as the target: filtered when shrunk,
    // pixel blocks when magnified.
    void draw(QPainter& painter, const QRectF& target, const QImage& base, const QRectF& source);

    // The image and the source rectangle draw() would use, made if need be.
    const QImage& pick(const QImage& base, const QRectF& source, const QSizeF& target, QRectF* level_source);

private:
    const QImage& made_level(const QImage& base, int i);

    struct Shrunk {
        qint64 key = 0;  // of the image it was made from
        QRectF source;
        QSize size;
        QImage image;
    };
    Shrunk shrunk_;
    std::vector<QSize> sizes_;
    std::vector<QImage> levels_;  // kept across pictures of the same size, for their memory
    std::vector<bool> made_;
};

// The part `part` of `src` (Format_RGB32) scaled to `size` with bilinear
// filtering, on the calling thread and the ones it can start.
QImage scaled_part(const QImage& src, const QRectF& part, QSize size);

}  // namespace view
