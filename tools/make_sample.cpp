// make_sample: draws the bundled sample picture, a radiograph-like grey
// picture with fine detail (soft tissue, two long bones with trabecular
// texture, a fine grid of wires and film grain), and writes it as JPEG.
#include <QCoreApplication>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <random>

#include "jpeg_writer.h"

namespace {

double bone(double x, double y, double cx, double angle, double half_width) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double u = (x - cx) * c + (y - 0.5) * s;  // across the shaft
    const double d = std::abs(u) / half_width;
    if (d >= 1) return 0;
    const double cortex = std::exp(-std::pow((d - 0.85) / 0.08, 2));  // bright walls
    return 0.35 + 0.55 * cortex;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_sample WIDTH HEIGHT OUTPUT.jpg\n");
        return 2;
    }
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    if (w < 16 || h < 16 || w > 20000 || h > 20000) {
        std::fprintf(stderr, "make_sample: size out of range\n");
        return 2;
    }
    QImage img(w, h, QImage::Format_RGB32);
    std::mt19937 rng(20261206);
    std::normal_distribution<double> grain(0.0, 0.025);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        const double fy = static_cast<double>(y) / h;
        for (int x = 0; x < w; ++x) {
            const double fx = static_cast<double>(x) / w;
            const double r2 = std::pow((fx - 0.5) / 0.42, 2) + std::pow((fy - 0.5) / 0.55, 2);
            double v = 0.08 + (r2 < 1 ? 0.25 * std::sqrt(1 - r2) : 0);  // soft tissue
            const double b = std::max(bone(fx, fy, 0.38, 0.05, 0.07), bone(fx, fy, 0.62, -0.04, 0.055));
            if (b > 0) v += b * (0.8 + 0.2 * std::sin(x * 0.9) * std::sin(y * 0.7));  // trabeculae
            if (x % 97 < 2 || y % 89 < 2) v += 0.15;                                  // fine wire grid
            v += grain(rng);
            const int g = std::clamp(static_cast<int>(std::lround(v * 255)), 0, 255);
            row[x] = qRgb(g, g, g);
        }
    }
    if (auto written = storage::write_jpeg_file(QString::fromLocal8Bit(argv[3]), img, 90); !written) {
        std::fprintf(stderr, "make_sample: %s\n", written.error().reason().c_str());
        return 1;
    }
    return 0;
}
