#include "mask_polygon.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "refused.h"

namespace filter {

namespace {

// The fraction times the picture's size, rounded to the nearest whole pixel
// with halves to the even neighbour: NaN or infinite when the vertex is.
double scaled(double fraction, int size) { return std::nearbyint(static_cast<double>(size) * fraction); }

void check_coordinate(double fraction, int size, int vertex, const char* axis) {
    const double v = scaled(fraction, size);
    auto refuse = [&](const char* why) {
        return Refused("Mask: the " + std::string(axis) + " of vertex " + std::to_string(vertex) + why);
    };
    if (!std::isfinite(v)) throw refuse(" is not a finite number");
    if (v < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        v > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        throw refuse(" does not fit a 32-bit integer");
}

}  // namespace

MaskPolygon::MaskPolygon(const std::vector<std::vector<double>>& coord, int count, int width, int height)
    : width_(width), height_(height) {
    if (count < 1) throw Refused("Mask: a polygon needs at least one vertex");
    if (count > kMaxVertices)
        throw Refused("Mask: " + std::to_string(count) + " vertices, at most " + std::to_string(kMaxVertices) +
                      " are allowed");
    const auto n = static_cast<std::size_t>(count);
    if (coord.size() < 2 || coord[0].size() < n || coord[1].size() < n)
        throw Refused("Mask: the vertex table holds fewer than " + std::to_string(count) + " vertices");
    vertices_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        check_coordinate(coord[0][i], width, static_cast<int>(i), "x");
        check_coordinate(coord[1][i], height, static_cast<int>(i), "y");
        vertices_.push_back({coord[0][i], coord[1][i]});
    }
}

QPolygon MaskPolygon::in_pixels() const {
    QPolygon polygon;
    polygon.reserve(size());
    for (const Vertex& v : vertices_)
        polygon << QPoint(static_cast<int>(scaled(v.x, width_)), static_cast<int>(scaled(v.y, height_)));
    return polygon;
}

}  // namespace filter
