#pragma once
#include <QImage>
#include <QMimeData>
#include <QString>
#include <functional>

#include "store_dialogs.h"

namespace record {

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

}  // namespace record
