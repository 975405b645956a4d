#include "store_picture.h"

#include "DIWriteJpg.h"
#include "staging_file.h"

namespace storage {

namespace {
constexpr int kStoreQuality = 80;
}

core::Result<> store_picture(const QImage& picture, const QString& record_path) {
    const auto staging = staging_path();
    if (!staging) return core::fail(staging.error());
    return store_picture(picture, record_path, *staging);
}

core::Result<> store_picture(const QImage& picture, const QString& record_path, const QString& staging) {
    if (picture.isNull()) return core::fail(kNothingToStore);
    StagingLock lock(staging);
    if (auto locked = lock.acquire(); !locked) return locked;
    if (auto staged = write_staging_bitmap(staging, picture); !staged) return staged;
    // Only the file this store has just written may be converted.
    if (!staged_bitmap_complete(staging, picture.width(), picture.height()))
        return core::fail(QStringLiteral("%1 : fichier intermédiaire absent ou incomplet").arg(staging));
    return write_jpeg_from_bitmap(staging, record_path, kStoreQuality);
}

}  // namespace storage
