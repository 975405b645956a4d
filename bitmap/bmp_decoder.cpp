// Qt's own bitmap reader is not used: it returns a cut or corrupt file as a
// whole picture whose unread rows are uninitialised memory (which can hold an
// earlier picture), accepts bad RLE streams, out-of-palette indices and
// overlapping masks, and reads 16-bit and wide-mask pixels with wrong levels.
// This decoder checks every field against the bytes present before
// allocating, refuses what it cannot show whole, and is several times faster.
#include "bmp_decoder.h"

#include <array>
#include <bit>
#include <cstring>

#include "pixel_image.h"
#include "reasons.h"
#include "result.h"

namespace bitmap {
namespace {

using core::fail;
using core::Result;

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// Densities beyond this (pixels per metre, about 25 000 dpi) only come from
// a corrupted or forged header.
constexpr std::int64_t kMaxDensity = 1000000;

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitfields = 6
};

core::Failed cut_short() { return fail(QStringLiteral("fichier BMP tronqué")); }
core::Failed out_of_palette() { return fail(QStringLiteral("indice de couleur hors de la palette")); }

// The accessors trust an earlier has() over the bytes they read, so that
// the pixel loops carry no bounds checks of their own.
class Reader {
public:
    explicit Reader(const QByteArray& d) : p_(reinterpret_cast<const std::uint8_t*>(d.constData())), n_(d.size()) {}
    std::int64_t size() const { return n_; }
    const std::uint8_t* at(std::int64_t off) const { return p_ + off; }
    std::uint16_t u16(std::int64_t off) const { return static_cast<std::uint16_t>(p_[off] | p_[off + 1] << 8); }
    std::uint32_t u32(std::int64_t off) const {
        return std::uint32_t{p_[off]} | std::uint32_t{p_[off + 1]} << 8 | std::uint32_t{p_[off + 2]} << 16 |
               std::uint32_t{p_[off + 3]} << 24;
    }
    std::int32_t i32(std::int64_t off) const { return static_cast<std::int32_t>(u32(off)); }
    bool has(std::int64_t off, std::int64_t len) const { return off >= 0 && len >= 0 && off <= n_ && len <= n_ - off; }

private:
    const std::uint8_t* p_;
    std::int64_t n_;
};

// One colour channel taken out of a 16- or 32-bit pixel and scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t max = 0;
    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            max = (std::uint64_t{1} << std::popcount(m)) - 1;
        }
    }
    std::uint32_t operator()(std::uint32_t v) const {
        if (!mask) return 255;
        const std::uint64_t x = (v & mask) >> shift;
        return static_cast<std::uint32_t>((x * 255 + max / 2) / max);
    }
};

bool contiguous(std::uint32_t m) { return m && std::popcount(m) == 32 - std::countl_zero(m) - std::countr_zero(m); }

std::uint32_t flatten(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    if (a != 255) {
        const std::uint32_t back = 255 * (255 - a);
        r = (r * a + back + 127) / 255;
        g = (g * a + back + 127) / 255;
        b = (b * a + back + 127) / 255;
    }
    return 0xFF000000u | r << 16 | g << 8 | b;
}

struct Header {
    std::int64_t width = 0, height = 0;
    bool top_down = false;
    bool core = false;  // 12-byte header: 3-byte palette entries, 16-bit sizes
    bool os2 = false;   // 16- or 64-byte header: compressions 3 and 4 mean something else
    std::uint32_t header_size = 0;
    int bpp = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t image_size = 0;
    std::uint32_t colours_used = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};
    bool has_alpha_mask = false;
    std::int64_t masks_end = 0;  // where the palette starts
};

// The first 18 bytes must have been checked present.
Result<Header> read_header(const Reader& r) {
    Header h;
    h.header_size = r.u32(14);
    const std::uint32_t hs = h.header_size;
    if (hs != 12 && hs != 16 && hs != 40 && hs != 52 && hs != 56 && hs != 64 && hs != 108 && hs != 124)
        return fail(QStringLiteral("en-tête BMP de taille inconnue (%1 octets)").arg(hs));
    if (!r.has(14, hs)) return cut_short();
    h.core = hs == 12;
    h.os2 = hs == 16 || hs == 64;
    int planes = 0;
    if (h.core) {
        h.width = r.u16(18);
        h.height = r.u16(20);
        planes = r.u16(22);
        h.bpp = r.u16(24);
    } else {
        h.width = r.i32(18);
        h.height = r.i32(22);
        planes = r.u16(26);
        h.bpp = r.u16(28);
        if (hs >= 40) {
            h.compression = r.u32(30);
            h.image_size = r.u32(34);
            const std::int64_t xd = r.i32(38), yd = r.i32(42);
            if (xd < 0 || yd < 0 || xd > kMaxDensity || yd > kMaxDensity)
                return fail(QStringLiteral("résolution incohérente dans l'en-tête BMP"));
            h.colours_used = r.u32(46);
        }
    }
    if (planes != 1) return fail(QStringLiteral("nombre de plans invalide dans l'en-tête BMP (%1)").arg(planes));
    if (h.width <= 0) return fail(QStringLiteral("largeur invalide dans l'en-tête BMP (%1)").arg(h.width));
    if (h.height == 0) return fail(QStringLiteral("hauteur nulle dans l'en-tête BMP"));
    if (h.height < 0) {
        h.top_down = true;
        h.height = -h.height;
    }
    h.masks_end = 14 + std::int64_t{hs};
    if (!h.os2 && (h.compression == kBitfields || h.compression == kAlphaBitfields)) {
        const bool alpha = h.compression == kAlphaBitfields || hs >= 56;
        const int count = alpha ? 4 : 3;
        // A 40-byte header is followed by the masks; longer ones hold them.
        const std::int64_t at = hs == 40 ? 14 + 40 : 54;
        if (!r.has(at, 4 * count)) return cut_short();
        for (int i = 0; i < count; ++i) h.masks[i] = r.u32(at + 4 * i);
        if (hs == 40) h.masks_end = at + 4 * count;
        h.has_alpha_mask = alpha && h.masks[3] != 0;
    }
    return h;
}

Result<void> check_masks(const Header& h) {
    const std::uint64_t limit = h.bpp == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    std::uint32_t seen = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t m = h.masks[i];
        if (i < 3 && m == 0) return fail(QStringLiteral("masques de couleur invalides dans l'en-tête BMP"));
        if (m == 0) continue;
        if (!contiguous(m) || m > limit || (seen & m) != 0)
            return fail(QStringLiteral("masques de couleur invalides dans l'en-tête BMP"));
        seen |= m;
    }
    return {};
}

class Picture {
public:
    Picture(const Header& h, QImage img) : h_(h), img_(std::move(img)) {}
    // Row as stored in the file: bottom-up unless the header says otherwise.
    std::uint32_t* row(std::int64_t file_row) {
        const std::int64_t y = h_.top_down ? file_row : h_.height - 1 - file_row;
        return reinterpret_cast<std::uint32_t*>(img_.scanLine(static_cast<int>(y)));
    }
    void fill_white() { img_.fill(kWhite); }
    QImage take() { return std::move(img_); }

private:
    const Header& h_;
    QImage img_;
};

// Pixel memory comes without exceptions: running out of it is one more
// reason to refuse the file.
Result<Picture> allocate(const Header& h) {
    QImage img = filter::allocate_rgb32(static_cast<int>(h.width), static_cast<int>(h.height));
    if (img.isNull()) return fail(core::memory_refusal(h.width, h.height));
    return Picture(h, std::move(img));
}

// Entries past `size` stay zero, unlike any colour read from a file (all
// opaque), so that any index below 256 can be looked up without a branch and
// the use of a missing entry still be told afterwards.
struct Palette {
    std::array<std::uint32_t, 256> colours{};
    int size = 0;
    bool holds(std::uint32_t index) const { return index < static_cast<std::uint32_t>(size); }
};

Result<Palette> read_palette(const Reader& r, const Header& h, std::int64_t pixels_at) {
    Palette pal;
    if (h.bpp > 8) return pal;
    const int entry = h.core ? 3 : 4;
    std::int64_t count = h.colours_used ? std::int64_t{h.colours_used} : std::int64_t{1} << h.bpp;
    // Some writers leave out unused entries without saying so: take what
    // fits before the pixels.
    const std::int64_t room = (pixels_at - h.masks_end) / entry;
    if (count > room) {
        if (h.colours_used && !h.core) return fail(QStringLiteral("taille de palette incohérente dans l'en-tête BMP"));
        count = room;
    }
    if (count <= 0) return fail(QStringLiteral("palette absente"));
    if (!r.has(h.masks_end, count * entry)) return cut_short();
    pal.size = static_cast<int>(std::min<std::int64_t>(count, std::int64_t{1} << h.bpp));
    for (int i = 0; i < pal.size; ++i) {
        const std::uint8_t* e = r.at(h.masks_end + std::int64_t{i} * entry);
        pal.colours[i] = 0xFF000000u | std::uint32_t{e[2]} << 16 | std::uint32_t{e[1]} << 8 | e[0];
    }
    return pal;
}

template <bool kCheckIndex>
bool decode_indexed_rows(const Reader& r, const Header& h, const Palette& pal, std::int64_t at, std::int64_t stride,
                         Picture& pic) {
    const int bpp = h.bpp;
    const std::uint32_t mask = (1u << bpp) - 1;
    // Entries past the palette are zero, the only colours without alpha:
    // one AND a pixel tells whether any was used.
    std::uint32_t all = 0xFF000000u;
    for (std::int64_t y = 0; y < h.height; ++y) {
        const std::uint8_t* src = r.at(at + y * stride);
        std::uint32_t* out = pic.row(y);
        for (std::int64_t x = 0; x < h.width; ++x) {
            const std::int64_t bit = x * bpp;
            const std::uint32_t index = (src[bit >> 3] >> (8 - bpp - (bit & 7))) & mask;
            const std::uint32_t colour = pal.colours[index];
            if constexpr (kCheckIndex) all &= colour;
            out[x] = colour;
        }
    }
    return all == 0xFF000000u;
}

// A full palette holds every index the pixels can name, so only a short one
// pays for the check; a bad index is found after the rows, not among them,
// and the picture is then refused whole.
Result<void> decode_indexed(const Reader& r, const Header& h, const Palette& pal, std::int64_t at, std::int64_t stride,
                            Picture& pic) {
    const bool full = pal.size >= (1 << h.bpp);
    const bool inside = full ? decode_indexed_rows<false>(r, h, pal, at, stride, pic)
                             : decode_indexed_rows<true>(r, h, pal, at, stride, pic);
    if (!inside) return out_of_palette();
    return {};
}

void decode_direct(const Reader& r, const Header& h, std::int64_t at, std::int64_t stride, Picture& pic) {
    if (h.bpp == 24) {
        for (std::int64_t y = 0; y < h.height; ++y) {
            const std::uint8_t* src = r.at(at + y * stride);
            std::uint32_t* out = pic.row(y);
            for (std::int64_t x = 0; x < h.width; ++x, src += 3)
                out[x] = 0xFF000000u | std::uint32_t{src[2]} << 16 | std::uint32_t{src[1]} << 8 | src[0];
        }
        return;
    }
    std::uint32_t m[4] = {h.masks[0], h.masks[1], h.masks[2], h.has_alpha_mask ? h.masks[3] : 0};
    if (h.compression == kRgb) {
        // Without bit fields the top bits are unused (not alpha).
        m[0] = h.bpp == 16 ? 0x7C00u : 0xFF0000u;
        m[1] = h.bpp == 16 ? 0x03E0u : 0x00FF00u;
        m[2] = h.bpp == 16 ? 0x001Fu : 0x0000FFu;
        m[3] = 0;
    }
    const Channel red(m[0]), green(m[1]), blue(m[2]), alpha(m[3]);
    const bool plain32 = h.bpp == 32 && m[0] == 0xFF0000u && m[1] == 0xFF00u && m[2] == 0xFFu && m[3] == 0;
    for (std::int64_t y = 0; y < h.height; ++y) {
        const std::uint8_t* src = r.at(at + y * stride);
        std::uint32_t* out = pic.row(y);
        if (plain32) {
            for (std::int64_t x = 0; x < h.width; ++x, src += 4)
                out[x] = 0xFF000000u | std::uint32_t{src[2]} << 16 | std::uint32_t{src[1]} << 8 | src[0];
        } else if (h.bpp == 16) {
            for (std::int64_t x = 0; x < h.width; ++x, src += 2) {
                const std::uint32_t v = src[0] | std::uint32_t{src[1]} << 8;
                out[x] = flatten(red(v), green(v), blue(v), alpha(v));
            }
        } else {
            for (std::int64_t x = 0; x < h.width; ++x, src += 4) {
                const std::uint32_t v =
                    src[0] | std::uint32_t{src[1]} << 8 | std::uint32_t{src[2]} << 16 | std::uint32_t{src[3]} << 24;
                out[x] = flatten(red(v), green(v), blue(v), alpha(v));
            }
        }
    }
}

// RLE4 and RLE8. Any run, copy or move that would leave the picture is
// refused: such a stream is corrupt and guessing would show garbage. A
// stream's faults are reported in the order they come, so a bad index is
// refused where it is met, before anything later in the stream.
Result<void> decode_rle(const Reader& r, const Header& h, const Palette& pal, std::int64_t at, std::int64_t end,
                        Picture& pic) {
    pic.fill_white();
    const bool four = h.compression == kRle4;
    auto bad = [] { return fail(QStringLiteral("données RLE invalides")); };
    auto cut = [] { return fail(QStringLiteral("données RLE tronquées")); };
    std::int64_t x = 0, y = 0, p = at;
    auto fits = [&](std::int64_t n) { return y < h.height && n <= h.width - x; };
    for (;;) {
        if (p >= end) {
            // A stream may end with its last end-of-line instead of an end mark.
            if (y >= h.height) return {};
            return cut();
        }
        if (end - p < 2) return cut();
        const std::uint32_t count = *r.at(p), code = *r.at(p + 1);
        p += 2;
        if (count > 0) {
            if (!fits(count)) return bad();
            std::uint32_t* out = pic.row(y);
            if (four) {
                if (!pal.holds(code >> 4) || !pal.holds(code & 15)) return out_of_palette();
                const std::uint32_t c[2] = {pal.colours[code >> 4], pal.colours[code & 15]};
                for (std::uint32_t i = 0; i < count; ++i) out[x++] = c[i & 1];
            } else {
                if (!pal.holds(code)) return out_of_palette();
                const std::uint32_t c = pal.colours[code];
                for (std::uint32_t i = 0; i < count; ++i) out[x++] = c;
            }
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            return {};
        } else if (code == 2) {
            if (end - p < 2) return cut();
            const std::int64_t dx = *r.at(p), dy = *r.at(p + 1);
            p += 2;
            if (x + dx > h.width || y + dy > h.height) return bad();
            x += dx;
            y += dy;
        } else {
            if (!fits(code)) return bad();
            std::uint32_t* out = pic.row(y);
            const std::uint32_t bytes = four ? (code + 1) / 2 : code;
            if (end - p < std::int64_t{bytes}) return cut();
            const std::uint8_t* src = r.at(p);
            bool outside = false;
            for (std::uint32_t i = 0; i < code; ++i) {
                const std::uint32_t index = four ? ((i & 1) ? (src[i / 2] & 15) : (src[i / 2] >> 4)) : src[i];
                outside |= !pal.holds(index);
                out[x++] = pal.colours[index];
            }
            if (outside) return out_of_palette();
            p += bytes + (bytes & 1);  // copies are padded to a 16-bit boundary
        }
    }
}

Result<QImage> decode(const QByteArray& data, std::int64_t max_pixels, EmbeddedDecoder embedded) {
    const Reader r(data);
    if (!r.has(0, 18)) return cut_short();
    const std::uint32_t file_size = r.u32(2);
    const std::uint32_t pixels_at = r.u32(10);
    const Result<Header> header = read_header(r);
    if (!header) return fail(header.error());
    const Header& h = *header;

    if (h.width * h.height > max_pixels) return fail(core::size_refusal(h.width, h.height));
    // Some writers store the header sizes here; a larger value than the data
    // means the file was cut short.
    if (file_size > r.size())
        return fail(
            QStringLiteral("fichier BMP tronqué (%1 octets annoncés, %2 présents)").arg(file_size).arg(r.size()));
    if (pixels_at < h.masks_end || pixels_at > r.size())
        return fail(QStringLiteral("position des pixels invalide dans l'en-tête BMP"));

    const std::uint32_t c = h.compression;
    if (h.os2 && c != kRgb && !(c == kRle8 && h.bpp == 8) && !(c == kRle4 && h.bpp == 4))
        return fail(QStringLiteral("compression BMP non prise en charge (%1)").arg(c));
    if (h.top_down && c != kRgb && c != kBitfields && c != kAlphaBitfields)
        return fail(QStringLiteral("une image BMP compressée ne peut pas être enregistrée de haut en bas"));

    const std::int64_t available = r.size() - pixels_at;
    if (h.image_size > available) return fail(QStringLiteral("taille des pixels incohérente dans l'en-tête BMP"));

    if (c == kJpeg || c == kPng) {
        if (h.bpp != 0 || h.image_size == 0) return fail(QStringLiteral("en-tête BMP incohérent"));
        const QByteArray inner = data.mid(pixels_at, h.image_size);
        const bool inner_ok = c == kJpeg ? inner.startsWith("\xFF\xD8\xFF") : inner.startsWith("\x89PNG\r\n\x1A\n");
        if (!inner_ok || !embedded) return fail(QStringLiteral("image intégrée au BMP illisible"));
        auto img = embedded(inner, max_pixels);
        if (!img)
            return fail(QStringLiteral("image intégrée au BMP illisible (%1)").arg(img.error().reason_as<QString>()));
        if (img->width() != h.width || img->height() != h.height)
            return fail(QStringLiteral("dimensions de l'image intégrée différentes de l'en-tête BMP"));
        return *img;
    }

    switch (c) {
        case kRgb:
            if (h.bpp != 1 && h.bpp != 2 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
                return fail(QStringLiteral("profondeur de couleur BMP non prise en charge (%1 bits)").arg(h.bpp));
            break;
        case kRle8:
            if (h.bpp != 8) return fail(QStringLiteral("en-tête BMP incohérent (RLE8 à %1 bits)").arg(h.bpp));
            break;
        case kRle4:
            if (h.bpp != 4) return fail(QStringLiteral("en-tête BMP incohérent (RLE4 à %1 bits)").arg(h.bpp));
            break;
        case kBitfields:
        case kAlphaBitfields:
            if (h.bpp != 16 && h.bpp != 32)
                return fail(QStringLiteral("profondeur de couleur BMP non prise en charge (%1 bits)").arg(h.bpp));
            if (const Result<void> masks = check_masks(h); !masks) return fail(masks.error());
            break;
        default:
            return fail(QStringLiteral("compression BMP non prise en charge (%1)").arg(c));
    }

    const Result<Palette> pal = read_palette(r, h, pixels_at);
    if (!pal) return fail(pal.error());
    if (c == kRle4 || c == kRle8) {
        const std::int64_t end = pixels_at + (h.image_size ? std::int64_t{h.image_size} : available);
        Result<Picture> pic = allocate(h);
        if (!pic) return fail(pic.error());
        if (const Result<void> rle = decode_rle(r, h, *pal, pixels_at, end, *pic); !rle) return fail(rle.error());
        return pic->take();
    }

    const std::int64_t stride = (h.width * h.bpp + 31) / 32 * 4;
    if (stride * h.height > available)
        return fail(QStringLiteral("fichier BMP tronqué (%1 octets de pixels attendus, %2 présents)")
                        .arg(stride * h.height)
                        .arg(available));
    Result<Picture> pic = allocate(h);
    if (!pic) return fail(pic.error());
    if (h.bpp <= 8) {
        if (const Result<void> rows = decode_indexed(r, h, *pal, pixels_at, stride, *pic); !rows)
            return fail(rows.error());
    } else {
        decode_direct(r, h, pixels_at, stride, *pic);
    }
    return pic->take();
}

}  // namespace

bool is_bmp(const QByteArray& data) { return data.startsWith("BM"); }

core::Result<QImage> decode_bmp(const QByteArray& data, std::int64_t max_pixels, EmbeddedDecoder embedded) {
    return decode(data, max_pixels, embedded);
}

}  // namespace bitmap
