#pragma once
#include <cstddef>
#include <cstdint>

namespace filter {

// Weights of the five-sample smoothing window and the amplification of the
// sharpening: result = 1.9 * picture - smoothed picture.
inline constexpr double kOuterWeight = 1.35 / 19.027974;
inline constexpr double kInnerWeight = 6.06 / 19.027974;
inline constexpr double kAmplification = 1.9;

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
