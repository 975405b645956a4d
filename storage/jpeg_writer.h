#pragma once
#include <QImage>
#include <QString>
#include <cstdint>
#include <span>

#include "result.h"

namespace storage {

// Encodes rows of `pixel_format` (a TurboJPEG TJPF_ value; `flags` may hold
// TJFLAG_BOTTOMUP) as a baseline JFIF JPEG with 4:2:0 chroma at `quality`
// (1..100). The JPEG is left in an output block kept by the calling thread
// and reused by its next call (the span stays valid until then): TurboJPEG
// growing its own buffer from a few kilobytes costs a large picture a third
// of its time.
core::Result<std::span<const unsigned char>> compress_rows(const std::uint8_t* first_row, int width, int height,
                                                           int pitch, int pixel_format, int flags, int quality);

// Encodes a picture and replaces the file at `path` atomically.
core::Result<> write_jpeg_file(const QString& path, const QImage& picture, int quality);

}  // namespace storage
