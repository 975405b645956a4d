#include "grey16.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pixel_image.h"

namespace sources {

QImage stretch_grey16(const QImage& src) {
    const int w = src.width(), h = src.height();
    QImage out = filter::allocate_rgb32(w, h);
    if (out.isNull()) return out;
    std::uint16_t lo = 0xFFFF, hi = 0;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(src.constScanLine(y));
        const auto [mn, mx] = std::minmax_element(row, row + w);
        lo = std::min(lo, *mn);
        hi = std::max(hi, *mx);
    }
    // One table of 65536 entries maps every level, rounded to the nearest.
    std::vector<std::uint32_t> grey(65536);
    const std::uint32_t span = hi > lo ? hi - lo : 0;
    for (std::uint32_t v = lo; v <= hi; ++v) {
        const std::uint32_t g = span ? ((v - lo) * 255 + span / 2) / span : v >> 8;
        grey[v] = 0xFF000000u | g << 16 | g << 8 | g;
    }
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const std::uint16_t*>(src.constScanLine(y));
        auto* px = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) px[x] = grey[in[x]];
    }
    return out;
}

}  // namespace sources
