#pragma once
// Shared by the printing tests: requests as the window makes them and the
// colour searches with which the tests read printed pages.
#include <QGuiApplication>
#include <QImage>

#include "print_page.h"

namespace print_test {

inline void ensure_app() {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("print_tests"), nullptr};
    static QGuiApplication app(argc, argv);
}

// The handles' picture points in fractions of the picture: B, vertex, A, then the segments' ends.
inline const QPointF kMarks[7] = {{.3, .2}, {.3, .8}, {.8, .8}, {.2, .3}, {.2, .9}, {.45, .3}, {.9, .3}};

// A picture of sw x sh twips (its pixels of another shape) seen at zoom 2, scrolled to a tenth of
// it, in a view of another shape, with the handles where the window shows the marks.
inline print::PrintRequest request(double sw, double sh, QRgb colour = 0xFF808080) {
    ensure_app();
    print::PrintRequest r;
    r.image = QImage(5, 4, QImage::Format_RGB32);
    r.image.fill(colour);
    r.view = {sw, sh, 120, 960, 8490, 4117, 2.0, qRound(sw / 10), qRound(sh / 10)};
    for (int i = 0; i < 7; ++i)
        r.handles[i] =
            QPoint(qRound(120 + (kMarks[i].x() - 0.1) * 8490 * 2), qRound(960 + (kMarks[i].y() - 0.1) * 4117 * 2));
    r.image_filename = "123.jpg";
    return r;
}

// Bounding box of the pixels within `tolerance` of `colour` (empty when none).
inline QRect colour_bounds(const QImage& page, QRgb colour, int tolerance = 0) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb p = page.pixel(x, y);
            const int r = qAbs(qRed(p) - qRed(colour)), g = qAbs(qGreen(p) - qGreen(colour));
            if (qMax(qMax(r, g), qAbs(qBlue(p) - qBlue(colour))) <= tolerance) box |= QRect(x, y, 1, 1);
        }
    return box;
}

}  // namespace print_test
