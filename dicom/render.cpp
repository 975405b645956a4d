#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dicom::render {

namespace {

using parse::tag;

// Halves go up, and whatever falls off the display's range is held at its
// ends; what is no number at all (rescaled values past a double's range) at
// the low one.
std::uint32_t to_level(double y) {
    const double r = std::floor(y + 0.5);
    return r >= 255 ? 255u : r > 0 ? static_cast<std::uint32_t>(r) : 0u;
}

std::uint32_t grey_pixel(std::uint32_t g) { return 0xFF000000u | g << 16 | g << 8 | g; }

std::uint32_t rgb_pixel(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return 0xFF000000u | r << 16 | g << 8 | b;
}

// A LUT as its descriptor and data give it: entries words, or bytes when
// the descriptor says 8 bits and the data holds one byte an entry.
std::optional<Lut> read_lut(const parse::DataSet& d, std::uint32_t descriptor, std::uint32_t data, bool signed_first) {
    const auto n16 = d.us(descriptor, 0), first16 = d.us(descriptor, 1), bits = d.us(descriptor, 2);
    const parse::Element* e = d.find(data);
    if (!n16 || !first16 || !bits || !e || *bits < 1 || *bits > 16) return std::nullopt;
    const std::size_t n = *n16 == 0 ? 65536 : *n16;
    Lut lut;
    lut.first = signed_first ? static_cast<std::int16_t>(*first16) : *first16;
    lut.bits = *bits;
    lut.entries.resize(n);
    if (e->value.size >= 2 * n) {
        for (std::size_t i = 0; i < n; ++i) lut.entries[i] = parse::read16(e->value.data + 2 * i, e->syntax);
    } else if (*bits <= 8 && e->value.size >= n) {
        for (std::size_t i = 0; i < n; ++i) lut.entries[i] = e->value.data[i];
    } else {
        return std::nullopt;
    }
    return lut;
}

std::uint16_t lut_at(const Lut& lut, double x) {
    const double i = std::floor(x + 0.5) - lut.first;
    const double last = static_cast<double>(lut.entries.size() - 1);
    return lut.entries[static_cast<std::size_t>(std::clamp(i, 0.0, last))];
}

// The VOI one source (a functional group's Frame VOI LUT item, or the data
// set itself) gives: its LUT, else its first usable window.
bool voi_from(const parse::DataSet& d, bool signed_values, Display& out) {
    const auto luts = d.items(tag(0x0028, 0x3010));
    if (!luts.empty()) {
        if (auto lut = read_lut(luts.front(), tag(0x0028, 0x3002), tag(0x0028, 0x3006), signed_values)) {
            out.voi = std::move(lut);
            return true;
        }
    }
    const auto centers = d.numbers(tag(0x0028, 0x1050)), widths = d.numbers(tag(0x0028, 0x1051));
    for (std::size_t i = 0; i < std::min(centers.size(), widths.size()); ++i) {
        if (!std::isfinite(centers[i]) || !std::isfinite(widths[i]) || widths[i] < 1) continue;
        Window w{centers[i], widths[i], VoiFunction::linear};
        const auto f = d.text(tag(0x0028, 0x1056));
        if (f == "LINEAR_EXACT") w.function = VoiFunction::linear_exact;
        if (f == "SIGMOID") w.function = VoiFunction::sigmoid;
        out.window = w;
        return true;
    }
    return false;
}

void rescale_from(const parse::DataSet& d, Display& out) {
    const auto slope = d.numbers(tag(0x0028, 0x1053)), intercept = d.numbers(tag(0x0028, 0x1052));
    if (!slope.empty() && std::isfinite(slope[0]) && slope[0] != 0) out.slope = slope[0];
    if (!intercept.empty() && std::isfinite(intercept[0])) out.intercept = intercept[0];
}

std::uint32_t stored_mask(int bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }

// The stored value a raw sample (as it sits in memory) carries.
std::int32_t stored_value(std::uint32_t raw, const Samples& s) {
    if (s.bits_allocated == 16 && s.big_endian) raw = (raw >> 8 | raw << 8) & 0xFFFF;
    std::uint32_t v = (raw >> (s.high_bit + 1 - s.bits_stored)) & stored_mask(s.bits_stored);
    if (s.is_signed && (v >> (s.bits_stored - 1)) & 1) return static_cast<std::int32_t>(v) - (1 << s.bits_stored);
    return static_cast<std::int32_t>(v);
}

double window_level(const Window& w, double x) {
    const double c = w.center, width = w.width;
    switch (w.function) {
        case VoiFunction::linear:
            if (x <= c - 0.5 - (width - 1) / 2) return 0;
            if (x > c - 0.5 + (width - 1) / 2) return 255;
            // Written so that a level exactly halfway stays exact for whole or half inputs.
            return (x - c + 0.5) * 255 / (width - 1) + 127.5;
        case VoiFunction::linear_exact:
            if (x <= c - width / 2) return 0;
            if (x > c + width / 2) return 255;
            return (x - c) * 255 / width + 127.5;
        case VoiFunction::sigmoid:
            return 255 / (1 + std::exp(-4 * (x - c) / width));
    }
    return 0;
}

template <class Word>
void apply(const Word* in, std::size_t n, const std::uint32_t* table, std::uint32_t* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = table[in[i]];
}

core::Result<void> grey(const Samples& s, const Display& d, std::uint8_t* out) {
    const std::size_t n = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const std::size_t entries = s.bits_allocated == 8 ? 256 : 65536;
    std::vector<std::uint32_t> table(entries);
    const bool palette = s.photometric == "PALETTE COLOR";
    if (palette) {
        if (!d.red || !d.green || !d.blue)
            return core::fail("fichier DICOM illisible : palette de couleurs absente ou abîmée");
        // 16-bit entries show by their high byte.
        auto level = [](const Lut& l, int v) {
            const std::uint16_t e = lut_at(l, v);
            return l.bits > 8 ? std::uint32_t{e} >> 8 : std::uint32_t{e} & 0xFF;
        };
        for (std::size_t raw = 0; raw < entries; ++raw) {
            const int v = stored_value(static_cast<std::uint32_t>(raw), s);
            table[raw] = rgb_pixel(level(*d.red, v), level(*d.green, v), level(*d.blue, v));
        }
    } else {
        const bool invert = s.photometric == "MONOCHROME1" || d.inverse_shape;
        double lo = 0, hi = 0;
        const bool spread = !d.voi && !d.window && s.bits_stored > 8;
        if (spread) {
            // The range of the values present, found through the raw samples seen.
            std::vector<std::uint8_t> seen(entries);
            if (s.bits_allocated == 8) {
                for (std::size_t i = 0; i < n; ++i) seen[s.data[i]] = 1;
            } else {
                const auto* in = reinterpret_cast<const std::uint16_t*>(s.data);
                for (std::size_t i = 0; i < n; ++i) seen[in[i]] = 1;
            }
            bool any = false;
            for (std::size_t raw = 0; raw < entries; ++raw) {
                if (!seen[raw]) continue;
                const double x = d.slope * stored_value(static_cast<std::uint32_t>(raw), s) + d.intercept;
                lo = any ? std::min(lo, x) : x;
                hi = any ? std::max(hi, x) : x;
                any = true;
            }
        }
        const double full = d.voi ? std::ldexp(1.0, d.voi->bits) - 1 : 1;
        for (std::size_t raw = 0; raw < entries; ++raw) {
            const double x = d.slope * stored_value(static_cast<std::uint32_t>(raw), s) + d.intercept;
            std::uint32_t g;
            if (d.voi)
                g = to_level(lut_at(*d.voi, x) * 255.0 / full);
            else if (d.window)
                g = to_level(window_level(*d.window, x));
            else if (spread)
                // In long double, whose range holds the difference of any two doubles.
                g = hi > lo ? to_level(static_cast<double>((static_cast<long double>(x) - lo) * 255 /
                                                           (static_cast<long double>(hi) - lo)))
                            : 128;
            else
                g = to_level(x);
            table[raw] = grey_pixel(invert ? 255 - g : g);
        }
    }
    auto* px = reinterpret_cast<std::uint32_t*>(out);
    if (s.bits_allocated == 8)
        apply(s.data, n, table.data(), px);
    else
        apply(reinterpret_cast<const std::uint16_t*>(s.data), n, table.data(), px);
    return {};
}

// Full-range YCbCr as the DICOM standard (and JPEG's JFIF) define it.
struct YbrTables {
    std::int16_t r[256], b[256];
    std::vector<std::int16_t> g;  // by Cb * 256 + Cr
    YbrTables() : g(65536) {
        for (int v = 0; v < 256; ++v) {
            r[v] = static_cast<std::int16_t>(std::floor(1.402 * (v - 128) + 0.5));
            b[v] = static_cast<std::int16_t>(std::floor(1.772 * (v - 128) + 0.5));
        }
        for (int cb = 0; cb < 256; ++cb)
            for (int cr = 0; cr < 256; ++cr)
                g[cb * 256 + cr] =
                    static_cast<std::int16_t>(std::floor(-0.344136 * (cb - 128) - 0.714136 * (cr - 128) + 0.5));
    }
};

std::uint32_t clamp8(int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); }

core::Result<void> colour(const Samples& s, std::uint8_t* out) {
    const std::size_t n = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const std::string& pi = s.photometric;
    const bool ybr = pi == "YBR_FULL" || pi == "YBR_FULL_422";
    if (!ybr && pi != "RGB") return core::fail("image DICOM en couleurs non prise en charge (" + pi + ")");
    // One byte a sample: wider samples keep their eight highest stored bits.
    std::vector<std::uint8_t> wide;
    const std::uint8_t* bytes = s.data;
    const bool sub = pi == "YBR_FULL_422" && s.size < 3 * n * static_cast<std::size_t>(s.bits_allocated / 8);
    const std::size_t count = sub ? 2 * n : 3 * n;
    if (s.bits_allocated == 16 || s.bits_stored != 8 || s.high_bit != 7) {
        wide.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t raw = s.bits_allocated == 16
                                          ? std::uint32_t{s.data[2 * i]} | std::uint32_t{s.data[2 * i + 1]} << 8
                                          : s.data[i];
            Samples unsigned_view = s;
            unsigned_view.is_signed = false;
            const std::uint32_t v = static_cast<std::uint32_t>(stored_value(raw, unsigned_view));
            wide[i] =
                static_cast<std::uint8_t>(s.bits_stored > 8 ? v >> (s.bits_stored - 8) : v << (8 - s.bits_stored));
        }
        bytes = wide.data();
    }
    static const YbrTables ybr_tables;
    auto* px = reinterpret_cast<std::uint32_t*>(out);
    auto put = [&](std::size_t i, int a, int b, int c) {
        if (!ybr) {
            px[i] =
                rgb_pixel(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(c));
            return;
        }
        px[i] =
            rgb_pixel(clamp8(a + ybr_tables.r[c]), clamp8(a + ybr_tables.g[b * 256 + c]), clamp8(a + ybr_tables.b[b]));
    };
    if (sub) {
        // Two pixels share their chroma: Y1 Y2 Cb Cr.
        if (s.width % 2) return core::fail("fichier DICOM illisible : YBR_FULL_422 de largeur impaire");
        for (std::size_t i = 0; i < n; i += 2) {
            const std::uint8_t* q = bytes + 2 * i;
            put(i, q[0], q[2], q[3]);
            put(i + 1, q[1], q[2], q[3]);
        }
    } else if (s.planar) {
        for (std::size_t i = 0; i < n; ++i) put(i, bytes[i], bytes[n + i], bytes[2 * n + i]);
    } else {
        for (std::size_t i = 0; i < n; ++i) put(i, bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]);
    }
    return {};
}

}  // namespace

core::Result<Display> display_of(const parse::DataSet& data, bool signed_values) {
    Display d;
    rescale_from(data, d);
    d.inverse_shape = data.text(tag(0x2050, 0x0020)) == "INVERSE";
    // Enhanced multi-frame: the first frame's groups, then those all frames share.
    std::vector<parse::DataSet> groups;
    for (std::uint32_t seq : {tag(0x5200, 0x9230), tag(0x5200, 0x9229)}) {
        auto items = data.items(seq);
        if (!items.empty()) groups.push_back(std::move(items.front()));
    }
    for (const auto& g : groups) {
        const auto t = g.items(tag(0x0028, 0x9145));
        if (!t.empty() && (t.front().find(tag(0x0028, 0x1053)) || t.front().find(tag(0x0028, 0x1052)))) {
            d.slope = 1;
            d.intercept = 0;
            rescale_from(t.front(), d);
            break;
        }
    }
    bool found = false;
    for (const auto& g : groups) {
        const auto v = g.items(tag(0x0028, 0x9132));
        if (!v.empty() && voi_from(v.front(), signed_values, d)) {
            found = true;
            break;
        }
    }
    if (!found) voi_from(data, signed_values, d);
    if (data.text(tag(0x0028, 0x0004)) == "PALETTE COLOR") {
        if (data.find(tag(0x0028, 0x1221))) return core::fail("palette de couleurs segmentée non prise en charge");
        d.red = read_lut(data, tag(0x0028, 0x1101), tag(0x0028, 0x1201), signed_values);
        d.green = read_lut(data, tag(0x0028, 0x1102), tag(0x0028, 0x1202), signed_values);
        d.blue = read_lut(data, tag(0x0028, 0x1103), tag(0x0028, 0x1203), signed_values);
    }
    return d;
}

std::size_t frame_bytes(const Samples& s) {
    const std::size_t n = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const std::size_t per = static_cast<std::size_t>(s.bits_allocated / 8);
    if (s.samples_per_pixel == 3 && s.photometric == "YBR_FULL_422") return 2 * n * per;
    return n * per * static_cast<std::size_t>(s.samples_per_pixel);
}

core::Result<void> to_bgrx(const Samples& s, const Display& d, std::uint8_t* out) {
    if (s.samples_per_pixel == 1) return grey(s, d, out);
    return colour(s, out);
}

}  // namespace dicom::render
