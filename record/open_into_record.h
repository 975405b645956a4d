#pragma once
#include <QImage>
#include <QString>
#include <vector>

#include "result.h"

namespace record {

// True when the two paths name the same file on disk, whatever their
// spelling: identical text, or the same device and inode once symbolic
// links, "..", "." and letter case (on file systems that ignore it) are
// resolved. A path that does not exist is the same only as its own text.
bool same_file(const QString& a, const QString& b);

// A chosen file brought into the record.
struct Opened {
    // The picture to show: the chosen picture once it is the record's, the
    // record's picture when the copy failed (or when the record's own file
    // was chosen), or null when the record's file cannot be decoded.
    QImage picture;
    // What went wrong on the way, in the order it happened.
    std::vector<core::Failure> failures;
};

// Makes `chosen` the record's picture file. The chosen file is decoded
// first, so a file that is not a picture never replaces the record: that is
// a failure, and the record, like the picture shown, stays as it was. A JPEG
// or Windows bitmap is then copied beside the record's file and renamed over
// it; any other picture is stored there as a JPEG (quality 80) the same way.
// Either way a failed store leaves the record's file as it was. The record's own file, however
// spelled, is neither deleted nor copied, only read again.
core::Result<Opened> open_into_record(const QString& chosen, const QString& record);

}  // namespace record
