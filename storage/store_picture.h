#pragma once
#include <QImage>
#include <QString>

namespace storage {

// Stores `picture` as the JPEG (quality 80) of the record's file
// `record_path`, the way every store goes: under the staging lock, the
// picture is written to a fresh staging bitmap, checked, and converted by
// DIWriteJpg, which replaces the record's file atomically. On failure the
// record's file is unchanged and `error` holds a readable reason.
bool store_picture(const QImage& picture, const QString& record_path, QString* error);

// The same through an explicit staging file (tests, other folders).
bool store_picture(const QImage& picture, const QString& record_path, const QString& staging, QString* error);

}  // namespace storage
