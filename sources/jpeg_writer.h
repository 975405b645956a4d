#pragma once
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace sources {

// Encodes BGRX rows (stride in bytes) as a baseline JFIF JPEG with 4:2:0
// chroma at `quality` (1..100). Returns false with a reason on failure.
bool encode_jpeg(const std::uint8_t* bgrx, int width, int height, int stride, int quality,
                 std::vector<unsigned char>* out, QString* error);

// Encodes a picture and replaces the file at `path` atomically.
bool write_jpeg_file(const QString& path, const QImage& picture, int quality, QString* error);

}  // namespace sources
