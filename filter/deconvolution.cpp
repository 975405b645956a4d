#include "deconvolution.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <latch>
#include <vector>

#include "parallel.h"
#include "pass_constants.h"
#include "sharpen_kernels.h"

namespace filter {

// One pass over the rows: each reference row is smoothed horizontally into a
// ring of five work rows, the ring is smoothed vertically into one row, and
// that row sharpens the reference row into both the result and the reference.
// Every row is read before it is overwritten, since the vertical window only
// looks ahead. With several threads, each band of rows also needs the first
// four rows of the next band as they were: it smooths them before all bands
// meet, after which the next band starts writing. The bands are as many as
// the threads that could be had.
std::uint64_t deconvolve(std::uint8_t* reference, std::uint8_t* result, int width, int height) {
    return deconvolve(reference, reference, result, width, height);
}

std::uint64_t deconvolve(const std::uint8_t* src, std::uint8_t* ref, std::uint8_t* res, int width, int height) {
    if (!src || !ref || !res || width <= 0 || height <= 0) return 0;
    const SharpenKernels k = sharpen_kernels();
    const std::size_t W = static_cast<std::size_t>(width), H = static_cast<std::size_t>(height);
    const std::size_t row = 4 * W, stride = k.stride, work_row = stride * W;
    const std::size_t smoothed_bytes = W >= 6 ? stride * (W - 5) : 0;  // the last 5 columns keep their values
    const bool vertical = H >= 6;

    auto smooth_row = [&](std::size_t y, std::uint8_t* out, std::uint8_t* scratch) {
        const std::uint8_t* in = src + row * y;
        if (k.to_work) {
            k.to_work(in, scratch, W);
            in = scratch;
        }
        if (smoothed_bytes) {
            const std::uint8_t* p[5] = {in, in + stride, in + 2 * stride, in + 3 * stride, in + 4 * stride};
            k.smooth(p, out, smoothed_bytes);
        }
        std::memcpy(out + smoothed_bytes, in + smoothed_bytes, work_row - smoothed_bytes);
    };

    const std::size_t threads = std::clamp<std::size_t>(H / kMinRowsPerThread, 1, core::pass_threads());
    std::atomic<std::uint64_t> blue{0};
    // Allocated here, where a failure can still be reported to the caller.
    std::vector<std::uint8_t> work(work_row * 11 * threads);
    core::run_on_threads(threads, [&](std::size_t t, std::size_t bands, std::latch& meet) {
        const std::size_t y0 = H * t / bands, y1 = H * (t + 1) / bands;
        std::uint8_t* ring = work.data() + work_row * 11 * t;  // rows y0..y1-1, by y mod 5
        std::uint8_t* ahead = ring + 5 * work_row;             // rows y1..y1+3
        std::uint8_t* column = ahead + 4 * work_row;
        std::uint8_t* scratch = column + work_row;
        auto smoothed_row = [&](std::size_t y) {
            return y >= y1 ? ahead + work_row * (y - y1) : ring + work_row * (y % 5);
        };

        if (vertical)
            for (std::size_t y = y1; y < std::min(H, y1 + 4); ++y) smooth_row(y, smoothed_row(y), scratch);
        meet.arrive_and_wait();

        std::uint64_t band_blue = 0;
        std::size_t next = y0;  // next row to smooth horizontally
        for (std::size_t y = y0; y < y1; ++y) {
            const bool in_window = vertical && y + 5 < H;  // the last 5 rows are not smoothed vertically
            const std::size_t need = std::min(in_window ? y + 4 : y, y1 - 1);
            for (; next <= need; ++next) smooth_row(next, smoothed_row(next), scratch);
            const std::uint8_t* s = smoothed_row(y);
            if (in_window) {
                const std::uint8_t* p[5] = {smoothed_row(y), smoothed_row(y + 1), smoothed_row(y + 2),
                                            smoothed_row(y + 3), smoothed_row(y + 4)};
                k.smooth(p, column, work_row);
                s = column;
            }
            band_blue += k.sharpen(src + row * y, s, res + row * y, ref + row * y, W);
        }
        blue.fetch_add(band_blue, std::memory_order_relaxed);
    });
    return blue.load();
}

}  // namespace filter
