#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

#include "picture_limits.h"
#include "result.h"

namespace sources {

// Decodes a picture recognised by its content (JPEG, Windows bitmap, PNG and
// the other formats Qt reads) into a Format_RGB32 image. JPEG goes straight
// from the file into the image's BGRX rows; Windows bitmaps go through our
// own strict decoder, never Qt's, so that a cut or forged file is refused
// rather than shown in part. Transparent pixels become white. A lower size
// limit serves callers (and tests) that must not let a forged header take
// much memory.
core::Result<QImage> decode_picture(const QByteArray& data, std::int64_t max_pixels = core::kMaxPicturePixels);

// The same from a file; the reason then names the file, and also covers a
// missing or unreadable one.
core::Result<QImage> load_picture(const QString& path);

}  // namespace sources
