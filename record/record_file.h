#pragma once
#include <QImage>
#include <QMimeData>
#include <QString>
#include <functional>

#include "result.h"

class QWidget;

namespace record {

// Stores the adjusted picture (without overlays) as the record's JPEG,
// replacing the record's file whole or not at all.
core::Result<> save(const QImage& picture, const QString& record);

// Deletes the record's file; a file that is not there is no failure.
core::Result<> remove(const QString& record);

// The clipboard's picture made the record's: handed to `show` first (the
// user sees it even when it cannot be stored), then stored as the record's
// JPEG. False when the clipboard holds no picture; a failure when its
// picture cannot be read (nothing is shown then) or cannot be stored.
core::Result<bool> paste(const QMimeData* clipboard, const QString& record,
                         const std::function<void(const QImage&)>& show);

// One page from the scanner made the record's JPEG (quality 80, replacing
// the record's file in one step, so a failure leaves the old picture) and
// loaded back from there. The reason of a failure is the whole message:
// "erreur inconnue lors du scan" or "erreur TWAIN lors du scan" (the scanner
// stopped, the user included), ": " and why.
core::Result<QImage> scan(QWidget* window, const QString& record);

}  // namespace record
