#include "open_image.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "atomic_file.h"
#include "picture_loader.h"

namespace record {

bool same_file(const QString& a, const QString& b) {
    if (a == b) return true;
    if (a.isEmpty() || b.isEmpty()) return false;
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0) return false;
    if (::stat(QFile::encodeName(b).constData(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OpenResult open_into_record(const QString& chosen, const QString& record) {
    OpenResult result;
    QString error;
    if (!same_file(chosen, record)) {
        QImage picture = sources::load_picture(chosen, &error);
        if (picture.isNull()) {
            result.errors << error;
            result.accepted = false;
            return result;
        }
        if (storage::copy_file_atomically(chosen, record, &error)) {
            // The record now holds exactly the bytes just decoded.
            result.picture = std::move(picture);
            return result;
        }
        result.errors << error;
    }
    // The record's own file, or whatever it still holds after a failed copy.
    result.picture = sources::load_picture(record, &error);
    if (result.picture.isNull()) result.errors << error;
    return result;
}

}  // namespace record
