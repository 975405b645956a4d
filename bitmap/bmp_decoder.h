#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

#include "result.h"

namespace bitmap {

// True when `data` starts like a Windows bitmap file ("BM").
bool is_bmp(const QByteArray& data);

// Decoder for the JPEG or PNG stream some bitmap files carry instead of
// pixels, giving a Format_RGB32 image.
using EmbeddedDecoder = core::Result<QImage> (*)(const QByteArray& data, std::int64_t max_pixels);

// Decodes a Windows bitmap file (core, info, V4 and V5 headers; 1, 2, 4, 8,
// 16, 24 and 32 bits per pixel; RLE4, RLE8, bit fields, top-down rows) into
// a Format_RGB32 image, transparent pixels and pixels an RLE stream leaves
// unset becoming white. Every header field is checked against the data
// actually present before any pixel memory is taken, and a picture of more
// than `max_pixels` is refused, as is an embedded stream without `embedded`.
// The reasons are short and French.
core::Result<QImage> decode_bmp(const QByteArray& data, std::int64_t max_pixels, EmbeddedDecoder embedded);

}  // namespace bitmap
