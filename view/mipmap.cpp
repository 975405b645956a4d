#include "mipmap.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "parallel.h"

namespace view {

namespace {

// Levels stop once the picture is this small on both sides: no view is
// drawn smaller than that.
constexpr int kSmallestSide = 16;

void halve_rows(const QImage& src, QImage& dst, int y_begin, int y_end) {
    const int sw = src.width();
    const int sh = src.height();
    const int dw = dst.width();
    std::vector<std::uint16_t> sum(static_cast<std::size_t>(sw) * 4);
    for (int y = y_begin; y < y_end; ++y) {
        const std::uint8_t* r0 = src.constScanLine(2 * y);
        const std::uint8_t* r1 = src.constScanLine(std::min(2 * y + 1, sh - 1));
        // Vertical pair sums first: a straight loop the compiler vectorises.
        for (std::size_t i = 0, n = sum.size(); i < n; ++i)
            sum[i] = static_cast<std::uint16_t>(r0[i] + r1[i]);
        std::uint8_t* out = dst.scanLine(y);
        const int pairs = sw / 2;
        for (int x = 0; x < pairs; ++x) {
            const std::uint16_t* s = sum.data() + 8 * x;
            out[4 * x + 0] = static_cast<std::uint8_t>((s[0] + s[4] + 2) >> 2);
            out[4 * x + 1] = static_cast<std::uint8_t>((s[1] + s[5] + 2) >> 2);
            out[4 * x + 2] = static_cast<std::uint8_t>((s[2] + s[6] + 2) >> 2);
            out[4 * x + 3] = 0xff;
        }
        if (dw > pairs) {  // odd width: the last column pairs with itself
            const std::uint16_t* s = sum.data() + 8 * pairs;
            out[4 * pairs + 0] = static_cast<std::uint8_t>((s[0] + 1) >> 1);
            out[4 * pairs + 1] = static_cast<std::uint8_t>((s[1] + 1) >> 1);
            out[4 * pairs + 2] = static_cast<std::uint8_t>((s[2] + 1) >> 1);
            out[4 * pairs + 3] = 0xff;
        }
    }
}

}  // namespace

QImage halve(const QImage& src) {
    if (src.isNull()) return QImage();
    const QImage& in = src.format() == QImage::Format_RGB32 ? src : src.convertToFormat(QImage::Format_RGB32);
    const int dw = (in.width() + 1) / 2;
    const int dh = (in.height() + 1) / 2;
    QImage dst(dw, dh, QImage::Format_RGB32);
    if (dst.isNull()) return dst;
    // Rows are independent; small levels stay on the calling thread.
    picfilter::parallel_slices(static_cast<std::size_t>(dh), 256, [&](std::size_t b, std::size_t e) {
        halve_rows(in, dst, static_cast<int>(b), static_cast<int>(e));
    });
    return dst;
}

void MipPyramid::rebuild(const QImage& base) {
    levels_.clear();
    if (base.isNull()) return;
    const QImage* above = &base;
    while (above->width() > kSmallestSide || above->height() > kSmallestSide) {
        if (above->width() <= 1 && above->height() <= 1) break;
        QImage next = halve(*above);
        if (next.isNull()) break;  // out of memory: draw from what we have
        levels_.push_back(std::move(next));
        above = &levels_.back();
    }
}

const QImage& MipPyramid::pick(const QImage& base, const QRectF& source, const QSizeF& target,
                               QRectF* level_source) const {
    const QImage* chosen = &base;
    double fx = 1.0, fy = 1.0;
    for (const QImage& lvl : levels_) {
        const double lx = static_cast<double>(lvl.width()) / base.width();
        const double ly = static_cast<double>(lvl.height()) / base.height();
        // The level must keep at least one pixel per target pixel both ways.
        if (source.width() * lx < target.width() || source.height() * ly < target.height()) break;
        chosen = &lvl;
        fx = lx;
        fy = ly;
    }
    if (level_source)
        *level_source = QRectF(source.x() * fx, source.y() * fy, source.width() * fx, source.height() * fy);
    return *chosen;
}

void MipPyramid::draw(QPainter& painter, const QRectF& target, const QImage& base, const QRectF& source) const {
    if (base.isNull() || target.isEmpty() || source.isEmpty()) return;
    QRectF level_source;
    const QImage& img = pick(base, source, target.size(), &level_source);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, img, level_source);
    painter.restore();
}

}  // namespace view
