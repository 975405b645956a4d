#include "save_flow.h"

#include <functional>

#include "staging_file.h"
#include "store_picture.h"

namespace record {
namespace {

SaveOutcome save_with(const QImage& pbox_image, const QString& record_path, const StoreDialogs& dialogs,
                      const std::function<QString(QString*)>& staging) {
    // Nothing, not even the runtime folder, is touched before the answer.
    if (!dialogs.ask_ok_cancel(kSaveQuestion)) return SaveOutcome::Cancelled;
    QString error;
    const QString path = staging(&error);
    if (!path.isEmpty() && storage::store_picture(pbox_image, record_path, path, &error)) return SaveOutcome::Saved;
    dialogs.report_error(kSaveErrorPrefix + error);
    return SaveOutcome::Failed;
}

}  // namespace

SaveOutcome save_flow(const QImage& pbox_image, const QString& record_path, const StoreDialogs& dialogs) {
    return save_with(pbox_image, record_path, dialogs, [](QString* error) { return storage::staging_path(error); });
}

SaveOutcome save_flow(const QImage& pbox_image, const QString& record_path, const StoreDialogs& dialogs,
                      const QString& staging) {
    return save_with(pbox_image, record_path, dialogs, [&staging](QString*) { return staging; });
}

}  // namespace record
