#pragma once
#include <cstddef>
#include <cstdint>

namespace filter {

// Below this many pixels per thread (1 MiB of BGRX) a pass takes fewer
// threads: starting one and handing it its slice costs about as much as the
// work it would take over.
inline constexpr std::size_t kMinPixelsPerThread = std::size_t{1} << 18;

// The sharpening splits by rows, and each band also smooths the first rows of
// the next one: under this many rows a band would spend too much on those.
inline constexpr std::size_t kMinRowsPerThread = 64;

// From this many pixels (32 MiB of BGRX) on, a pass writes its result past the
// cache: it would not stay there, and a streamed store need not read the line
// it replaces first.
inline constexpr std::size_t kStreamPixels = std::size_t{8} << 20;

// The fourth byte of a BGRX pixel, which every pass carries over unchanged.
inline constexpr std::uint32_t kFourthByte = 0xFF000000u;

}  // namespace filter
