#include "scan_bitmap.h"

#include "picture_limits.h"

#include <algorithm>
#include <cstring>

namespace scan {
namespace {

int samples_per_pixel(ScanFrameFormat::Kind kind) { return kind == ScanFrameFormat::Kind::Rgb ? 3 : 1; }

// 16-bit samples arrive in the host's byte order; a scaled, rounded 8-bit value
// keeps 65535 white and 0 black.
inline std::uint8_t sample16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<std::uint8_t>((std::uint32_t{v} * 255 + 32767) / 65535);
}

inline bool bit_at(const std::uint8_t* line, std::size_t index) { return (line[index >> 3] >> (7 - (index & 7))) & 1; }

// The value of sample `index` of a line, as 8 bits. In a grey frame of depth 1
// a set bit is black; in colour frames a set bit is full intensity.
inline std::uint8_t sample_at(const std::uint8_t* line, std::size_t index, int depth, bool gray) {
    switch (depth) {
        case 1:
            return bit_at(line, index) == gray ? 0 : 255;
        case 16:
            return sample16(line + 2 * index);
        default:
            return line[index];
    }
}

void put_u16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put_u32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

core::Result<> ScanBitmap::begin_frame(const ScanFrameFormat& format) {
    if (in_frame_) end_frame();
    if (format.depth != 1 && format.depth != 8 && format.depth != 16) {
        return core::fail(QStringLiteral("profondeur de %1 bits non prise en charge").arg(format.depth));
    }
    if (format.pixels_per_line <= 0) {
        return core::fail(QStringLiteral("le scanner annonce une largeur de %1 pixels").arg(format.pixels_per_line));
    }
    const std::int64_t needed_bits =
        std::int64_t{format.pixels_per_line} * samples_per_pixel(format.kind) * format.depth;
    const std::int64_t needed = (needed_bits + 7) / 8;
    if (format.bytes_per_line < needed || format.bytes_per_line > 2 * needed + 4096) {
        return core::fail(QStringLiteral("le scanner annonce %1 octets par ligne pour %2 pixels de %3 bits")
                              .arg(format.bytes_per_line)
                              .arg(format.pixels_per_line)
                              .arg(format.depth));
    }
    if (width_ != 0 && format.pixels_per_line != width_) {
        return core::fail(QStringLiteral("les passes du scanner n'ont pas la même largeur (%1 et %2 pixels)")
                              .arg(width_)
                              .arg(format.pixels_per_line));
    }
    if (format.pixels_per_line > core::kMaxPicturePixels ||
        (format.lines > 0 && std::int64_t{format.lines} * format.pixels_per_line > core::kMaxPicturePixels)) {
        return core::fail(
            QStringLiteral("image trop grande (%1 x %2 pixels)").arg(format.pixels_per_line).arg(format.lines));
    }
    if (width_ == 0) {
        width_ = format.pixels_per_line;
        stride_ = (3 * width_ + 3) & ~3;
        rows_.assign(kBitmapHeaderSize, 0);
        if (format.lines > 0) rows_.reserve(kBitmapHeaderSize + std::size_t(format.lines) * stride_);
    }
    format_ = format;
    line_.assign(std::size_t(format.bytes_per_line), 0);
    line_fill_ = 0;
    frame_rows_ = 0;
    in_frame_ = true;
    return {};
}

core::Result<> ScanBitmap::ensure_row(int row) {
    if (row < rows_allocated_) return {};
    if (std::int64_t{row + 1} * width_ > core::kMaxPicturePixels) {
        return core::fail(QStringLiteral("image trop grande (plus de %1 lignes de %2 pixels)").arg(row).arg(width_));
    }
    rows_.resize(kBitmapHeaderSize + std::size_t(row + 1) * stride_, 0);
    rows_allocated_ = row + 1;
    return {};
}

core::Result<> ScanBitmap::store_line() {
    const int row = frame_rows_;
    // A frame longer than announced is kept only when its length was unknown.
    if (format_.lines >= 0 && row >= format_.lines) return {};
    if (auto room = ensure_row(row); !room) return room;
    std::uint8_t* out = rows_.data() + kBitmapHeaderSize + std::size_t(row) * stride_;
    const std::uint8_t* in = line_.data();
    const int depth = format_.depth;
    switch (format_.kind) {
        case ScanFrameFormat::Kind::Gray:
            for (int x = 0; x < width_; ++x) {
                const std::uint8_t v = sample_at(in, std::size_t(x), depth, true);
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
            }
            break;
        case ScanFrameFormat::Kind::Rgb:
            for (int x = 0; x < width_; ++x) {
                out[3 * x + 2] = sample_at(in, 3 * std::size_t(x), depth, false);
                out[3 * x + 1] = sample_at(in, 3 * std::size_t(x) + 1, depth, false);
                out[3 * x] = sample_at(in, 3 * std::size_t(x) + 2, depth, false);
            }
            break;
        default: {
            const int channel = format_.kind == ScanFrameFormat::Kind::Red     ? 2
                                : format_.kind == ScanFrameFormat::Kind::Green ? 1
                                                                               : 0;
            for (int x = 0; x < width_; ++x) out[3 * x + channel] = sample_at(in, std::size_t(x), depth, false);
        }
    }
    ++frame_rows_;
    return {};
}

core::Result<> ScanBitmap::add_data(const std::uint8_t* data, std::size_t size) {
    if (!in_frame_) {
        return core::fail(QStringLiteral("données reçues hors d'une passe"));
    }
    while (size > 0) {
        const std::size_t take = std::min(size, line_.size() - line_fill_);
        std::memcpy(line_.data() + line_fill_, data, take);
        line_fill_ += take;
        data += take;
        size -= take;
        if (line_fill_ == line_.size()) {
            line_fill_ = 0;
            if (auto stored = store_line(); !stored) return stored;
        }
    }
    return {};
}

void ScanBitmap::end_frame() {
    if (!in_frame_) return;
    in_frame_ = false;
    min_frame_rows_ = min_frame_rows_ < 0 ? frame_rows_ : std::min(min_frame_rows_, frame_rows_);
}

int ScanBitmap::height() const {
    if (in_frame_) return min_frame_rows_ < 0 ? frame_rows_ : std::min(min_frame_rows_, frame_rows_);
    return std::max(min_frame_rows_, 0);
}

std::int64_t ScanBitmap::expected_frame_bytes() const {
    if (!in_frame_ || format_.lines < 0) return 0;
    return std::int64_t{format_.lines} * format_.bytes_per_line;
}

core::Result<std::vector<std::uint8_t>> ScanBitmap::take_file() {
    end_frame();
    const int height = this->height();
    if (width_ <= 0 || height <= 0) {
        return core::fail(QStringLiteral("le scanner n'a envoyé aucune ligne complète"));
    }
    const std::size_t image_size = std::size_t(height) * stride_;
    rows_.resize(kBitmapHeaderSize + image_size);
    // Rows came top-down; a bitmap file stores them bottom-up.
    std::uint8_t* first = rows_.data() + kBitmapHeaderSize;
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(first + std::size_t(top) * stride_, first + std::size_t(top + 1) * stride_,
                         first + std::size_t(bottom) * stride_);
    std::uint8_t* h = rows_.data();
    std::memset(h, 0, kBitmapHeaderSize);
    h[0] = 'B';
    h[1] = 'M';
    put_u32(h + 2, std::uint32_t(kBitmapHeaderSize + image_size));
    put_u32(h + 10, std::uint32_t(kBitmapHeaderSize));
    put_u32(h + 14, 40);
    put_u32(h + 18, std::uint32_t(width_));
    put_u32(h + 22, std::uint32_t(height));
    put_u16(h + 26, 1);
    put_u16(h + 28, 24);
    put_u32(h + 34, std::uint32_t(image_size));
    std::vector<std::uint8_t> file = std::move(rows_);
    *this = ScanBitmap();
    return file;
}

}  // namespace scan
