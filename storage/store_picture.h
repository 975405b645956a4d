#pragma once
#include <QImage>
#include <QString>

#include "result.h"

namespace storage {

// Stores `picture` as the JPEG (quality 80) of the record's file
// `record_path`, the way every store goes: under the staging lock, the
// picture is written to a fresh staging bitmap, checked, and converted by
// the JPEG writer, which replaces the record's file atomically. When it
// fails the record's file is unchanged.
core::Result<> store_picture(const QImage& picture, const QString& record_path);

// The same through an explicit staging file (tests, other folders).
core::Result<> store_picture(const QImage& picture, const QString& record_path, const QString& staging);

}  // namespace storage
