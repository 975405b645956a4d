#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include "print_job.h"
#include "print_test_support.h"

using namespace print_test;

namespace {

constexpr QRgb kGreen = 0xFF00A000;

PrintRequest green_request(double sw, double sh) {
    PrintRequest r;
    r.image = solid_picture(qRound(sw / 15), qRound(sh / 15), kGreen);
    r.view.picture_width = sw, r.view.picture_height = sh;
    r.view.view_left = 120, r.view.view_top = 960, r.view.view_width = 8490, r.view.view_height = 4117;
    r.image_filename = QStringLiteral("123.jpg");
    return r;
}

struct PdfCase {
    const char* name;
    double sw, sh;
    bool landscape;
    bool own_margins;  // a PDF writer with uneven margins, instead of a printer
};

class PrintIntoPdf : public ::testing::TestWithParam<PdfCase> {};

// The whole job on a printer that writes a file: orientation, page and the
// picture's place on it, read back from the PDF.
TEST_P(PrintIntoPdf, OnePageInTheOrientationOfThePicture) {
    const auto& c = GetParam();
    ensure_app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    QPdfWriter writer(file);
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                     QMarginsF(10, 20, 30, 40), QPageLayout::Millimeter));
    QPagedPaintDevice& device = c.own_margins ? static_cast<QPagedPaintDevice&>(writer) : printer;
    RecordedMessages messages;

    ASSERT_EQ(print_on(device, green_request(c.sw, c.sh), messages), PrintOutcome::printed);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(device.pageLayout().orientation(),
              c.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);

    constexpr int dpi = 50;
    const QImage page = render_pdf(file, dpi, dir.path());
    ASSERT_FALSE(page.isNull()) << "pdftoppm could not render the page";
    EXPECT_EQ(page.width() > page.height(), c.landscape) << page.width() << " x " << page.height();

    // The printable area in points; the picture takes the middle half of it,
    // shortened to the picture's proportions against its top-left corner.
    const QRectF area = device.pageLayout().paintRectPoints();
    const double w = std::min(area.width() / 2, area.height() / 2 * c.sw / c.sh), h = w * c.sh / c.sw;
    const double scale = dpi / 72.0;
    const QRectF expected((area.x() + area.width() / 4) * scale, (area.y() + area.height() / 4) * scale,
                          w * scale, h * scale);
    const QRect found = colour_bounds(page, kGreen, 50);
    ASSERT_FALSE(found.isEmpty());
    EXPECT_NEAR(found.left(), expected.left(), 2);
    EXPECT_NEAR(found.top(), expected.top(), 2);
    EXPECT_NEAR(found.right() + 1, expected.right(), 2);
    EXPECT_NEAR(found.bottom() + 1, expected.bottom(), 2);
    // The name lies over the picture's top-left corner.
    EXPECT_TRUE(colour_near(page, expected.topLeft() + QPointF(6, 4), kPrintNameColour, 6, 60));
}

INSTANTIATE_TEST_SUITE_P(Pictures, PrintIntoPdf,
                         ::testing::Values(PdfCase{"wide", 6000, 3000, true, false},
                                           PdfCase{"square", 3000, 3000, true, false},
                                           PdfCase{"tall", 3000, 6000, false, false},
                                           PdfCase{"very_tall", 1500, 9000, false, false},
                                           PdfCase{"wide_uneven_margins", 6000, 3000, true, true},
                                           PdfCase{"tall_uneven_margins", 3000, 6000, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each way the job cannot go ahead shows one French message and leaves no
// job behind.
struct RefusedCase {
    const char* name;
    double sw;
    const char* folder;  // a missing folder makes the printer refuse to open
    PrintOutcome outcome;
    QString message;
};

class PrintRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(PrintRefused, ShowsItsMessageAndWritesNothing) {
    const auto& c = GetParam();
    ensure_app();
    QTemporaryDir dir;
    const QString file = dir.filePath(QString::fromUtf8(c.folder) + QStringLiteral("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    RecordedMessages messages;
    EXPECT_EQ(print_on(printer, green_request(c.sw, 3000), messages), c.outcome);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], c.message);
    EXPECT_FALSE(QFile::exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, PrintRefused,
    ::testing::Values(RefusedCase{"printer_cannot_open", 6000, "missing-folder/", PrintOutcome::printer_refused,
                                  kPrinterRefusedText},
                      RefusedCase{"picture_without_size", 0, "", PrintOutcome::nothing_to_print,
                                  kNothingToPrintText}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrintRefusedNoPrinter, NoDefaultPrinterShowsTheMessageOnly) {
    ensure_app();
    RecordedMessages messages;
    EXPECT_EQ(print_on_printer(QPrinterInfo(), green_request(6000, 3000), messages),
              PrintOutcome::no_default_printer);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], QStringLiteral("Aucune imprimante par défaut"));
}

}  // namespace
