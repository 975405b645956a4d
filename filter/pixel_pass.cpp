#include "pixel_pass.h"

#include <cstring>
#include <vector>

#include "parallel.h"
#include "rounding.h"

namespace picfilter {
namespace {

constexpr std::size_t kMinPixelsPerThread = std::size_t{1} << 18;
constexpr std::uint32_t kFourthByte = 0xFF000000u;

void map_slice(const std::uint32_t* src, std::uint32_t* dst, std::size_t n, const PixelMap& m) {
    if (m.false_colour) {
        const std::uint32_t* by_sum = m.by_sum.data();
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t p = src[i];
            const unsigned s = (p & 0xFF) + (p >> 8 & 0xFF) + (p >> 16 & 0xFF);
            dst[i] = by_sum[s] | (p & kFourthByte);
        }
    } else {
        const std::uint32_t* b = m.blue.data();
        const std::uint32_t* g = m.green.data();
        const std::uint32_t* r = m.red.data();
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t p = src[i];
            dst[i] = b[p & 0xFF] | g[p >> 8 & 0xFF] | r[p >> 16 & 0xFF] | (p & kFourthByte);
        }
    }
}

}  // namespace

void map_pixels(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, const PixelMap& map) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(src);
    auto* d = reinterpret_cast<std::uint32_t*>(dst);
    parallel_slices(pixels, kMinPixelsPerThread,
                    [&](std::size_t b, std::size_t e) { map_slice(s + b, d + b, e - b, map); });
}

std::uint64_t blue_sum(const std::uint8_t* pixels, std::size_t count) {
    const auto* p = reinterpret_cast<const std::uint32_t*>(pixels);
    return parallel_sum(count, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
        std::uint64_t s = 0;
        for (std::size_t i = b; i < e; ++i) s += p[i] & 0xFF;
        return s;
    });
}

std::uint64_t copy_twice_with_blue_sum(const std::uint8_t* src, std::uint8_t* dst1, std::uint8_t* dst2,
                                       std::size_t pixels) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(src);
    auto* d1 = reinterpret_cast<std::uint32_t*>(dst1);
    auto* d2 = reinterpret_cast<std::uint32_t*>(dst2);
    return parallel_sum(pixels, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
        std::uint64_t sum = 0;
        for (std::size_t i = b; i < e; ++i) {
            const std::uint32_t p = s[i];
            d1[i] = p;
            d2[i] = p;
            sum += p & 0xFF;
        }
        return sum;
    });
}

void paint_calibration_strip(std::uint8_t* pixels, int width, int height, const ToneTables& t) {
    if (width <= 0 || height <= 0) return;
    const std::size_t row_bytes = std::size_t{4} * static_cast<std::size_t>(width);
    // Colour bytes of the three strip rows; the fourth byte stays as it is.
    std::vector<std::uint8_t> ramp(row_bytes), toned(row_bytes), coloured(row_bytes);
    for (int x = 1; x <= width; ++x) {
        const double r = static_cast<double>(x) / width * 255;
        const int n = to_integer(r);
        const std::size_t o = std::size_t{4} * static_cast<std::size_t>(x - 1);
        const auto tn = t.tone[n];
        ramp[o] = ramp[o + 1] = ramp[o + 2] = static_cast<std::uint8_t>(n);
        toned[o] = toned[o + 1] = toned[o + 2] = static_cast<std::uint8_t>(tn);
        coloured[o] = static_cast<std::uint8_t>(t.blue[tn]);
        coloured[o + 1] = static_cast<std::uint8_t>(t.green[tn]);
        coloured[o + 2] = static_cast<std::uint8_t>(t.red[tn]);
    }
    auto write_row = [&](int y, const std::vector<std::uint8_t>& src) {
        if (y < 1 || y > height) return;
        std::uint8_t* row = pixels + row_bytes * static_cast<std::size_t>(y - 1);
        for (std::size_t o = 0; o < row_bytes; o += 4) {
            row[o] = src[o];
            row[o + 1] = src[o + 1];
            row[o + 2] = src[o + 2];
        }
    };
    // Ascending, later writes overwriting earlier ones, as the strip is defined.
    for (int y = height - 12; y <= height - 8; ++y) {
        write_row(y, ramp);
        write_row(y + 4, toned);
        write_row(y + 8, coloured);
    }
}

}  // namespace picfilter
