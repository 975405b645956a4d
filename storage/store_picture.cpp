#include "store_picture.h"

#include "DIWriteJpg.h"
#include "staging_file.h"

namespace storage {

namespace {
constexpr int kStoreQuality = 80;
}

bool store_picture(const QImage& picture, const QString& record_path, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    const QString staging = staging_path(error);
    if (staging.isEmpty()) return false;
    return store_picture(picture, record_path, staging, error);
}

bool store_picture(const QImage& picture, const QString& record_path, const QString& staging, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    if (picture.isNull()) {
        *error = QStringLiteral("aucune image à enregistrer");
        return false;
    }
    StagingLock lock(staging);
    if (!lock.acquire(error)) return false;
    if (!write_staging_bitmap(staging, picture, error)) return false;
    // Only the file this store has just written may be converted.
    if (!staged_bitmap_complete(staging, picture.width(), picture.height())) {
        *error = QStringLiteral("%1 : fichier intermédiaire absent ou incomplet").arg(staging);
        return false;
    }
    return write_jpeg_from_bitmap(staging, record_path, kStoreQuality, error) == kDIWriteJpgOk;
}

}  // namespace storage
