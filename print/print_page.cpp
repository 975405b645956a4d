#include "print_page.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace print {

namespace {

void draw_segment(QPainter& painter, const PrintRequest& request, const QRect& picture, int from, int to) {
    painter.drawLine(handle_on_page(request.handles[from], request.view, picture),
                     handle_on_page(request.handles[to], request.view, picture));
}

}  // namespace

QRect draw_print_page(QPainter& painter, QSizeF page_size, const PrintRequest& request) {
    const QRect picture =
        printed_picture_rect(static_cast<float>(page_size.width()), static_cast<float>(page_size.height()),
                             request.view.picture_width, request.view.picture_height);
    if (picture.isEmpty()) return picture;

    painter.save();
    // Plain copying of the pen and the printer's own line width: a pen of
    // one drawing unit, as the page's default pen is.
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);

    painter.drawImage(picture, request.image);

    // Without a usable view there is no telling which picture points the
    // handles mark, so no segment is printed rather than one in a wrong place.
    if (request.view.maps_points()) {
        if (request.angle_tool) {
            painter.setPen(QPen(QColor(kPrintAngleColour), 1));
            draw_segment(painter, request, picture, 0, 1);
            draw_segment(painter, request, picture, 1, 2);
        }
        if (request.proportion_tool) {
            painter.setPen(QPen(QColor(kPrintReferenceColour), 1));
            draw_segment(painter, request, picture, 3, 4);
            painter.setPen(QPen(QColor(kPrintMeasuredColour), 1));
            draw_segment(painter, request, picture, 5, 6);
        }
    }

    QFont font(QStringLiteral("arial"));
    font.setPointSizeF(12);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(kPrintNameColour));
    // The name's top-left corner sits on the picture's: its baseline is one
    // ascent lower.
    const QFontMetricsF metrics(font, painter.device());
    painter.drawText(QPointF(picture.x(), picture.y() + metrics.ascent()), request.image_filename);

    painter.restore();
    return picture;
}

}  // namespace print
