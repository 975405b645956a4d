#include "print_job.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

PrintOutcome print_on(QPrinter& printer, const PrintRequest& request, PrintMessages& messages) {
    if (!(request.view.picture_width > 0) || !(request.view.picture_height > 0)) {
        messages.show_message(kNothingToPrintText);
        return PrintOutcome::nothing_to_print;
    }
    printer.setPageOrientation(
        print_orientation(request.view.picture_width, request.view.picture_height));
    // The painter's origin is then the printable area's corner, and the
    // page is that area: nothing is placed where the printer cannot print.
    printer.setFullPage(false);
    printer.setCopyCount(1);
    printer.setDocName(request.image_filename);

    QPainter painter;
    if (!painter.begin(&printer)) {
        messages.show_message(kPrinterRefusedText);
        return PrintOutcome::printer_refused;
    }
    const QRectF area = printer.pageRect(QPrinter::DevicePixel);
    draw_print_page(painter, area.size(), request);
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        messages.show_message(kPrintFailedText);
        return PrintOutcome::failed;
    }
    return PrintOutcome::printed;
}

PrintOutcome print_on_printer(const QPrinterInfo& printer_info, const PrintRequest& request,
                              PrintMessages& messages) {
    if (printer_info.isNull()) {
        messages.show_message(kNoDefaultPrinterText);
        return PrintOutcome::no_default_printer;
    }
    QPrinter printer(printer_info, QPrinter::HighResolution);
    // Without a printer of its own a QPrinter quietly writes PDF; only the
    // named device is acceptable here.
    if (printer.outputFormat() != QPrinter::NativeFormat || !printer.isValid()) {
        messages.show_message(kPrinterRefusedText);
        return PrintOutcome::printer_refused;
    }
    return print_on(printer, request, messages);
}

PrintOutcome print_on_default_printer(const PrintRequest& request, PrintMessages& messages) {
    return print_on_printer(QPrinterInfo::defaultPrinter(), request, messages);
}
