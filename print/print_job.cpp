#include "print_job.h"

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include "print_system.h"

namespace print {

core::Result<> print_on(QPagedPaintDevice& device, const PrintRequest& request) {
    if (!(request.view.picture_width > 0) || !(request.view.picture_height > 0)) return core::fail(kNothingToPrintText);
    device.setPageOrientation(print_orientation(request.view.picture_width, request.view.picture_height));
    if (auto* printer = dynamic_cast<QPrinter*>(&device)) {
        // The painter's origin is then the printable area's corner.
        printer->setFullPage(false);
        printer->setCopyCount(1);
        printer->setDocName(request.image_filename);
    }

    QPainter painter;
    if (!painter.begin(&device)) return core::fail(kPrinterRefusedText);
    // The page is the printable area: nothing is placed where the printer
    // cannot print.
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    draw_print_page(painter, area.size(), request);
    if (!painter.end()) return core::fail(kPrintFailedText);
    return {};
}

core::Result<> print_on_printer(const QPrinterInfo& printer_info, const PrintRequest& request) {
    if (printer_info.isNull()) return core::fail(kNoDefaultPrinterText);
    if (!(request.view.picture_width > 0) || !(request.view.picture_height > 0)) return core::fail(kNothingToPrintText);
    // The printer gives its paper, printable area and resolution.
    QPrinter printer(printer_info, QPrinter::HighResolution);
    // Qt starts every printer on A4; the page is laid out on the paper the
    // printer actually holds.
    if (printer_info.defaultPageSize().isValid()) printer.setPageSize(printer_info.defaultPageSize());
    if (!printer.isValid()) return core::fail(kPrinterRefusedText);

    // The page is made as a document first and then handed to the print
    // system ourselves: Qt's own hand-over ignores the print system's answer,
    // so a queue that refuses the job would look like a printed page.
    QTemporaryFile document(QDir(QDir::tempPath()).filePath(QStringLiteral("selection_image-XXXXXX.pdf")));
    if (!document.open()) return core::fail(kPrintFailedText);
    {
        QPdfWriter writer(&document);
        writer.setResolution(printer.resolution());
        writer.setPageLayout(printer.pageLayout());
        writer.setTitle(request.image_filename);
        writer.setCreator(QStringLiteral("selection_image"));
        if (auto page = print_on(writer, request); !page) return page;
    }
    document.close();

    const auto job = submit_to_print_system(printer_info.printerName(), document.fileName(), request.image_filename);
    // The print system's own reason tells the user what to fix.
    if (!job) {
        const QString why = job.error().reason_as<QString>();
        return core::fail(why.isEmpty() ? kPrinterRefusedText : kPrinterRefusedText + QStringLiteral(" : ") + why);
    }
    return {};
}

core::Result<> print_on_default_printer(const PrintRequest& request) {
    return print_on_printer(QPrinterInfo::defaultPrinter(), request);
}

}  // namespace print
