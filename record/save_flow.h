#pragma once
#include <QImage>
#include <QString>

#include "store_dialogs.h"

namespace record {

enum class SaveOutcome { Cancelled, Saved, Failed };

// "Enregistrer": asks kSaveQuestion; on OK stores `pbox_image` (the adjusted
// picture, without overlays) as the record's JPEG, and on failure reports
// kSaveErrorPrefix + reason. Cancel writes nothing, not even the staging file.
SaveOutcome save_flow(const QImage& pbox_image, const QString& record_path, const StoreDialogs& dialogs);
SaveOutcome save_flow(const QImage& pbox_image, const QString& record_path, const StoreDialogs& dialogs,
                      const QString& staging);

}  // namespace record
