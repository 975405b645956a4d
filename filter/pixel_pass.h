#pragma once
#include <cstddef>
#include <cstdint>

#include "tone_tables.h"

namespace filter {

// dst = every BGRX pixel of src through the folded tables; the fourth byte
// is carried over unchanged. src and dst may be the same buffer.
void map_pixels(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, const PixelMap& map);

// Copies src to dst in one pass and returns the blue sum.
std::uint64_t copy_with_blue_sum(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels);
// Sum of the first byte of each 4-byte pixel.
std::uint64_t blue_sum(const std::uint8_t* pixels, std::size_t count);

// The bottom 13 rows of a width x height picture: a grey ramp (5 rows), the
// ramp through the tone table (4 rows), through tone and palette (4 rows).
// A picture with fewer rows gets the strip rows that fall inside it.
void paint_calibration_strip(std::uint8_t* pixels, int width, int height, const ToneTables& t);

}  // namespace filter
