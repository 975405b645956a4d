#pragma once
#include <QImage>
#include <QMimeData>
#include <QString>
#include <functional>

#include "store_dialogs.h"

namespace sources {

// The picture the clipboard offers, in Format_RGB32 with transparent pixels
// made white: Qt's own image, or else the first "image/..." format that
// decodes (what browsers and image editors put there). `data` may be null
// (an empty clipboard). `offered` tells whether any image format was there
// at all; a null result with `offered` set means it could not be read, and
// `error` says why.
QImage clipboard_picture(const QMimeData* data, bool* offered, QString* error);

struct PasteResult {
    bool pasted = false;  // a picture was handed to show_picture: repaint
    bool stored = false;  // and is now the record's JPEG
};

// "Coller": without a picture on the clipboard, informs kNoClipboardImage and
// changes nothing. Otherwise hands the picture to `show_picture` (the window
// puts it into PBox and the filter) and stores it at once as the record's
// JPEG; a failure is reported as kLoadErrorPrefix + reason, and the caller
// still repaints. A picture offered but unreadable is reported the same way
// and nothing is changed.
PasteResult paste_flow(const QMimeData* clipboard, const QString& record_path,
                       const std::function<void(const QImage&)>& show_picture, const StoreDialogs& dialogs);
PasteResult paste_flow(const QMimeData* clipboard, const QString& record_path,
                       const std::function<void(const QImage&)>& show_picture, const StoreDialogs& dialogs,
                       const QString& staging);

}  // namespace sources
