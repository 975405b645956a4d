#include "open_into_record.h"

#include <sys/stat.h>

#include <QFile>

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

core::Result<Opened> open_into_record(const QString& chosen, const QString& record) {
    Opened opened;
    if (!same_file(chosen, record)) {
        auto picture = sources::load_picture(chosen);
        if (!picture) return core::fail(picture.error());
        auto copied = storage::copy_file_atomically(chosen, record);
        // The record now holds exactly the bytes just decoded.
        if (copied) return Opened{std::move(*picture), {}};
        opened.failures.push_back(copied.error());
    }
    // The record's own file, or whatever it still holds after a failed copy.
    auto picture = sources::load_picture(record);
    if (picture) opened.picture = std::move(*picture);
    else opened.failures.push_back(picture.error());
    return opened;
}

}  // namespace record
