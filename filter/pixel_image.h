#pragma once
#include <QImage>

#include "pixel_memory.h"

namespace filter {

// A QImage of Format_RGB32 (top-down B, G, R, X rows, 4*w bytes each) whose
// pixels live in core::PixelMemory. Contents are unspecified. Returns a null image
// when the size is not positive or the memory cannot be had.
QImage allocate_rgb32(int width, int height);

// The same over memory already filled (at least 4 * width * height bytes),
// which the image then owns.
QImage adopt_rgb32(core::PixelMemory memory, int width, int height);

// The same over a block of `bytes` bytes filled elsewhere (rows `stride`
// bytes apart), which release(data, bytes) gives back once the last image
// sharing it is gone, or at once when it cannot hold the picture.
QImage adopt_rgb32(std::uint8_t* data, std::size_t bytes, int width, int height, qsizetype stride,
                   void (*release)(std::uint8_t* data, std::size_t bytes));

// True when `image` is one that allocate_rgb32 or adopt_rgb32 made (or a copy
// of one): its pixels are then reached only through QImages, whose writes
// detach, so another holder may share them without fear of their changing.
bool owns_its_pixels(const QImage& image);

}  // namespace filter
