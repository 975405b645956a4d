#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

#include "picture_limits.h"

namespace sources {

// Decodes a picture recognised by its content (JPEG, Windows bitmap, PNG and
// the other formats Qt reads) into a Format_RGB32 image. JPEG goes straight
// from the file into the image's BGRX rows; Windows bitmaps go through our
// own strict decoder, never Qt's, so that a cut or forged file is refused
// rather than shown in part. Transparent pixels become white.
// On failure returns a null image and sets *error to a readable reason.
QImage decode_picture(const QByteArray& data, QString* error);

// The same with a lower size limit, for callers (and tests) that must not
// let a forged header take much memory.
QImage decode_picture(const QByteArray& data, QString* error, std::int64_t max_pixels);

// The same from a file; the reason then also covers a missing or unreadable file.
QImage load_picture(const QString& path, QString* error);

}  // namespace sources
