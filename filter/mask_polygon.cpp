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
        return Refused("Mask : le " + std::string(axis) + " du sommet " + std::to_string(vertex) + why);
    };
    if (!std::isfinite(v)) throw refuse(" n'est pas un nombre fini");
    if (v < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        v > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        throw refuse(" ne tient pas dans un entier de 32 bits");
}

}  // namespace

MaskPolygon::MaskPolygon(const std::vector<std::vector<double>>& coord, int count, int width, int height)
    : width_(width), height_(height) {
    if (count < 1) throw Refused("Mask : un polygone demande au moins un sommet");
    if (count > kMaxVertices)
        throw Refused("Mask : " + std::to_string(count) + " sommets, " + std::to_string(kMaxVertices) + " au plus");
    const auto n = static_cast<std::size_t>(count);
    if (coord.size() < 2 || coord[0].size() < n || coord[1].size() < n)
        throw Refused("Mask : la table des sommets en compte moins de " + std::to_string(count));
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
