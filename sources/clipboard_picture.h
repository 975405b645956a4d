#pragma once
#include <QImage>
#include <QMimeData>
#include <QString>
#include <optional>

#include "result.h"

namespace sources {

// The picture the clipboard offers, in Format_RGB32 with transparent pixels
// made white: Qt's own image, or else the first "image/..." format that
// decodes (what browsers and image editors put there). `data` may be null
// (an empty clipboard). No picture when no image format is there at all; a
// failure when one is, but cannot be read.
core::Result<std::optional<QImage>> clipboard_picture(const QMimeData* data);

}  // namespace sources
