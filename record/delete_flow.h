#pragma once
#include <QString>

#include "store_dialogs.h"

namespace record {

// "Supprimer": asks kDeleteQuestion; on Yes deletes the record's file (a
// missing file is no error) and returns true: the window must then close,
// whether or not the file could be removed. On No returns false and changes
// nothing. `why_not_deleted`, when given, receives the reason a file that
// was there could not be removed (empty otherwise).
bool delete_flow(const QString& record_path, const StoreDialogs& dialogs, QString* why_not_deleted = nullptr);

}  // namespace record
