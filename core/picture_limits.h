#pragma once
#include <cstdint>

namespace core {

// Largest picture accepted, in pixels (4 GiB of buffers at most across the
// picture holder and the filter): a header claiming more is refused before
// anything is allocated.
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{16384} * 16384;

// No picture within that limit needs a larger file (an uncompressed 32-bit
// bitmap of the largest size plus room for headers and palettes).
inline constexpr std::int64_t kMaxPictureFileBytes = kMaxPicturePixels * 4 + (std::int64_t{1} << 20);

}  // namespace core
