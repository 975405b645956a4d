#pragma once
#include <QString>

#include "result.h"

// The JPEG writer's interface as the program's callers have always known it:
// it takes no picture, only the path to write, and reads the picture from
// the staging file (see staging_file.h). Writes it as a JPEG at `quality`
// (1..100, TurboJPEG, 4:2:0 chroma, JFIF) to `path`, replacing any file
// there atomically: at every moment `path` holds the old file or the new
// one, whole, and an existing file keeps its permissions. `flag` is accepted
// for the callers' sake and selects nothing. The staging file is left in
// place. Returns 0 on success, otherwise one of the DIWriteJpgResult values.
//
// Nothing in the program calls it any more: every store goes through
// storage::write_jpeg_from_bitmap below, which names its staging file and
// says why it failed. The caller holds the staging lock
// (storage::StagingLock) from writing the staging file until the write
// returns, so no other copy of the program can put its own picture there in
// between.
int DIWriteJpg(const QString& path, int quality, int flag);

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
core::Result<> write_jpeg_from_bitmap(const QString& staging, const QString& path, int quality);

}  // namespace storage
