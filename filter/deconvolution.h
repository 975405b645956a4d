#pragma once
#include <cstddef>
#include <cstdint>

#include "sharpen_kernels.h"

namespace filter {

// Sharpens the BGRX picture in `reference` (width x height) and leaves the
// sharpened picture in both `reference` and `result`. The smoothing windows
// are not centred: columns x..x+4 go into column x, rows y..y+4 into row y;
// the last 5 columns and rows are not smoothed. The fourth byte is carried.
// The result is byte for byte what the plain double-precision loops give.
// Returns the sum of the blue bytes of the sharpened picture.
std::uint64_t deconvolve(std::uint8_t* reference, std::uint8_t* result, int width, int height);
// The same from the picture in `source`, which is only read, into `reference`
// (which may be `source` itself) and `result`.
std::uint64_t deconvolve(const std::uint8_t* source, std::uint8_t* reference, std::uint8_t* result, int width,
                         int height);

}  // namespace filter
