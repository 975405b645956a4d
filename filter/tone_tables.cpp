#include "tone_tables.h"

#include <algorithm>

#include "rounding.h"

namespace filter {

Adjustments clamp_to_ranges(const Adjustments& a) {
    Adjustments c = a;
    c.light = std::clamp(a.light, -50, 50);
    c.contrast = std::clamp(a.contrast, -50, 50);
    c.gamma = std::clamp(a.gamma, 1, 254);
    c.color = std::clamp(a.color, 0, 20);
    return c;
}

void build_tone_tables(const Adjustments& settings, int mean, ToneTables& t) {
    const Adjustments a = clamp_to_ranges(settings);
    auto& tone = t.tone;

    for (int i = 0; i <= 255; ++i) tone[i] = static_cast<std::int16_t>(a.invert ? 255 - i : i);

    const double f = core::single((a.light + 100) / 100.0);
    for (int i = 0; i <= 255; ++i) {
        int v = core::to_integer(tone[i] * f);
        tone[i] = static_cast<std::int16_t>(std::clamp(v, 0, 255));
    }

    const int g = a.gamma;
    for (int i = 0; i <= 255; ++i) {
        const int v = tone[i];
        if (v <= g)
            tone[i] = static_cast<std::int16_t>(core::to_integer((v * 127) / static_cast<double>(g)));
        else
            tone[i] = static_cast<std::int16_t>(core::to_integer(((v - g) * 127) / static_cast<double>(255 - g) + 128));
    }

    const double c = core::single((a.contrast + 100) / 100.0);
    for (int i = 0; i <= 255; ++i) {
        const int v = core::to_integer(c * (tone[i] - mean) + mean);
        tone[i] = static_cast<std::int16_t>(std::clamp(v, 0, 255));
    }

    for (int i = 0; i <= 85; ++i) {
        t.blue[i] = static_cast<std::int16_t>(3 * i);
        t.blue[i + 85] = static_cast<std::int16_t>(3 * (85 - i));
        t.blue[i + 170] = 0;
        t.green[i] = static_cast<std::int16_t>(3 * (85 - i));
        t.green[i + 85] = 0;
        t.green[i + 170] = static_cast<std::int16_t>(3 * i);
        t.red[i] = 0;
        t.red[i + 85] = static_cast<std::int16_t>(2 * i);
        t.red[i + 170] = static_cast<std::int16_t>(i + 170);
    }

    const double k = core::single(a.color / 20.0);
    for (auto* table : {&t.blue, &t.green, &t.red}) {
        auto& p = *table;
        for (int j = 0; j <= 255; ++j) {
            const double jk = j * k;
            p[j] = static_cast<std::int16_t>(core::to_integer((jk / 255) * p[j] + (j - jk)));
        }
    }
}

void fold_tables(const ToneTables& t, bool false_colour, PixelMap& m) {
    m.false_colour = false_colour;
    auto word = [&](int v) {
        return static_cast<std::uint32_t>(t.blue[v]) | static_cast<std::uint32_t>(t.green[v]) << 8 |
               static_cast<std::uint32_t>(t.red[v]) << 16;
    };
    if (false_colour) {
        for (int s = 0; s <= 765; ++s) m.by_sum[s] = word(t.tone[core::to_integer(s / 3.0)]);
    } else {
        for (int i = 0; i <= 255; ++i) {
            const int v = t.tone[i];
            m.blue[i] = static_cast<std::uint32_t>(t.blue[v]);
            m.green[i] = static_cast<std::uint32_t>(t.green[v]) << 8;
            m.red[i] = static_cast<std::uint32_t>(t.red[v]) << 16;
        }
    }
}

}  // namespace filter
