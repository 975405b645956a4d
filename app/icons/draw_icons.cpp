// Draws the four 20 x 15 slider icons of the main window as 24-bit PNGs,
// and the program's own icon (for the desktop's menus and file managers) as
// 48 x 48 and 256 x 256 PNGs with transparency.
// Run once from app/icons/ (it is not part of the build):
//   g++ -std=c++20 -fPIC draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_icons && /tmp/draw_icons
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage canvas() {
    QImage img(20, 15, QImage::Format_RGB888);
    img.fill(QColor(192, 192, 255));
    return img;
}

// Contrast: a disc, half dark and half yellow.
QImage contrast() {
    QImage img = canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(3.5, 1.0, 13.0, 13.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawPie(disc, 90 * 16, 180 * 16);
    p.setBrush(QColor(255, 220, 0));
    p.drawPie(disc, -90 * 16, 180 * 16);
    p.setPen(QPen(QColor(20, 20, 20), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(disc);
    return img;
}

// Light: a yellow sun with rays.
QImage light() {
    QImage img = canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(10.0, 7.5);
    p.setPen(QPen(QColor(230, 170, 0), 1.2));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(45.0 * i);
        p.drawLine(QPointF(0, 4.5), QPointF(0, 7.0));
        p.restore();
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 225, 0));
    p.drawEllipse(c, 3.6, 3.6);
    return img;
}

// Gamma: the dark outline of a histogram.
QImage gamma() {
    QImage img = canvas();
    QPainter p(&img);
    const int heights[] = {2, 4, 7, 11, 12, 9, 10, 6, 4, 3, 5, 3, 2, 1};
    QPainterPath path(QPointF(3, 13.5));
    for (int i = 0; i < 14; ++i) {
        path.lineTo(3 + i, 13.5 - heights[i]);
        path.lineTo(4 + i, 13.5 - heights[i]);
    }
    path.lineTo(17, 13.5);
    p.setPen(QPen(QColor(30, 30, 60), 1.0));
    p.setBrush(QColor(120, 120, 150));
    p.drawPath(path);
    return img;
}

// Colour: a grey ramp above a blue to red to yellow ramp.
QImage colour() {
    QImage img = canvas();
    for (int x = 1; x < 19; ++x) {
        const double t = (x - 1) / 17.0;
        const int g = static_cast<int>(t * 255 + 0.5);
        for (int y = 2; y < 7; ++y) img.setPixelColor(x, y, QColor(g, g, g));
        QColor c;
        if (t < 0.5) {
            const double u = t / 0.5;
            c = QColor(static_cast<int>(255 * u + 0.5), 0, static_cast<int>(255 * (1 - u) + 0.5));
        } else {
            const double u = (t - 0.5) / 0.5;
            c = QColor(255, static_cast<int>(255 * u + 0.5), 0);
        }
        for (int y = 8; y < 13; ++y) img.setPixelColor(x, y, c);
    }
    return img;
}

// The program: a radiograph film (a bone, light on dark blue) with a
// dashed selection frame over one end of the bone, in the sliders' lilac.
// Drawn on a 48-unit grid, so every size has the same shapes.
QImage program(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    const QRectF film(3, 3, 42, 42);
    QLinearGradient dark(film.topLeft(), film.bottomRight());
    dark.setColorAt(0, QColor(52, 66, 96));
    dark.setColorAt(1, QColor(14, 20, 34));
    p.setPen(QPen(QColor(10, 12, 20), 1.0));
    p.setBrush(dark);
    p.drawRoundedRect(film, 5, 5);

    // The bone along the diagonal: a shaft between two double knobs.
    p.save();
    p.translate(24, 24);
    p.rotate(-40);
    QPainterPath bone;
    bone.addRoundedRect(QRectF(-11, -2.6, 22, 5.2), 2, 2);
    for (double end : {-12.5, 12.5}) {
        bone.addEllipse(QPointF(end, -2.8), 3.6, 3.6);
        bone.addEllipse(QPointF(end, 2.8), 3.6, 3.6);
    }
    bone.setFillRule(Qt::WindingFill);
    QLinearGradient light(QPointF(0, -6), QPointF(0, 6));
    light.setColorAt(0, QColor(250, 250, 245));
    light.setColorAt(1, QColor(175, 185, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawPath(bone);
    p.restore();

    // The selection: dashed, over the upper end of the bone.
    QPen dashes(QColor(192, 192, 255), 1.6);
    dashes.setDashPattern({2.5, 1.5});
    p.setPen(dashes);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(25, 8, 15, 15));
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    bool ok = contrast().save("contrast.png") && light().save("light.png") && gamma().save("gamma.png") &&
              colour().save("colour.png") && program(48).save("selection_image-48.png") &&
              program(256).save("selection_image-256.png");
    return ok ? 0 : 1;
}
