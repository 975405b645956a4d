#include "delete_flow.h"

#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace record {

bool delete_flow(const QString& record_path, const StoreDialogs& dialogs, QString* why_not_deleted) {
    if (why_not_deleted) why_not_deleted->clear();
    if (!dialogs.ask_yes_no(kDeleteQuestion)) return false;
    if (::unlink(QFile::encodeName(record_path).constData()) != 0 && errno != ENOENT && why_not_deleted)
        *why_not_deleted =
            QStringLiteral("%1 : %2").arg(record_path, QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

}  // namespace record
