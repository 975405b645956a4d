#pragma once
#include <QPolygon>

#include <vector>

namespace filter {

// The outline of a polygon mask on a picture of a given size: 1 to 101
// vertices, each an x and a y as fractions of the width and height, finite,
// and at a pixel position that fits a 32-bit integer. The constructor is the
// one place where a table of vertices is checked: it refuses (Refused)
// anything else, so whatever holds a MaskPolygon can draw it as it is.
class MaskPolygon {
public:
    static constexpr int kMaxVertices = 101;
    struct Vertex {
        double x, y;
    };

    // Vertex i is (coord[0][i], coord[1][i]), for i < count.
    MaskPolygon(const std::vector<std::vector<double>>& coord, int count, int width, int height);

    int size() const { return static_cast<int>(vertices_.size()); }
    // The vertices at the nearest pixel position, halves to the even one.
    QPolygon in_pixels() const;

private:
    std::vector<Vertex> vertices_;
    int width_, height_;
};

}  // namespace filter
