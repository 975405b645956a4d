#include "mipmap.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "parallel.h"
#include "pixel_image.h"

namespace view {

namespace {

// Levels stop once the picture is this small on both sides: no view is
// drawn smaller than that.
constexpr int kSmallestSide = 16;

// Per-channel rounded means of 32-bit BGRX pixels, two channels at a time:
// masking with 0x00FF00FF leaves two 16-bit lanes, so four pixels' worth of
// blue and red (or green and the fourth byte) add up without overflow.
constexpr std::uint32_t kLanes = 0x00FF00FFu;

inline std::uint32_t mean4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    const std::uint32_t lo = (a & kLanes) + (b & kLanes) + (c & kLanes) + (d & kLanes) + 0x00020002u;
    const std::uint32_t hi =
        ((a >> 8) & kLanes) + ((b >> 8) & kLanes) + ((c >> 8) & kLanes) + ((d >> 8) & kLanes) + 0x00020002u;
    return ((lo >> 2) & kLanes) | (((hi >> 2) & kLanes) << 8) | 0xFF000000u;
}

inline std::uint32_t mean2(std::uint32_t a, std::uint32_t c) {
    const std::uint32_t lo = (a & kLanes) + (c & kLanes) + 0x00010001u;
    const std::uint32_t hi = ((a >> 8) & kLanes) + ((c >> 8) & kLanes) + 0x00010001u;
    return ((lo >> 1) & kLanes) | (((hi >> 1) & kLanes) << 8) | 0xFF000000u;
}

struct RowPair {
    const std::uint32_t* r0;
    const std::uint32_t* r1;
    std::uint32_t* out;
};

[[gnu::always_inline]] inline void halve_row(RowPair p, int sw) {
    const int pairs = sw / 2;
    for (int x = 0; x < pairs; ++x) p.out[x] = mean4(p.r0[2 * x], p.r0[2 * x + 1], p.r1[2 * x], p.r1[2 * x + 1]);
    if (sw % 2) p.out[pairs] = mean2(p.r0[sw - 1], p.r1[sw - 1]);  // odd width: the last column pairs with itself
}

// The same loop compiled for wider vectors where the processor has them.
[[gnu::target("avx2")]] void halve_row_avx2(RowPair p, int sw) { halve_row(p, sw); }
void halve_row_plain(RowPair p, int sw) { halve_row(p, sw); }

void halve_rows(const QImage& src, QImage& dst, int y_begin, int y_end) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const int sw = src.width();
    const int sh = src.height();
    for (int y = y_begin; y < y_end; ++y) {
        const RowPair p{reinterpret_cast<const std::uint32_t*>(src.constScanLine(2 * y)),
                        reinterpret_cast<const std::uint32_t*>(src.constScanLine(std::min(2 * y + 1, sh - 1))),
                        reinterpret_cast<std::uint32_t*>(dst.scanLine(y))};
        if (avx2)
            halve_row_avx2(p, sw);
        else
            halve_row_plain(p, sw);
    }
}

// Writes the halved `src` into `dst`, which must be ((w+1)/2) x ((h+1)/2).
void halve_into(const QImage& src, QImage& dst) {
    // Rows are independent; small levels stay on the calling thread.
    picfilter::parallel_slices(static_cast<std::size_t>(dst.height()), 256, [&](std::size_t b, std::size_t e) {
        halve_rows(src, dst, static_cast<int>(b), static_cast<int>(e));
    });
}

QSize halved(const QSize& s) { return QSize((s.width() + 1) / 2, (s.height() + 1) / 2); }

}  // namespace

QImage halve(const QImage& src) {
    if (src.isNull()) return QImage();
    const QImage in = src.format() == QImage::Format_RGB32 ? src : src.convertToFormat(QImage::Format_RGB32);
    QImage dst(halved(in.size()), QImage::Format_RGB32);
    if (!dst.isNull()) halve_into(in, dst);
    return dst;
}

void MipPyramid::rebuild(const QImage& base) {
    if (base.isNull() || base.format() != QImage::Format_RGB32) {
        levels_.clear();
        if (!base.isNull()) rebuild(base.convertToFormat(QImage::Format_RGB32));
        return;
    }
    // A new picture of the same size (every adjustment) reuses the levels'
    // memory: fresh pages would cost more in faults than the averaging.
    std::size_t count = 0;
    for (QSize s = base.size(); s.width() > kSmallestSide || s.height() > kSmallestSide;) {
        if (s.width() <= 1 && s.height() <= 1) break;
        s = halved(s);
        if (count < levels_.size() && levels_[count].size() != s) levels_.resize(count);
        if (count == levels_.size()) {
            // Large levels live in the engine's huge-page memory: first
            // touches of ordinary pages cost more than the averaging itself.
            QImage lvl = static_cast<qint64>(s.width()) * s.height() >= (1 << 18)
                             ? picfilter::allocate_rgb32(s.width(), s.height())
                             : QImage(s, QImage::Format_RGB32);
            if (lvl.isNull()) break;  // out of memory: draw from what we have
            levels_.push_back(std::move(lvl));
        }
        ++count;
    }
    levels_.resize(count);
    const QImage* above = &base;
    for (QImage& lvl : levels_) {
        halve_into(*above, lvl);
        above = &lvl;
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
