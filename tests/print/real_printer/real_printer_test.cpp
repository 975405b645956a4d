// Printing through the real print system: a private scheduler with a PDF
// queue as its default printer (see cups_fixture.sh), reached through
// CUPS_SERVER. The PDF queue writes each job into ~/PDF of the user.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include "print_job.h"
#include "print_test_support.h"

using namespace print_test;

namespace {

constexpr QRgb kGreen = 0xFF00A000;

QString pdf_folder() {
    const passwd* user = getpwuid(getuid());
    const QString home = user ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
    return QDir(home).filePath(QStringLiteral("PDF"));
}

QSet<QString> pdfs_in(const QString& folder) {
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    return QSet<QString>(names.begin(), names.end());
}

// Why the private scheduler is not there, or an empty string.
QString scheduler_missing() {
    const QString dir = qEnvironmentVariable("PRINT_CUPS_DIR");
    if (dir.isEmpty()) return QStringLiteral("PRINT_CUPS_DIR is not set (run through ctest)");
    QFile reason(QDir(dir).filePath(QStringLiteral("unavailable")));
    if (reason.open(QIODevice::ReadOnly))
        return QStringLiteral("no private print scheduler: ") + QString::fromUtf8(reason.readAll()).trimmed();
    const QString socket = qEnvironmentVariable("CUPS_SERVER");
    if (!QFileInfo(socket).exists())
        return QStringLiteral("the private scheduler's socket %1 is missing").arg(socket);
    return {};
}

// A new PDF in `folder` that was not among `before` and whose name holds
// `stem` (the queue names files after the job's title; other test runs may
// print at the same time), once the queue has finished writing it (its size
// stops changing), or an empty string.
QString wait_for_new_pdf(const QString& folder, const QSet<QString>& before, int timeout_ms,
                         const QString& stem = QString()) {
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeout_ms;
    qint64 last_size = -1;
    QString candidate;
    while (QDateTime::currentMSecsSinceEpoch() < deadline) {
        QSet<QString> now = pdfs_in(folder) - before;
        now.removeIf([&](const QString& name) { return !name.contains(stem); });
        if (!now.isEmpty()) {
            candidate = QDir(folder).filePath(*now.begin());
            const qint64 size = QFileInfo(candidate).size();
            if (size > 0 && size == last_size) return candidate;
            last_size = size;
        }
        QThread::msleep(200);
    }
    return {};
}

PrintRequest request_with_both_tools() {
    PrintRequest r;
    r.image = solid_picture(400, 200, kGreen);
    r.view.picture_width = 6000;
    r.view.picture_height = 3000;
    r.view.view_left = 120;
    r.view.view_top = 960;
    r.view.view_width = 8490;
    r.view.view_height = 4117;
    r.view.zoom_factor = 1.4;
    r.view.offset_x = 1200;
    r.view.offset_y = 600;
    r.angle_tool = r.proportion_tool = true;
    const QPointF points[7] = {{2000, 800},  {2000, 2200}, {4500, 2200},  // B, vertex, A
                               {1500, 900},  {1500, 2600},               // reference
                               {2600, 900},  {5200, 900}};               // measured
    for (int i = 0; i < 7; ++i) r.handles[i] = handle_showing(points[i], r.view);
    r.image_filename = QStringLiteral("impression_%1.jpg").arg(getpid());
    return r;
}

constexpr int dpi = 60;

// Prints `request` on the default printer and returns the sheet that the
// PDF queue made of it, rendered at `dpi` (null after a reported failure).
QImage print_through_default_printer(const PrintRequest& request) {
    const QString folder = pdf_folder();
    const QSet<QString> before = pdfs_in(folder);
    RecordedMessages messages;
    if (print_on_default_printer(request, messages) != PrintOutcome::printed) {
        ADD_FAILURE() << "not printed: "
                      << (messages.texts.empty() ? std::string() : messages.texts[0].toStdString());
        return {};
    }
    EXPECT_TRUE(messages.texts.empty());
    const QString stem = QFileInfo(request.image_filename).completeBaseName();
    const QString pdf = wait_for_new_pdf(folder, before, 20000, stem);
    if (pdf.isEmpty()) {
        ADD_FAILURE() << "no PDF appeared in " << folder.toStdString();
        return {};
    }
    QTemporaryDir work;
    const QImage sheet = render_pdf(pdf, dpi, work.path());
    QFile::remove(pdf);
    return sheet;
}

TEST(RealDefaultPrinter, PrintsOnePageThatComesOutAsPdf) {
    const QString missing = scheduler_missing();
    if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
    ensure_app();

    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    ASSERT_FALSE(printer.isNull()) << "the private scheduler reports no default printer";
    EXPECT_EQ(printer.printerName(), QStringLiteral("PDF"));

    const QImage sheet = print_through_default_printer(request_with_both_tools());
    ASSERT_FALSE(sheet.isNull());

    // Landscape for the wide picture: the queue's sheets are upright and a
    // landscape page comes on them turned a quarter counter-clockwise, so
    // the picture's long side runs along the sheet's long side.
    const QRect on_sheet = colour_bounds(sheet, kGreen, 60);
    ASSERT_FALSE(on_sheet.isEmpty()) << "the picture is not on the page";
    const bool upright_sheet = sheet.height() > sheet.width();
    if (upright_sheet)
        EXPECT_GT(on_sheet.height(), on_sheet.width());
    else
        EXPECT_GT(on_sheet.width(), on_sheet.height());
    const QImage page = upright_sheet ? sheet.transformed(QTransform().rotate(90)) : sheet;

    // The picture: the middle half of the printable area, full width, half
    // as high, against the top-left corner of that box.
    QPrinter reference(printer);
    reference.setPageOrientation(QPageLayout::Landscape);
    const QRectF area = reference.pageLayout().paintRectPoints();
    const double s = dpi / 72.0;
    const QRectF expected((area.x() + area.width() / 4) * s, (area.y() + area.height() / 4) * s,
                          area.width() / 2 * s, area.width() / 4 * s);
    const QRect found = colour_bounds(page, kGreen, 60);
    ASSERT_FALSE(found.isEmpty()) << "the picture is not on the page";
    EXPECT_NEAR(found.left(), expected.left(), 3);
    EXPECT_NEAR(found.top(), expected.top(), 3);
    EXPECT_NEAR(found.right() + 1, expected.right(), 3);
    EXPECT_NEAR(found.bottom() + 1, expected.bottom(), 3);

    // Each segment in its colour over the picture points it marks on screen.
    auto at = [&](QPointF p) {
        return QPointF(expected.left() + p.x() * expected.width() / 6000,
                       expected.top() + p.y() * expected.height() / 3000);
    };
    struct Mark {
        const char* what;
        QPointF from, to;
        QRgb colour;
    };
    const Mark marks[] = {{"ray to B", {2000, 800}, {2000, 2200}, kPrintAngleColour},
                          {"ray to A", {2000, 2200}, {4500, 2200}, kPrintAngleColour},
                          {"reference", {1500, 900}, {1500, 2600}, kPrintReferenceColour},
                          {"measured", {2600, 900}, {5200, 900}, kPrintMeasuredColour}};
    for (const Mark& m : marks)
        for (double t : {0.25, 0.5, 0.75})
            EXPECT_TRUE(colour_near(page, at(m.from + (m.to - m.from) * t), m.colour, 3, 70))
                << m.what << " at t=" << t;
    // The file name in blue over the picture's corner.
    EXPECT_TRUE(colour_near(page, expected.topLeft() + QPointF(6, 5), kPrintNameColour, 6, 80));
}

TEST(RealDefaultPrinter, TallPictureComesOutUpright) {
    const QString missing = scheduler_missing();
    if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
    ensure_app();
    PrintRequest request;
    request.image = solid_picture(150, 300, kGreen);
    request.view.picture_width = 3000;
    request.view.picture_height = 6000;
    request.view.view_left = 120;
    request.view.view_top = 960;
    request.view.view_width = 3000;
    request.view.view_height = 6000;
    request.image_filename = QStringLiteral("debout_%1.jpg").arg(getpid());

    const QImage sheet = print_through_default_printer(request);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_GT(sheet.height(), sheet.width());

    // Twice as high as wide: the box's full height, half of it wide.
    QPrinter reference(QPrinterInfo::defaultPrinter());
    reference.setPageOrientation(QPageLayout::Portrait);
    const QRectF area = reference.pageLayout().paintRectPoints();
    const double s = dpi / 72.0;
    const QRectF expected((area.x() + area.width() / 4) * s, (area.y() + area.height() / 4) * s,
                          area.height() / 4 * s, area.height() / 2 * s);
    const QRect found = colour_bounds(sheet, kGreen, 60);
    ASSERT_FALSE(found.isEmpty()) << "the picture is not on the page";
    EXPECT_NEAR(found.left(), expected.left(), 3);
    EXPECT_NEAR(found.top(), expected.top(), 3);
    EXPECT_NEAR(found.right() + 1, expected.right(), 3);
    EXPECT_NEAR(found.bottom() + 1, expected.bottom(), 3);
}

// A queue of the same scheduler that turns every job away.
TEST(RealDefaultPrinter, RefusedJobShowsAMessageAndPrintsNothing) {
    const QString missing = scheduler_missing();
    if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
    ensure_app();
    const QPrinterInfo refusing = QPrinterInfo::printerInfo(QStringLiteral("Refusing"));
    ASSERT_FALSE(refusing.isNull()) << "the fixture's refusing queue is missing";

    const QString folder = pdf_folder();
    const QSet<QString> before = pdfs_in(folder);
    RecordedMessages messages;
    EXPECT_EQ(print_on_printer(refusing, request_with_both_tools(), messages),
              PrintOutcome::printer_refused);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], kPrinterRefusedText);
    EXPECT_TRUE(wait_for_new_pdf(folder, before, 2000, QStringLiteral("impression_%1").arg(getpid())).isEmpty());
}

// Run with CUPS_SERVER pointing where no scheduler answers.
TEST(NoPrintSystem, NoDefaultPrinterMeansAMessageAndNoJob) {
    ensure_app();
    ASSERT_TRUE(QPrinterInfo::defaultPrinter().isNull())
        << "a default printer is reachable; this test needs none";
    const QString folder = pdf_folder();
    const QSet<QString> before = pdfs_in(folder);
    RecordedMessages messages;
    EXPECT_EQ(print_on_default_printer(request_with_both_tools(), messages),
              PrintOutcome::no_default_printer);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], QStringLiteral("Aucune imprimante par défaut"));
    EXPECT_TRUE(wait_for_new_pdf(folder, before, 1500, QStringLiteral("impression_%1").arg(getpid())).isEmpty());
}

}  // namespace
