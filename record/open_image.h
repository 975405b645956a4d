#pragma once
#include <QImage>
#include <QString>
#include <QStringList>

namespace record {

// True when the two paths name the same file on disk, whatever their
// spelling: identical text, or the same device and inode once symbolic
// links, "..", "." and letter case (on file systems that ignore it) are
// resolved. A path that does not exist is the same only as its own text.
bool same_file(const QString& a, const QString& b);

// What bringing a chosen file into a record did.
struct OpenResult {
    // The picture to show: the chosen picture once it is the record's, the
    // record's picture when the copy failed (or when the record's own file
    // was chosen), or null when the record's file cannot be decoded.
    QImage picture;
    // Readable reasons, one per failed step, in the order they happened.
    QStringList errors;
    // False when the chosen file could not be decoded: then the record, the
    // picture holder and the filter keep what they had.
    bool accepted = true;
};

// Makes `chosen` the record's picture file. The chosen file is decoded
// first, so a file that is not a picture never replaces the record; it is
// then copied beside the record's file and renamed over it, so a failed copy
// leaves the record's file as it was. The record's own file, however
// spelled, is neither deleted nor copied, only read again.
OpenResult open_into_record(const QString& chosen, const QString& record);

}  // namespace record
