#include "paste_flow.h"

#include "clipboard_picture.h"

#include <QPainter>

#include "picture_loader.h"
#include "pixel_image.h"
#include "staging_file.h"
#include "store_picture.h"

namespace record {
namespace {

PasteResult paste_with(const QImage& picture, const QString& record_path,
                       const std::function<void(const QImage&)>& show_picture, const StoreDialogs& dialogs,
                       const std::function<QString(QString*)>& staging) {
    PasteResult result;
    show_picture(picture);
    result.pasted = true;
    QString error;
    const QString path = staging(&error);
    if (!path.isEmpty() && storage::store_picture(picture, record_path, path, &error))
        result.stored = true;
    else
        dialogs.report_error(kLoadErrorPrefix + error);
    return result;
}

PasteResult paste_common(const QMimeData* clipboard, const QString& record_path,
                         const std::function<void(const QImage&)>& show_picture, const StoreDialogs& dialogs,
                         const std::function<QString(QString*)>& staging) {
    bool offered = false;
    QString error;
    const QImage picture = sources::clipboard_picture(clipboard, &offered, &error);
    if (!offered) {
        dialogs.inform(kNoClipboardImage);
        return {};
    }
    if (picture.isNull()) {
        dialogs.report_error(kLoadErrorPrefix + error);
        return {};
    }
    return paste_with(picture, record_path, show_picture, dialogs, staging);
}

}  // namespace

PasteResult paste_flow(const QMimeData* clipboard, const QString& record_path,
                       const std::function<void(const QImage&)>& show_picture, const StoreDialogs& dialogs) {
    return paste_common(clipboard, record_path, show_picture, dialogs,
                        [](QString* error) { return storage::staging_path(error); });
}

PasteResult paste_flow(const QMimeData* clipboard, const QString& record_path,
                       const std::function<void(const QImage&)>& show_picture, const StoreDialogs& dialogs,
                       const QString& staging) {
    return paste_common(clipboard, record_path, show_picture, dialogs, [&staging](QString*) { return staging; });
}

}  // namespace record
