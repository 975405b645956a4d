#include "deconvolution.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "parallel.h"

namespace picfilter {
namespace {

inline std::uint8_t smooth(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2, std::uint8_t v3, std::uint8_t v4) {
    const double s = kOuterWeight * v4 + kOuterWeight * v0 + kInnerWeight * v1 + kInnerWeight * v3 + v2 / 7.0;
    return static_cast<std::uint8_t>(std::nearbyint(s > 255 ? 255.0 : s));
}

inline std::uint8_t sharpen(std::uint8_t original, std::uint8_t smoothed) {
    const double t = kAmplification * original - smoothed;
    return static_cast<std::uint8_t>(std::nearbyint(t < 0 ? 0.0 : (t > 255 ? 255.0 : t)));
}

}  // namespace

void deconvolve(std::uint8_t* ref, std::uint8_t* res, int width, int height) {
    if (!ref || !res || width <= 0 || height <= 0) return;
    const std::size_t W = static_cast<std::size_t>(width), H = static_cast<std::size_t>(height);
    const std::size_t row = 4 * W;
    std::memcpy(res, ref, row * H);

    if (W >= 6) {
        parallel_slices(H, 64, [&](std::size_t y0, std::size_t y1) {
            for (std::size_t y = y0; y < y1; ++y) {
                std::uint8_t* p = res + row * y;
                for (std::size_t x = 0; x + 5 < W; ++x)
                    for (std::size_t c = 0; c < 3; ++c) {
                        std::uint8_t* q = p + 4 * x + c;
                        q[0] = smooth(q[0], q[4], q[8], q[12], q[16]);
                    }
            }
        });
    }
    if (H >= 6) {
        parallel_slices(W, 64, [&](std::size_t x0, std::size_t x1) {
            for (std::size_t y = 0; y + 5 < H; ++y) {
                std::uint8_t* p = res + row * y;
                for (std::size_t x = x0; x < x1; ++x)
                    for (std::size_t c = 0; c < 3; ++c) {
                        std::uint8_t* q = p + 4 * x + c;
                        q[0] = smooth(q[0], q[row], q[2 * row], q[3 * row], q[4 * row]);
                    }
            }
        });
    }
    parallel_slices(H, 64, [&](std::size_t y0, std::size_t y1) {
        for (std::size_t i = row * y0; i < row * y1; i += 4)
            for (std::size_t c = 0; c < 3; ++c) res[i + c] = sharpen(ref[i + c], res[i + c]);
        std::memcpy(ref + row * y0, res + row * y0, row * (y1 - y0));
    });
}

}  // namespace picfilter
