#pragma once
#include <cstdint>

namespace picfilter {

// Weights of the five-sample smoothing window and the amplification of the
// sharpening: result = 1.9 * picture - smoothed picture.
inline constexpr double kOuterWeight = 1.35 / 19.027974;
inline constexpr double kInnerWeight = 6.06 / 19.027974;
inline constexpr double kAmplification = 1.9;

// Sharpens the BGRX picture in `reference` (width x height) and leaves the
// sharpened picture in both `reference` and `result`. The smoothing windows
// are not centred: columns x..x+4 go into column x, rows y..y+4 into row y;
// the last 5 columns and rows are not smoothed. The fourth byte is carried.
void deconvolve(std::uint8_t* reference, std::uint8_t* result, int width, int height);

}  // namespace picfilter
