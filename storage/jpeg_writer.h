#pragma once
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace storage {

// Encodes rows of `pixel_format` (a TurboJPEG TJPF_ value; `flags` may hold
// TJFLAG_BOTTOMUP) as a baseline JFIF JPEG with 4:2:0 chroma. The JPEG is
// left in an output block kept by the calling thread and reused by its next
// call (*jpeg and *size stay valid until then): TurboJPEG growing its own
// buffer from a few kilobytes costs a large picture a third of its time.
bool compress_rows(const std::uint8_t* first_row, int width, int height, int pitch, int pixel_format, int flags,
                   int quality, const unsigned char** jpeg, std::size_t* size, QString* error);

// Encodes BGRX rows (stride in bytes) as a baseline JFIF JPEG with 4:2:0
// chroma at `quality` (1..100). Returns false with a reason on failure.
bool encode_jpeg(const std::uint8_t* bgrx, int width, int height, int stride, int quality,
                 std::vector<unsigned char>* out, QString* error);

// Encodes a picture and replaces the file at `path` atomically.
bool write_jpeg_file(const QString& path, const QImage& picture, int quality, QString* error);

}  // namespace storage
