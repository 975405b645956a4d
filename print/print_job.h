#pragma once
#include <QString>

#include "print_page.h"
#include "result.h"

class QPagedPaintDevice;
class QPrinterInfo;

namespace print {

inline const QString kNoDefaultPrinterText = QStringLiteral("Aucune imprimante par défaut");
inline const QString kPrinterRefusedText = QStringLiteral("L'imprimante par défaut refuse l'impression");
inline const QString kPrintFailedText = QStringLiteral("L'impression a échoué");
inline const QString kNothingToPrintText = QStringLiteral("Aucune image à imprimer");

// Prints one page on the system's default printer. A failure's reason is
// the message for the user; no job is left behind then.
core::Result<> print_on_default_printer(const PrintRequest& request);

// As print_on_default_printer, with the printer given: a null `printer`
// means there is no default printer.
core::Result<> print_on_printer(const QPrinterInfo& printer, const PrintRequest& request);

// The page itself, on any paged device (a printer, a PDF file): sets the
// orientation, paints the page within the device's printable area and ends
// the document.
core::Result<> print_on(QPagedPaintDevice& device, const PrintRequest& request);

}  // namespace print
