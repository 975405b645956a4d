#include "mipmap.h"

#include <QPaintDevice>

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <atomic>
#include <cmath>
#include <new>
#include <cstring>
#include <vector>

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

void halve_row_best(RowPair p, int sw) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        halve_row_avx2(p, sw);
    else
        halve_row_plain(p, sw);
}

QSize halved(const QSize& s) { return QSize((s.width() + 1) / 2, (s.height() + 1) / 2); }

// Writes `src` halved `steps` times into `dst`, row by row of `dst`: the rows
// of the levels between are made in a few rows of scratch memory and never
// stored, so one pass over `src` is all the memory traffic there is. The
// result is exactly that of halving `steps` times.
void cascade_into(const QImage& src, int steps, QImage& dst) {
    std::vector<QSize> sizes{src.size()};
    for (int j = 1; j <= steps; ++j) sizes.push_back(halved(sizes.back()));
    // Small levels stay on the calling thread.
    const std::size_t chunk = dst.height() < 128 ? static_cast<std::size_t>(dst.height()) : 16;
    // A thread cannot hand its exception to the caller: it notes the want of
    // memory, and the caller throws it once every thread is done.
    std::atomic<bool> short_of_memory{false};
    core::parallel_chunks(static_cast<std::size_t>(dst.height()), chunk, [&](std::size_t begin, std::size_t end) {
        try {
            // Two rows of each level between, for the pair that makes one row
            // of the level below it.
            std::vector<std::vector<std::uint32_t>> scratch(2 * static_cast<std::size_t>(steps));
            for (int j = 1; j < steps; ++j)
                for (int slot = 0; slot < 2; ++slot)
                    scratch[static_cast<std::size_t>(2 * j + slot)].resize(static_cast<std::size_t>(sizes[j].width()));
            // Row y of level j (0 is src), made in `slot` of that level's scratch.
            auto row = [&](auto& self, int j, int y, int slot) -> const std::uint32_t* {
                if (j == 0) return reinterpret_cast<const std::uint32_t*>(src.constScanLine(y));
                std::uint32_t* out = j == steps ? reinterpret_cast<std::uint32_t*>(dst.scanLine(y))
                                                : scratch[static_cast<std::size_t>(2 * j + slot)].data();
                const std::uint32_t* r0 = self(self, j - 1, 2 * y, 0);
                const std::uint32_t* r1 = self(self, j - 1, std::min(2 * y + 1, sizes[j - 1].height() - 1), 1);
                halve_row_best(RowPair{r0, r1, out}, sizes[j - 1].width());
                return out;
            };
            for (std::size_t y = begin; y < end; ++y) row(row, steps, static_cast<int>(y), 0);
        } catch (const std::bad_alloc&) {
            short_of_memory = true;
        }
    });
    if (short_of_memory) throw std::bad_alloc();
}

QImage new_level(QSize s) {
    // Large levels live in the engine's huge-page memory: first touches of
    // ordinary pages cost more than the averaging itself.
    return static_cast<qint64>(s.width()) * s.height() >= (1 << 18) ? filter::allocate_rgb32(s.width(), s.height())
                                                                    : QImage(s, QImage::Format_RGB32);
}

}  // namespace

void MipPyramid::reset(const QImage& base) {
    shrunk_ = Shrunk();
    std::vector<QSize> sizes;
    if (!base.isNull())
        for (QSize s = base.size(); s.width() > kSmallestSide || s.height() > kSmallestSide;) {
            if (s.width() <= 1 && s.height() <= 1) break;
            s = halved(s);
            sizes.push_back(s);
        }
    // A picture of the same size (every adjustment) keeps the levels' memory.
    if (sizes != sizes_) levels_.clear();
    levels_.resize(sizes.size());
    sizes_ = std::move(sizes);
    made_.assign(sizes_.size(), false);
}

const QImage& MipPyramid::made_level(const QImage& base, int i) {
    const auto at = static_cast<std::size_t>(i);
    if (made_[at]) return levels_[at];
    if (levels_[at].isNull()) levels_[at] = new_level(sizes_[at]);
    if (levels_[at].isNull()) return base;  // out of memory: draw from the picture itself
    // From the nearest larger level made, or the picture.
    int from = i - 1;
    while (from >= 0 && !made_[static_cast<std::size_t>(from)]) --from;
    const QImage& source = from < 0 ? base : levels_[static_cast<std::size_t>(from)];
    if (source.format() == QImage::Format_RGB32)
        cascade_into(source, i - from, levels_[at]);
    else
        cascade_into(source.convertToFormat(QImage::Format_RGB32), i - from, levels_[at]);
    made_[at] = true;
    return levels_[at];
}

const QImage& MipPyramid::pick(const QImage& base, const QRectF& source, const QSizeF& target, QRectF* level_source) {
    int chosen = -1;
    double fx = 1.0, fy = 1.0;
    for (std::size_t i = 0; i < sizes_.size(); ++i) {
        const double lx = static_cast<double>(sizes_[i].width()) / base.width();
        const double ly = static_cast<double>(sizes_[i].height()) / base.height();
        // The level must keep at least one pixel per target pixel both ways.
        if (source.width() * lx < target.width() || source.height() * ly < target.height()) break;
        chosen = static_cast<int>(i);
        fx = lx;
        fy = ly;
    }
    const QImage& img = chosen < 0 ? base : made_level(base, chosen);
    if (&img == &base) fx = fy = 1.0;
    if (level_source)
        *level_source = QRectF(source.x() * fx, source.y() * fy, source.width() * fx, source.height() * fy);
    return img;
}

void MipPyramid::draw(QPainter& painter, const QRectF& target, const QImage& base, const QRectF& source) {
    if (base.isNull() || target.isEmpty() || source.isEmpty()) return;
    // The level that fits the device's pixels, not the logical ones.
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSizeF device_target = target.size() * dpr;
    QRectF level_source;
    const QImage& img = pick(base, source, device_target, &level_source);
    // Magnified, each of the picture's pixels is a sharp block, so that edges
    // measured on a zoomed picture are not blurred.
    if (device_target.width() >= level_source.width() && device_target.height() >= level_source.height()) {
        painter.drawImage(target, img, level_source);
        return;
    }
    // Shrunk, it is filtered here: Qt's own smooth scaling hands large
    // pictures to its thread pool and waits, forever when no thread starts.
    // The view drawn last is kept: a repaint of the same view (the tools'
    // overlays, an exposed window) draws it again as it is. A write to the
    // picture or a level gives the image a new cache key.
    const Shrunk wanted{img.cacheKey(), level_source, device_target.toSize(), {}};
    if (shrunk_.key != wanted.key || shrunk_.source != wanted.source || shrunk_.size != wanted.size) {
        shrunk_ = wanted;
        shrunk_.image = scaled_part(img, level_source, wanted.size);
        shrunk_.image.setDevicePixelRatio(dpr);
    }
    painter.drawImage(target.topLeft(), shrunk_.image);
}

QImage scaled_part(const QImage& src, const QRectF& part, QSize size) {
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull() || src.isNull() || part.isEmpty()) return out;
    // Each target pixel is the bilinear mean of the source at its centre, with
    // weights in 1/256: at the mip levels' ratios (at most 2) that mean covers
    // the pixels it stands for.
    struct Tap {
        int at;      // first of the two source pixels
        int weight;  // of the second, 0..256
    };
    auto taps = [](double from, double extent, int count, int limit) {
        std::vector<Tap> t(static_cast<std::size_t>(count));
        const double step = extent / count;
        for (int i = 0; i < count; ++i) {
            const double c = std::clamp(from + (i + 0.5) * step - 0.5, 0.0, double(limit - 1));
            const int at = std::min(static_cast<int>(c), std::max(limit - 2, 0));
            t[static_cast<std::size_t>(i)] = {at, limit > 1 ? static_cast<int>(std::lround((c - at) * 256)) : 0};
        }
        return t;
    };
    const std::vector<Tap> xs = taps(part.x(), part.width(), size.width(), src.width());
    const std::vector<Tap> ys = taps(part.y(), part.height(), size.height(), src.height());
    const int next_x = src.width() > 1 ? 1 : 0;
    // A pixel's four bytes spread to 16 bits each, so that one multiply
    // weighs all four: 255 * 256 still fits a lane.
    auto spread = [](std::uint32_t p) {
        const std::uint64_t v = p;
        return (v & 0xFF) | (v & 0xFF00) << 8 | (v & 0xFF0000) << 16 | (v & 0xFF000000) << 24;
    };
    auto mix = [](std::uint64_t a, std::uint64_t b, int w) {
        constexpr std::uint64_t kLanes16 = 0x00FF00FF00FF00FFull;
        return ((a * static_cast<std::uint64_t>(256 - w) + b * static_cast<std::uint64_t>(w) + 0x0080008000800080ull) >>
                8) &
               kLanes16;
    };
    // Rows of the source resampled across, each once for the output rows
    // that share it; a band of output rows per thread.
    auto band = [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint64_t> across[2] = {std::vector<std::uint64_t>(xs.size()),
                                                std::vector<std::uint64_t>(xs.size())};
        int held[2] = {-1, -1};  // the source row each holds
        auto resampled = [&](int row) -> const std::uint64_t* {
            const int slot = row & 1;
            if (held[slot] != row) {
                const auto* r = reinterpret_cast<const std::uint32_t*>(src.constScanLine(row));
                std::uint64_t* o = across[slot].data();
                for (std::size_t x = 0; x < xs.size(); ++x)
                    o[x] = mix(spread(r[xs[x].at]), spread(r[xs[x].at + next_x]), xs[x].weight);
                held[slot] = row;
            }
            return across[slot].data();
        };
        for (std::size_t y = begin; y < end; ++y) {
            const Tap ty = ys[y];
            const std::uint64_t* top = resampled(ty.at);
            const std::uint64_t* bottom = resampled(std::min(ty.at + 1, src.height() - 1));
            auto* o = reinterpret_cast<std::uint32_t*>(out.scanLine(static_cast<int>(y)));
            for (std::size_t x = 0; x < xs.size(); ++x) {
                const std::uint64_t v = mix(top[x], bottom[x], ty.weight);
                o[x] = static_cast<std::uint32_t>((v & 0xFF) | (v >> 8 & 0xFF00) | (v >> 16 & 0xFF0000)) | 0xFF000000u;
            }
        }
    };
    core::parallel_slices(static_cast<std::size_t>(size.height()), 64, band);
    return out;
}

}  // namespace view
