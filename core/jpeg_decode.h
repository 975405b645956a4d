#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pixel_memory.h"
#include "result.h"

namespace core {

// A decoded JPEG: width * height top-down BGRX pixels, rows 4 * width bytes.
struct JpegPixels {
    PixelMemory memory;
    int width = 0;
    int height = 0;
};

// Decodes a JPEG straight from its bytes into pixel memory with TurboJPEG.
// A header claiming more than max_pixels is refused before anything is
// allocated; a file cut short is refused rather than shown in part; warnings
// about stray bytes still give the whole picture. No pixels (and no failure)
// for a CMYK or YCCK JPEG, which TurboJPEG does not give as BGRX: another
// decoder must take it.
Result<std::optional<JpegPixels>> decode_jpeg_pixels(const unsigned char* data, std::size_t size,
                                                     std::int64_t max_pixels);

// True when the bytes begin as a JPEG does (FF D8 FF).
bool looks_like_jpeg(const unsigned char* data, std::size_t size);

}  // namespace core
