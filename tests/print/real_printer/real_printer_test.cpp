// Printing through the private print scheduler of cups_fixture.sh, whose "run" names it
// in CUPS_SERVER and PRINT_CUPS_DIR; its default queue writes each document to out.pdf there.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "print_job.h"
#include "print_test_support.h"

using namespace print_test;

namespace {

constexpr int kDpi = 60;
const QString kOut = qEnvironmentVariable("PRINT_CUPS_DIR") + "/out.pdf";

// The page the default queue wrote, once its size has settled (null after 20 s).
QImage printed_page() {
    for (qint64 i = 0, last = -1, size = 0; i < 100; ++i, last = size, QThread::msleep(200))
        if ((size = QFileInfo(kOut).size()) > 0 && size == last) {
            QTemporaryDir dir;
            const QString png = dir.filePath("page");
            QProcess::execute("pdftoppm", {"-r", QString::number(kDpi), "-singlefile", "-png", kOut, png});
            return QImage(png + ".png").convertToFormat(QImage::Format_RGB32);
        }
    return {};
}

// The queue's page, turned to the picture, holds it in the middle half of the
// printer's printable area, cut to its shape.
TEST(RealDefaultPrinter, PrintsThePageInThePicturesOrientation) {
    // Without it the machine's own print system would answer.
    ASSERT_TRUE(qEnvironmentVariableIsSet("CUPS_SERVER")) << "run it through ctest, which starts one";
    for (const QSizeF picture : {QSizeF(6000, 3000), QSizeF(3000, 3000), QSizeF(3000, 6000)}) {
        const double sw = picture.width(), sh = picture.height();
        SCOPED_TRACE(sw / sh);
        QFile::remove(kOut);
        const auto printed = print::print_on_default_printer(request(sw, sh, 0xFF00A000));
        ASSERT_TRUE(printed) << printed.error().reason();
        QImage page = printed_page();
        ASSERT_FALSE(page.isNull()) << "the queue wrote no page";
        // The queue's sheets are upright: a landscape page comes on them
        // turned a quarter counter-clockwise.
        if (sw >= sh && page.height() > page.width()) page = page.transformed(QTransform().rotate(90));
        QPrinter printer(QPrinterInfo::defaultPrinter());
        printer.setPageSize(QPrinterInfo::defaultPrinter().defaultPageSize());
        printer.setPageOrientation(sw >= sh ? QPageLayout::Landscape : QPageLayout::Portrait);
        const QRectF area = printer.pageLayout().paintRectPoints();
        const double w = qMin(area.width() / 2, area.height() / 2 * sw / sh) * kDpi / 72;
        const QPointF corner = (area.topLeft() + QPointF(area.width(), area.height()) / 4) * kDpi / 72;
        const QRect found = colour_bounds(page, 0xFF00A000, 60);
        EXPECT_LE((found.topLeft() - corner).manhattanLength(), 4) << found.x() << ", " << found.y();
        EXPECT_LE(qAbs(found.width() - w) + qAbs(found.height() - w * sh / sw), 4)
            << found.width() << " x " << found.height();
    }
}

// A queue that takes no jobs: nothing printed, and the print system's reason said.
TEST(RealDefaultPrinter, RefusedJobSaysWhy) {
    const QPrinterInfo refusing = QPrinterInfo::printerInfo("Refusing");
    ASSERT_FALSE(refusing.isNull());
    const auto printed = print::print_on_printer(refusing, request(6000, 3000));
    ASSERT_FALSE(printed);
    const QString why = printed.error().reason_as<QString>();
    EXPECT_TRUE(why.startsWith(print::kPrinterRefusedText + " : ") &&
                why.size() > print::kPrinterRefusedText.size() + 5)
        << why.toStdString();
}

// Run with CUPS_SERVER where no scheduler answers.
TEST(NoPrintSystem, NoDefaultPrinterShowsTheMessage) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("CUPS_SERVER"));
    const auto printed = print::print_on_default_printer(request(6000, 3000));
    ASSERT_FALSE(printed);
    EXPECT_EQ(printed.error().reason(), "Aucune imprimante par défaut");
}

}  // namespace
