#include "print_layout.h"

#include "rounding.h"

namespace print {

using core::to_integer;

QPageLayout::Orientation print_orientation(double picture_width, double picture_height) {
    return picture_height > picture_width ? QPageLayout::Portrait : QPageLayout::Landscape;
}

QRect printed_picture_rect(float page_width, float page_height, double picture_width, double picture_height) {
    if (!(picture_width > 0) || !(picture_height > 0)) return {};
    const int x0 = to_integer(page_width / 4.0);
    const int y0 = to_integer(page_height / 4.0);
    int w = to_integer(page_width / 2.0);
    int h = to_integer(page_height / 2.0);
    const double r = picture_height / picture_width;
    if (w * r <= h)
        h = to_integer(w * r);
    else
        w = to_integer(h / r);
    return QRect(x0, y0, w, h);
}

bool ScreenView::maps_points() const {
    return picture_width > 0 && picture_height > 0 && view_width > 0 && view_height > 0 && zoom_factor > 0;
}

QPointF handle_on_page(QPoint handle, const ScreenView& view, const QRect& picture_on_page) {
    // Back from the window to the picture: the view shows picture / zoom
    // twips of picture across view_width twips of window.
    const double picture_x =
        view.offset_x + (handle.x() - view.view_left) * (view.picture_width / view.zoom_factor) / view.view_width;
    const double picture_y =
        view.offset_y + (handle.y() - view.view_top) * (view.picture_height / view.zoom_factor) / view.view_height;
    // Then onto the printed picture, which shows the whole of it.
    return QPointF(picture_on_page.x() + picture_x * picture_on_page.width() / view.picture_width,
                   picture_on_page.y() + picture_y * picture_on_page.height() / view.picture_height);
}

}  // namespace print
