#include "reference_filter.h"

#include <cmath>
#include <cstring>

namespace {
int cint(double v) { return static_cast<int>(std::nearbyint(v)); }
double sng(double v) { return static_cast<float>(v); }
}  // namespace

RefTables reference_tables(const RefPicture& ref, bool invert, int light, int gamma, int contrast, int color) {
    RefTables t{};
    for (int i = 0; i <= 255; ++i) t.tone[i] = invert ? 255 - i : i;

    long long sum = 0, count = 0;
    for (int y = 1; y <= ref.h; ++y)
        for (int x = 1; x <= ref.w; ++x) {
            sum += ref.at(1, x, y);
            ++count;
        }
    const long long mean = sum / count;

    const double f = sng((light + 100) / 100.0);
    for (int i = 0; i <= 255; ++i) {
        int v = cint(t.tone[i] * f);
        if (v > 255) v = 255;
        if (v < 0) v = 0;
        t.tone[i] = v;
    }
    for (int i = 0; i <= 255; ++i) {
        const int v = t.tone[i];
        if (v <= gamma)
            t.tone[i] = cint((v * 127) / static_cast<double>(gamma));
        else
            t.tone[i] = cint(((v - gamma) * 127) / static_cast<double>(255 - gamma) + 128);
    }
    const double c = sng((contrast + 100) / 100.0);
    for (int i = 0; i <= 255; ++i) {
        const int v = cint(c * (t.tone[i] - static_cast<double>(mean)) + static_cast<double>(mean));
        t.tone[i] = v < 0 ? 0 : v > 255 ? 255 : v;
    }
    for (int i = 0; i <= 85; ++i) {
        t.blue[i] = 3 * i;
        t.blue[i + 85] = 3 * (85 - i);
        t.blue[i + 170] = 0;
        t.green[i] = 3 * (85 - i);
        t.green[i + 85] = 0;
        t.green[i + 170] = 3 * i;
        t.red[i] = 0;
        t.red[i + 85] = 2 * i;
        t.red[i + 170] = i + 170;
    }
    const double k = sng(color / 20.0);
    for (int* p : {t.blue, t.green, t.red})
        for (int j = 0; j <= 255; ++j) p[j] = cint((j * k / 255) * p[j] + (j - j * k));
    return t;
}

RefPicture reference_processing(const RefPicture& ref, bool invert, int light, int contrast, int gamma, int color) {
    const RefTables t = reference_tables(ref, invert, light, gamma, contrast, color);
    RefPicture out = ref;
    const bool grey = sng(color / 20.0) != 0;
    for (int y = 1; y <= out.h; ++y)
        for (int x = 1; x <= out.w; ++x) {
            if (!grey) {
                out.at(1, x, y) = static_cast<std::uint8_t>(t.blue[t.tone[out.at(1, x, y)]]);
                out.at(2, x, y) = static_cast<std::uint8_t>(t.green[t.tone[out.at(2, x, y)]]);
                out.at(3, x, y) = static_cast<std::uint8_t>(t.red[t.tone[out.at(3, x, y)]]);
            } else {
                const int g = cint((out.at(1, x, y) + out.at(2, x, y) + out.at(3, x, y)) / 3.0);
                const int v = t.tone[g];
                out.at(1, x, y) = static_cast<std::uint8_t>(t.blue[v]);
                out.at(2, x, y) = static_cast<std::uint8_t>(t.green[v]);
                out.at(3, x, y) = static_cast<std::uint8_t>(t.red[v]);
            }
        }
    for (int y = out.h - 12; y <= out.h - 8; ++y)
        for (int x = 1; x <= out.w; ++x) {
            const double r = static_cast<double>(x) / out.w * 255;
            const int n = cint(r);
            auto put = [&](int row, int b, int g, int rr) {
                if (row < 1 || row > out.h) return;
                out.at(1, x, row) = static_cast<std::uint8_t>(b);
                out.at(2, x, row) = static_cast<std::uint8_t>(g);
                out.at(3, x, row) = static_cast<std::uint8_t>(rr);
            };
            put(y, cint(r), cint(r), cint(r));
            put(y + 4, t.tone[n], t.tone[n], t.tone[n]);
            put(y + 8, t.blue[t.tone[n]], t.green[t.tone[n]], t.red[t.tone[n]]);
        }
    return out;
}

RefPicture reference_deconvolution(const RefPicture& ref) {
    const double a = 1.35 / 19.027974, b = 6.06 / 19.027974;
    auto to_byte = [](double s) { return static_cast<std::uint8_t>(cint(s)); };
    RefPicture res = ref;
    const int W = ref.w, H = ref.h;
    for (int y = 1; y <= H; ++y)
        for (int x = 1; x <= W - 5; ++x)
            for (int c = 1; c <= 3; ++c) {
                const double s = a * res.at(c, x + 4, y) + a * res.at(c, x, y) + b * res.at(c, x + 1, y) +
                                 b * res.at(c, x + 3, y) + res.at(c, x + 2, y) / 7.0;
                res.at(c, x, y) = to_byte(s > 255 ? 255 : s);
            }
    for (int y = 1; y <= H - 5; ++y)
        for (int x = 1; x <= W; ++x)
            for (int c = 1; c <= 3; ++c) {
                const double s = a * res.at(c, x, y + 4) + a * res.at(c, x, y) + b * res.at(c, x, y + 1) +
                                 b * res.at(c, x, y + 3) + res.at(c, x, y + 2) / 7.0;
                res.at(c, x, y) = to_byte(s > 255 ? 255 : s);
            }
    for (int y = 1; y <= H; ++y)
        for (int x = 1; x <= W; ++x)
            for (int c = 1; c <= 3; ++c) {
                const double t = 1.9 * ref.at(c, x, y) - res.at(c, x, y);
                res.at(c, x, y) = to_byte(t < 0 ? 0 : t > 255 ? 255 : t);
            }
    return res;
}

RefPicture random_picture(int w, int h, std::mt19937& rng) {
    RefPicture p{w, h, std::vector<std::uint8_t>(std::size_t{4} * w * h)};
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : p.px) b = static_cast<std::uint8_t>(byte(rng));
    return p;
}

RefPicture uniform_picture(int w, int h, int value) {
    RefPicture p{w, h, std::vector<std::uint8_t>(std::size_t{4} * w * h, static_cast<std::uint8_t>(value))};
    for (std::size_t i = 3; i < p.px.size(); i += 4) p.px[i] = 0xFF;
    return p;
}
