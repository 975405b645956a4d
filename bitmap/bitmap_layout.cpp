#include "bitmap_layout.h"

#include <cstdlib>

namespace bitmap {
namespace {

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t get16(const unsigned char* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::uint32_t get32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

}  // namespace

std::uint64_t top_down_bgrx_file_size(int width, int height) {
    return kTopDownHeaderSize + std::uint64_t(width) * std::uint64_t(height) * 4;
}

std::array<unsigned char, kTopDownHeaderSize> top_down_bgrx_header(int width, int height) {
    std::array<unsigned char, kTopDownHeaderSize> h{};
    unsigned char* p = h.data();
    const std::uint64_t image_bytes = std::uint64_t(width) * std::uint64_t(height) * 4;
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, static_cast<std::uint32_t>(kTopDownHeaderSize + image_bytes));
    put32(p + 10, kTopDownHeaderSize);
    put32(p + 14, 40);
    put32(p + 18, static_cast<std::uint32_t>(width));
    put32(p + 22, static_cast<std::uint32_t>(-height));  // negative: first row is the top
    put16(p + 26, 1);
    put16(p + 28, 32);
    put32(p + 30, kBiBitfields);
    put32(p + 34, static_cast<std::uint32_t>(image_bytes));
    put32(p + 38, 3780);  // 96 dots per inch
    put32(p + 42, 3780);
    put32(p + 54, 0x00FF0000);  // red
    put32(p + 58, 0x0000FF00);  // green
    put32(p + 62, 0x000000FF);  // blue
    return h;
}

bool read_layout(const unsigned char* d, std::size_t size, std::int64_t max_pixels, Layout* out) {
    if (size < 26 || d[0] != 'B' || d[1] != 'M') return false;
    const std::uint32_t info_size = get32(d + 14);
    Layout l;
    std::uint32_t bits = 0;
    std::uint32_t compression = kBiRgb;
    if (info_size == 12) {  // OS/2 core header
        l.width = static_cast<int>(get16(d + 18));
        l.height = static_cast<int>(get16(d + 20));
        bits = get16(d + 24);
    } else if (info_size >= 40 && size >= 14 + std::size_t{40}) {
        const auto w = static_cast<std::int32_t>(get32(d + 18));
        const auto h = static_cast<std::int32_t>(get32(d + 22));
        if (w <= 0 || h == 0 || h == INT32_MIN) return false;
        l.width = w;
        l.top_down = h < 0;
        l.height = h < 0 ? -h : h;
        bits = get16(d + 28);
        compression = get32(d + 30);
    } else {
        return false;
    }
    if (l.width <= 0 || l.height <= 0 || std::int64_t(l.width) * l.height > max_pixels) return false;
    l.pixel_offset = get32(d + 10);

    if (bits == 24 && compression == kBiRgb) {
        l.format = RowFormat::Bgr;
    } else if (bits == 32 && compression == kBiRgb) {
        l.format = RowFormat::Bgrx;
    } else if (bits == 32 && compression == kBiBitfields && info_size >= 40) {
        // Masks follow a 40-byte header, or sit inside a larger one.
        const std::size_t masks = 14 + 40;
        if (size < masks + 12) return false;
        const bool bgrx =
            get32(d + masks) == 0x00FF0000 && get32(d + masks + 4) == 0x0000FF00 && get32(d + masks + 8) == 0x000000FF;
        l.format = bgrx ? RowFormat::Bgrx : RowFormat::Other;
    } else {
        l.format = RowFormat::Other;
    }
    if (l.format != RowFormat::Other) {
        const std::size_t bytes_per_pixel = l.format == RowFormat::Bgrx ? 4 : 3;
        l.pitch = (std::size_t(l.width) * bytes_per_pixel + 3) & ~std::size_t{3};
        if (l.pixel_offset < 14 + std::size_t{info_size} || l.pixel_offset > size ||
            (size - l.pixel_offset) / l.pitch < std::size_t(l.height))
            return false;
    }
    *out = l;
    return true;
}

}  // namespace bitmap
