#include "reference_filter.h"

#include <array>
#include <cmath>

namespace {

int cint(double v) { return static_cast<int>(std::nearbyint(v)); }
double sng(double v) { return static_cast<float>(v); }
std::uint8_t byte(double v) { return static_cast<std::uint8_t>(cint(v < 0 ? 0 : v > 255 ? 255 : v)); }

}  // namespace

RefPicture reference_processing(const RefPicture& ref, bool invert, int light, int contrast, int gamma, int color) {
    long long sum = 0;
    for (int y = 1; y <= ref.h; ++y)
        for (int x = 1; x <= ref.w; ++x) sum += ref.at(1, x, y);
    const double mean = static_cast<double>(sum / (static_cast<long long>(ref.w) * ref.h));
    const double f = sng((light + 100) / 100.0), c = sng((contrast + 100) / 100.0), k = sng(color / 20.0);
    int tone[256];
    for (int i = 0; i <= 255; ++i) {
        int v = byte((invert ? 255 - i : i) * f);
        v = v <= gamma ? cint((v * 127) / static_cast<double>(gamma))
                       : cint(((v - gamma) * 127) / static_cast<double>(255 - gamma) + 128);
        tone[i] = byte(c * (v - mean) + mean);
    }
    // The palette: three ramps of 85 steps (blue, green, red), mixed with grey.
    std::array<int, 3> palette[256];
    for (int j = 0; j <= 255; ++j) {
        const int part = j <= 85 ? 0 : j <= 170 ? 1 : 2, i = j - 85 * part;
        const int base[3][3] = {{3 * i, 255 - 3 * i, 0}, {255 - 3 * i, 0, 2 * i}, {0, 3 * i, 170 + i}};
        for (int p = 0; p < 3; ++p) palette[j][p] = cint((j * k / 255) * base[part][p] + (j - j * k));
    }
    RefPicture out = ref;
    auto put = [&](int x, int y, std::array<int, 3> bgr) {
        for (int ch = 1; ch <= 3 && y >= 1 && y <= out.h; ++ch) out.at(ch, x, y) = std::uint8_t(bgr[ch - 1]);
    };
    for (int y = 1; y <= out.h; ++y)
        for (int x = 1; x <= out.w; ++x) {
            const int b = ref.at(1, x, y), g = ref.at(2, x, y), r = ref.at(3, x, y);
            if (color == 0)
                put(x, y, {palette[tone[b]][0], palette[tone[g]][1], palette[tone[r]][2]});
            else
                put(x, y, palette[tone[cint((b + g + r) / 3.0)]]);
        }
    for (int y = out.h - 12; y <= out.h - 8; ++y)
        for (int x = 1; x <= out.w; ++x) {
            const int n = cint(static_cast<double>(x) / out.w * 255), v = tone[n];
            put(x, y, {n, n, n});
            put(x, y + 4, {v, v, v});
            put(x, y + 8, palette[v]);
        }
    return out;
}

RefPicture reference_deconvolution(const RefPicture& ref) {
    const double a = 1.35 / 19.027974, b = 6.06 / 19.027974;
    RefPicture res = ref;
    // Samples x..x+4 (or y..y+4) into x (or y), in place; then 1.9 times the picture less that.
    auto smooth = [&](int c, int x, int y, int dx, int dy) {
        auto v = [&](int k) { return res.at(c, x + k * dx, y + k * dy); };
        res.at(c, x, y) = byte(a * v(4) + a * v(0) + b * v(1) + b * v(3) + v(2) / 7.0);
    };
    for (int y = 1; y <= ref.h; ++y)
        for (int x = 1; x <= ref.w - 5; ++x)
            for (int c = 1; c <= 3; ++c) smooth(c, x, y, 1, 0);
    for (int y = 1; y <= ref.h - 5; ++y)
        for (int x = 1; x <= ref.w; ++x)
            for (int c = 1; c <= 3; ++c) smooth(c, x, y, 0, 1);
    for (int y = 1; y <= ref.h; ++y)
        for (int x = 1; x <= ref.w; ++x)
            for (int c = 1; c <= 3; ++c) res.at(c, x, y) = byte(1.9 * ref.at(c, x, y) - res.at(c, x, y));
    return res;
}

RefPicture random_picture(int w, int h, std::mt19937& rng) {
    RefPicture p{w, h, std::vector<std::uint8_t>(std::size_t{4} * w * h)};
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : p.px) b = static_cast<std::uint8_t>(byte(rng));
    return p;
}
