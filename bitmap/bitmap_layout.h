#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// The layout of Windows bitmap files as the staging file uses them: the
// header this program writes, and the reading of the headers the writer
// accepts straight from the file's bytes.
namespace bitmap {

// File header (14) + BITMAPINFOHEADER (40) + three colour masks (12).
inline constexpr std::size_t kTopDownHeaderSize = 66;

// Header of a 32-bit top-down BI_BITFIELDS bitmap whose rows are BGRX.
std::array<unsigned char, kTopDownHeaderSize> top_down_bgrx_header(int width, int height);
std::uint64_t top_down_bgrx_file_size(int width, int height);

enum class RowFormat {
    Bgrx,   // 32 bits, blue green red, fourth byte ignored
    Bgr,    // 24 bits
    Other,  // palette, 16 bits, compressed: left to a general reader
};

struct Layout {
    int width = 0;
    int height = 0;  // always positive
    bool top_down = false;
    RowFormat format = RowFormat::Other;
    std::size_t pixel_offset = 0;  // where the first stored row starts
    std::size_t pitch = 0;         // bytes from one stored row to the next
};

// Reads the headers of a bitmap file held in `data`. False when the bytes are
// not a Windows bitmap, or when its pixels for Bgrx and Bgr would run past
// `size` (a truncated file). Sizes beyond `max_pixels` are refused.
bool read_layout(const unsigned char* data, std::size_t size, std::int64_t max_pixels, Layout* out);

}  // namespace bitmap
