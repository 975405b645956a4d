#pragma once
#include <QString>

#include "print_page.h"

class QPagedPaintDevice;
class QPrinterInfo;

namespace print {

// How the print job tells the user that it could not print (the window
// shows these in a message box).
class PrintMessages {
public:
    virtual ~PrintMessages() = default;
    virtual void show_message(const QString& text) = 0;
};

inline const QString kNoDefaultPrinterText = QStringLiteral("Aucune imprimante par défaut");
inline const QString kPrinterRefusedText =
    QStringLiteral("L'imprimante par défaut refuse l'impression");
inline const QString kPrintFailedText = QStringLiteral("L'impression a échoué");
inline const QString kNothingToPrintText = QStringLiteral("Aucune image à imprimer");

enum class PrintOutcome {
    printed,             // the page went to the printer
    nothing_to_print,    // the picture has no size: no job
    no_default_printer,  // no job
    printer_refused,     // the printer or the print system would not take it: no job
    failed,              // the page could not be made: no job
};

// Prints one page on the system's default printer. On failure one message
// is shown and nothing else happens.
PrintOutcome print_on_default_printer(const PrintRequest& request, PrintMessages& messages);

// As print_on_default_printer, with the printer given: a null `printer`
// means there is no default printer.
PrintOutcome print_on_printer(const QPrinterInfo& printer, const PrintRequest& request,
                              PrintMessages& messages);

// The page itself, on any paged device (a printer, a PDF file): sets the
// orientation, paints the page within the device's printable area and ends
// the document.
PrintOutcome print_on(QPagedPaintDevice& device, const PrintRequest& request,
                      PrintMessages& messages);

}  // namespace print
