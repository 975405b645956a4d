#pragma once
#include <QImage>
#include <QPoint>
#include <QSizeF>
#include <QString>
#include <array>

#include "measurement.h"
#include "print_layout.h"

class QPainter;

namespace print {

// Everything one printed page is made of, copied from the window when
// "Imprimer" is clicked.
struct PrintRequest {
    QImage image;                  // the adjusted picture (PBox's image)
    ScreenView view;               // picture size, view rectangle, zoom and offsets
    bool angle_tool = false;       // test_angle ticked
    bool proportion_tool = false;  // test_long ticked
    view::Handles handles{};       // window points, twips
    QString image_filename;
};

// Draws the page on `painter`, whose drawing area is page_size from (0, 0):
// the picture in its rectangle, the ticked tools' segments over the picture
// points they mark on screen, and the file name over the picture's corner.
// Returns the picture's rectangle on the page.
QRect draw_print_page(QPainter& painter, QSizeF page_size, const PrintRequest& request);

// The pen colours of the printed segments and name.
inline constexpr QRgb kPrintAngleColour = 0xFFFF0000;
inline constexpr QRgb kPrintReferenceColour = 0xFFFFFF00;
inline constexpr QRgb kPrintMeasuredColour = 0xFF00FFC8;
inline constexpr QRgb kPrintNameColour = 0xFF0000FF;

}  // namespace print
