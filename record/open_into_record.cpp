#include "open_into_record.h"

#include <sys/stat.h>

#include <QFile>

#include "atomic_file.h"
#include "picture_loader.h"
#include "store_picture.h"

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

namespace {

// JPEG and Windows bitmap files are what the record's host reads: those are
// copied as they are, byte for byte.
bool host_reads(const QString& path) {
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(3) : QByteArray();
    return head.startsWith("BM") || head == QByteArrayLiteral("\xFF\xD8\xFF");
}

}  // namespace

core::Result<Opened> open_into_record(const QString& chosen, const QString& record) {
    Opened opened;
    if (!same_file(chosen, record)) {
        auto picture = sources::load_picture(chosen);
        if (!picture) return core::fail(picture.error());
        // Any other picture (DICOM, PNG, TIFF) is stored as the record's
        // JPEG, as a pasted one is; the window shows it as decoded.
        auto stored = host_reads(chosen) ? storage::copy_file_atomically(chosen, record)
                                         : storage::store_picture(*picture, record);
        // The record now holds the picture just decoded.
        if (stored) return Opened{std::move(*picture), {}};
        opened.failures.push_back(stored.error());
    }
    // The record's own file, or whatever it still holds after a failed copy.
    auto picture = sources::load_picture(record);
    if (picture)
        opened.picture = std::move(*picture);
    else
        opened.failures.push_back(picture.error());
    return opened;
}

}  // namespace record
