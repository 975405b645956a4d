#pragma once
// Helpers shared by the printing tests: a Qt application for fonts and
// printers, a message recorder, and colour searches on rendered pages.
#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <vector>

#include "print_job.h"

namespace print_test {

inline void ensure_app() {
    if (QCoreApplication::instance()) return;
    // No display is needed or wanted, also when run by hand.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "print_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

class RecordedMessages : public PrintMessages {
public:
    void show_message(const QString& text) override { texts.push_back(text); }
    std::vector<QString> texts;
};

inline bool close_to(QRgb pixel, QRgb colour, int tolerance) {
    return std::abs(qRed(pixel) - qRed(colour)) <= tolerance &&
           std::abs(qGreen(pixel) - qGreen(colour)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(colour)) <= tolerance;
}

// Whether a pixel of `colour` lies within `radius` pixels of (x, y).
inline bool colour_near(const QImage& page, QPointF at, QRgb colour, int radius,
                        int tolerance = 40) {
    const int cx = qRound(at.x());
    const int cy = qRound(at.y());
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x)
            if (page.valid(x, y) && close_to(page.pixel(x, y), colour, tolerance)) return true;
    return false;
}

// Bounding box of the pixels close to `colour` (empty when there is none).
inline QRect colour_bounds(const QImage& page, QRgb colour, int tolerance = 40) {
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (close_to(page.pixel(x, y), colour, tolerance)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The first page of a PDF as a picture, through pdftoppm at `dpi`. Vector
// anti-aliasing is off so that thin lines keep their colour.
inline QImage render_pdf(const QString& pdf, int dpi, const QString& work_dir) {
    const QString prefix = QDir(work_dir).filePath(QStringLiteral("page"));
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"),
                   QStringLiteral("1"), QStringLiteral("-singlefile"), QStringLiteral("-png"),
                   QStringLiteral("-aaVector"), QStringLiteral("no"), pdf, prefix});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
    return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// The window point (a whole twip) at which the view shows picture point p.
inline QPoint handle_showing(QPointF p, const ScreenView& v) {
    return QPoint(
        qRound(v.view_left + (p.x() - v.offset_x) * v.view_width * v.zoom_factor / v.picture_width),
        qRound(v.view_top + (p.y() - v.offset_y) * v.view_height * v.zoom_factor / v.picture_height));
}

// A picture of one solid colour.
inline QImage solid_picture(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace print_test
