#pragma once
#include <QImage>
#include <QString>

#include "result.h"

namespace storage {

// Why a store without a picture does nothing.
inline constexpr const char* kNothingToStore = "aucune image à enregistrer";

// The bitmap file every JPEG store passes through. On POSIX it lives in the
// user's runtime folder (created when missing), so two users never share it;
// on Windows it is "c:\tmp.bmp". Fails when no runtime folder can be found
// or made.
core::Result<QString> staging_path();

// An exclusive lock on one staging file, shared by every copy of the program
// (a lock on "<staging>.lock" beside it). Hold it from writing the staging
// file to the end of the JPEG write, so that two copies saving at the same
// moment never store each other's picture. The lock is released by the
// destructor, and by the system if the process dies.
class StagingLock {
public:
    explicit StagingLock(QString staging);
    ~StagingLock();
    StagingLock(const StagingLock&) = delete;
    StagingLock& operator=(const StagingLock&) = delete;

    // Waits until the lock is ours. Fails when the lock file cannot be made
    // (for example the folder cannot be written).
    core::Result<> acquire();
    bool held() const { return fd_ >= 0; }
    void release();

private:
    QString staging_;
    int fd_ = -1;
};

// Writes `picture` as a Windows bitmap to `staging`: 32 bits a pixel,
// top-down rows, BI_BITFIELDS blue-green-red masks, so the rows on disk are
// the picture's own BGRX rows. Any earlier file of that name is removed
// first, so a failed write can never leave an older picture in its place.
// No partial file is left when it fails.
core::Result<> write_staging_bitmap(const QString& staging, const QImage& picture);

// True when `staging` holds a whole bitmap of `width` x `height` as written
// by write_staging_bitmap (size and header checked, pixels not read).
bool staged_bitmap_complete(const QString& staging, int width, int height);

}  // namespace storage
