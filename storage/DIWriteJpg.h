#pragma once
#include <QString>

// Writes the picture held in the staging file (see staging_file.h) as a JPEG
// at `quality` (1..100, TurboJPEG, 4:2:0 chroma, JFIF) to `path`, replacing
// any file there atomically: at every moment `path` holds the old file or
// the new one, whole, and an existing file keeps its permissions. `flag` is
// accepted for the callers' sake and selects nothing. The staging file is
// left in place.
//
// The caller holds the staging lock (storage::StagingLock) from writing the
// staging file until this returns, so no other copy of the program can put
// its own picture there in between.
//
// Returns 0 on success, otherwise one of the DIWriteJpgResult values; the
// overload with `error` also gives a readable reason.
int DIWriteJpg(const QString& path, int quality, int flag);
int DIWriteJpg(const QString& path, int quality, int flag, QString* error);

enum DIWriteJpgResult : int {
    kDIWriteJpgOk = 0,
    kDIWriteJpgNoStaging = 1,     // staging file missing or unreadable
    kDIWriteJpgBadStaging = 2,    // not a whole Windows bitmap
    kDIWriteJpgBadArgument = 3,   // quality out of range, empty path
    kDIWriteJpgEncodeFailed = 4,  // the encoder refused the picture
    kDIWriteJpgWriteFailed = 5,   // the JPEG file could not be written
};

namespace storage {

// The same from an explicit staging file.
int write_jpeg_from_bitmap(const QString& staging, const QString& path, int quality, QString* error);

}  // namespace storage
