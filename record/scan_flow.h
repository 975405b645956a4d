#pragma once
#include <QImage>
#include <QString>

#include "store_dialogs.h"

class QWidget;

namespace record {

// The texts the scanner buttons show.
inline const QString kTwainSelectErrorPrefix = QStringLiteral("err_twain_select: ");
inline const QString kScanUnknownError = QStringLiteral("erreur inconnue lors du scan");
inline const QString kScanTwainError = QStringLiteral("erreur TWAIN lors du scan");

// "TWAIN": lets the user choose the scanner. When SANE cannot be used or the
// device list cannot be had, reports kTwainSelectErrorPrefix + the reason.
void twain_select_flow(QWidget* window, const StoreDialogs& dialogs);

struct ScanFlowResult {
  bool changed = false;  // `picture` is the new picture of the record: show it
  QImage picture;        // Format_RGB32, as decoded from the record's new JPEG
};

// "Acquerir scan": scans one page, stores it as the record's JPEG (quality 80,
// replacing the record's file in one step, so a failure leaves the old
// picture) and loads it back from there. Errors are reported through
// dialogs.report_error as kScanUnknownError or kScanTwainError, ": " and the
// reason (nothing after ": " when the user cancelled). The staging file is
// removed afterwards.
ScanFlowResult acquire_flow(QWidget* window, const QString& record_path, const StoreDialogs& dialogs);

// The same through an explicit staging file (tests).
ScanFlowResult acquire_flow(QWidget* window, const QString& record_path, const StoreDialogs& dialogs,
                            const QString& staging);

}  // namespace record
