#pragma once
#include <QImage>
#include <QMimeData>
#include <QString>

namespace sources {

// The picture the clipboard offers, in Format_RGB32 with transparent pixels
// made white: Qt's own image, or else the first "image/..." format that
// decodes (what browsers and image editors put there). `data` may be null
// (an empty clipboard). `offered` tells whether any image format was there
// at all; a null result with `offered` set means it could not be read, and
// `error` says why.
QImage clipboard_picture(const QMimeData* data, bool* offered, QString* error);

}  // namespace sources
