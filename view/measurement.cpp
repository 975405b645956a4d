#include "measurement.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QVarLengthArray>
#include <cmath>
#include <cstdint>

#include "rounding.h"
#include "twips.h"

namespace view {

namespace {

// The angle's conversion uses this short value of pi on purpose: it decides
// which whole degree a bearing that lands near a half rounds to.
constexpr double kShortPi = 3.1415926;

int nearest(double v) { return core::to_integer(v); }

double segment_length(const QPoint& p, const QPoint& q) {
    const double dx = static_cast<double>(std::int64_t{p.x()} - q.x());
    const double dy = static_cast<double>(std::int64_t{p.y()} - q.y());
    return std::pow(dx * dx + dy * dy, 0.5);
}

QFont overlay_font(bool bold, int points) {
    QFont font(QStringLiteral("arial"));
    font.setPointSize(points);
    font.setBold(bold);
    // Labels keep their colour exactly, without blending into the picture.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// Prints `text` with its top-left corner at `top_left` (pixels): the
// painter wants the baseline, which lies one ascent lower.
void print_at(QPainter& painter, const QPointF& top_left, const QString& text) {
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.drawText(QPointF(top_left.x(), top_left.y() + metrics.ascent()), text);
}

// On the window's own surface (painter coordinates are its pixels) the line
// is drawn pixel by pixel through the rubber band's rasteriser; on any other
// device it is an ordinary line.
void line(QPainter& painter, const QPoint& from_twips, const QPoint& to_twips, bool include_end = true) {
    const QPoint from = twips_to_pixel(from_twips);
    const QPoint to = twips_to_pixel(to_twips);
    if (!painter.transform().isIdentity()) {
        painter.drawLine(from, to);
        return;
    }
    QVarLengthArray<QPoint, 1024> points;
    rasterize_line(from, to, include_end, [&](int x, int y) { points.append(QPoint(x, y)); });
    if (!points.isEmpty()) painter.drawPoints(points.constData(), static_cast<int>(points.size()));
}

QPointF twips_point(double x, double y) { return QPointF(twips_to_pixels(x), twips_to_pixels(y)); }

// Midpoint of two handles in twips, kept fractional.
double half_sum(int a, int b) { return static_cast<double>(std::int64_t{a} + b) / 2.0; }

}  // namespace

void place_default_angle_handles(Handles& handles, const ViewRect& view) {
    const double w = static_cast<double>(view.width);
    const double h = static_cast<double>(view.height);
    handles[0] = QPoint(nearest(w / 4), nearest(h / 4));
    handles[1] = QPoint(nearest(w / 4), nearest(h / 2));
    handles[2] = QPoint(nearest(w / 2), nearest(h / 2));
}

bool place_default_proportion_handles(Handles& handles, const ViewRect& view) {
    if (handles[3] != handles[4]) return false;
    const double l = static_cast<double>(view.left);
    const double t = static_cast<double>(view.top);
    const double w = static_cast<double>(view.width);
    const double h = static_cast<double>(view.height);
    handles[3] = QPoint(nearest(l + w / 4), nearest(t + h / 2));
    handles[4] = QPoint(nearest(l + w / 2), nearest(t + h / 2));
    handles[5] = QPoint(nearest(l + w / 4), nearest(t + h / 4));
    handles[6] = QPoint(nearest(l + w / 2), nearest(t + h / 4));
    return true;
}

double bearing(long px, long py, long vx, long vy) {
    const std::int64_t dx = std::int64_t{px} - vx;
    const std::int64_t dy = std::int64_t{py} - vy;
    if (dy == 0) return px > vx ? 90.0 : 270.0;
    double b = std::atan(static_cast<double>(dx) / static_cast<double>(dy)) * 180.0 / kShortPi;
    if (vy > py) b += 180.0;
    if (b < 0) b += 360.0;
    return b;
}

int angle_from_bearings(double bearing_b, double bearing_a) {
    // Both bearings lie in [0, 360), so the sum is positive and the
    // remainder is already the whole-degree result.
    const int n = nearest(bearing_b - bearing_a + 360.0);
    return n % 360;
}

int calcul_angle(long x1, long y1, long x2, long y2, long x3, long y3) {
    return angle_from_bearings(bearing(x1, y1, x2, y2), bearing(x3, y3, x2, y2));
}

std::optional<double> proportion_ratio(const Handles& handles) {
    const double reference = segment_length(handles[3], handles[4]);
    if (reference == 0.0) return std::nullopt;
    return segment_length(handles[5], handles[6]) / reference;
}

QString format_two_decimals(double value, const QLocale& locale) {
    QLocale plain(locale);
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', 2);
}

QString angle_label(const Handles& handles, const QLocale& locale) {
    const int degrees =
        calcul_angle(handles[0].x(), handles[0].y(), handles[1].x(), handles[1].y(), handles[2].x(), handles[2].y());
    return format_two_decimals(degrees, locale) + QChar(0x00B0);
}

QString ratio_label(const Handles& handles, const QLocale& locale) {
    const std::optional<double> ratio = proportion_ratio(handles);
    // A reference of zero length measures nothing; say so rather than
    // printing an infinity.
    if (!ratio) return QStringLiteral("L:--");
    return QStringLiteral("L:") + format_two_decimals(*ratio, locale);
}

QPoint twips_to_pixel(const QPoint& twips) {
    return QPoint(static_cast<int>(std::floor(twips_to_pixels(twips.x()))),
                  static_cast<int>(std::floor(twips_to_pixels(twips.y()))));
}

void draw_angle_overlay(QPainter& painter, const Handles& handles) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);

    painter.setFont(overlay_font(true, 10));
    painter.setPen(QPen(kAngleLineColour, 0));
    line(painter, handles[0], handles[1], false);
    line(painter, handles[1], handles[2]);

    painter.setPen(QPen(kLabelColour, 0));
    print_at(painter, twips_point(handles[0].x(), handles[0].y()), QStringLiteral("B"));
    print_at(painter, twips_point(handles[2].x(), handles[2].y()), QStringLiteral("A"));

    painter.setFont(overlay_font(false, 8));
    print_at(painter, twips_point(handles[1].x(), handles[1].y()), angle_label(handles));
    painter.restore();
}

void draw_proportion_overlay(QPainter& painter, const Handles& handles) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);

    painter.setFont(overlay_font(false, 8));
    const QFontMetricsF metrics(painter.font(), painter.device());
    const QString text = ratio_label(handles);

    painter.setPen(QPen(kReferenceColour, 0));
    line(painter, handles[3], handles[4]);
    const QString reference_label = QStringLiteral("Ref.Unite");
    // Positions are worked out in pixels: the midpoint converted from twips,
    // less half the text's width as the font measures it on this device.
    const QPointF reference_mid =
        twips_point(half_sum(handles[3].x(), handles[4].x()), half_sum(handles[3].y(), handles[4].y()));
    print_at(painter, QPointF(reference_mid.x() - metrics.horizontalAdvance(reference_label) / 2, reference_mid.y()),
             reference_label);

    painter.setPen(QPen(kMeasuredColour, 0));
    line(painter, handles[5], handles[6]);
    const QPointF measured_mid =
        twips_point(half_sum(handles[5].x(), handles[6].x()), half_sum(handles[5].y(), handles[6].y()));
    painter.setPen(QPen(kLabelColour, 0));
    print_at(painter, QPointF(measured_mid.x() - metrics.horizontalAdvance(text) / 2, measured_mid.y()), text);
    painter.restore();
}

}  // namespace view
