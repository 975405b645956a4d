#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "result.h"

namespace scan {

// What a scanner says about one frame before sending it.
struct ScanFrameFormat {
    enum class Kind { Gray, Rgb, Red, Green, Blue };
    Kind kind = Kind::Gray;
    int bytes_per_line = 0;
    int pixels_per_line = 0;
    int lines = -1;  // -1: not known until the data end (hand-held scanners)
    int depth = 8;   // bits per sample: 1, 8 or 16 (16-bit samples in host byte order)
};

// Gathers the frames of one scanned page, whatever their kind and depth, into
// a 24-bit Windows bitmap file held in memory. Lines are converted as they
// complete, so memory holds the 24-bit picture and one line of input only.
class ScanBitmap {
public:
    // Starts a frame. Fails on a format no picture can come from (unknown depth,
    // lines shorter than their pixels, a width that differs from earlier frames,
    // a picture larger than the program accepts).
    core::Result<> begin_frame(const ScanFrameFormat& format);
    // Data of the current frame, in pieces of any length.
    core::Result<> add_data(const std::uint8_t* data, std::size_t size);
    // Ends the current frame; a partial last line is dropped.
    void end_frame();

    int width() const { return width_; }
    // Rows every frame delivered so far.
    int height() const;
    // Bytes the current frame is expected to bring (0 when its length is unknown).
    std::int64_t expected_frame_bytes() const;

    // The bitmap file (bottom-up BGR rows padded to 4 bytes, 54-byte header).
    // Fails when no complete row arrived. Leaves this object empty.
    core::Result<std::vector<std::uint8_t>> take_file();

private:
    core::Result<> store_line();
    core::Result<> ensure_row(int row);

    ScanFrameFormat format_;
    bool in_frame_ = false;
    int width_ = 0;
    int stride_ = 0;                  // bytes per output row
    std::vector<std::uint8_t> rows_;  // top-down BGR rows, after room for the header
    int rows_allocated_ = 0;
    int min_frame_rows_ = -1;         // fewest rows of any finished frame
    int frame_rows_ = 0;              // rows of the current frame so far
    std::vector<std::uint8_t> line_;  // the current input line
    std::size_t line_fill_ = 0;
};

inline constexpr std::size_t kBitmapHeaderSize = 54;

}  // namespace scan
