#include "record_file.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "DIWriteJpg.h"
#include "clipboard_picture.h"
#include "picture_loader.h"
#include "reasons.h"
#include "sane_twain.h"
#include "staging_file.h"
#include "store_picture.h"

namespace record {

namespace {

constexpr int kScanQuality = 80;
const QString kScanUnknownError = QStringLiteral("erreur inconnue lors du scan");
const QString kScanTwainError = QStringLiteral("erreur TWAIN lors du scan");

core::Failed scan_failure(const QString& message, const QString& reason) {
    return core::fail(message + QStringLiteral(": ") + reason);
}

}  // namespace

core::Result<> save(const QImage& picture, const QString& record) { return storage::store_picture(picture, record); }

core::Result<> remove(const QString& record) {
    if (::unlink(QFile::encodeName(record).constData()) != 0 && errno != ENOENT)
        return core::file_failure(record, errno);
    return {};
}

core::Result<bool> paste(const QMimeData* clipboard, const QString& record,
                         const std::function<void(const QImage&)>& show) {
    const auto picture = sources::clipboard_picture(clipboard);
    if (!picture) return core::fail(picture.error());
    if (!*picture) return false;
    show(**picture);
    if (auto stored = storage::store_picture(**picture, record); !stored) return core::fail(stored.error());
    return true;
}

core::Result<QImage> scan(QWidget* window, const QString& record) {
    const auto staging = storage::staging_path();
    if (!staging) return scan_failure(kScanUnknownError, staging.error().reason_as<QString>());
    if (const auto sane = scan::sane_library(); !sane)
        return scan_failure(kScanUnknownError, sane.error().reason_as<QString>());
    // The scan lands in a file of this process's own beside the staging file,
    // and becomes the staging file only under the staging lock: a scan can
    // take minutes, and other copies of the program must be able to save
    // meanwhile.
    const QString scan_file = *staging + QStringLiteral(".scan-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(scan_file);
    const auto scanned = scan::acquire_to_file(window, scan_file);
    if (!scanned || !*scanned) {
        QFile::remove(scan_file);
        return scan_failure(kScanTwainError, scanned ? QString() : scanned.error().reason_as<QString>());
    }

    storage::StagingLock lock(*staging);
    if (auto locked = lock.acquire(); !locked) {
        QFile::remove(scan_file);
        return scan_failure(kScanUnknownError, locked.error().reason_as<QString>());
    }
    if (std::rename(QFile::encodeName(scan_file).constData(), QFile::encodeName(*staging).constData()) != 0) {
        const QString why = QString::fromStdString(core::file_reason(staging->toStdString(), errno));
        QFile::remove(scan_file);
        return scan_failure(kScanUnknownError, why);
    }
    // The record's file is replaced in one step by the writer, never deleted
    // first: if the conversion fails, the old picture stays.
    const auto written = storage::write_jpeg_from_bitmap(*staging, record, kScanQuality);
    QFile::remove(*staging);
    lock.release();
    if (!written) return scan_failure(kScanUnknownError, written.error().reason_as<QString>());

    auto picture = sources::load_picture(record);
    if (!picture) return scan_failure(kScanUnknownError, picture.error().reason_as<QString>());
    return picture;
}

}  // namespace record
