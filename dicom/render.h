#pragma once
// How the helper turns the first frame's stored values into the picture the
// file asks to be shown: the modality rescale, then the file's VOI (its LUT,
// else its window, else the picture's own range), MONOCHROME1 or an inverse
// presentation shape turned back, colour models converted to RGB, palettes
// looked up. Every grey level is worked out once per possible stored value,
// into a table the pixels then go through in one pass.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataset.h"
#include "result.h"

namespace dicom::render {

// The first frame's samples, as stored in the file or as the codec gave them.
struct Samples {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    int width = 0, height = 0, samples_per_pixel = 1;
    int bits_allocated = 16, bits_stored = 16, high_bit = 15;
    bool is_signed = false;
    bool big_endian = false;  // 16-bit words with their high byte first
    bool planar = false;      // colour planes one after the other
    std::string photometric;  // MONOCHROME1, RGB, YBR_FULL_422...
};

struct Lut {
    int first = 0;  // the value mapped to entries[0]
    int bits = 16;
    std::vector<std::uint16_t> entries;
};

enum class VoiFunction { linear, linear_exact, sigmoid };

struct Window {
    double center = 0, width = 1;
    VoiFunction function = VoiFunction::linear;
};

struct Display {
    double slope = 1, intercept = 0;
    std::optional<Lut> voi;
    std::optional<Window> window;
    bool inverse_shape = false;           // Presentation LUT Shape INVERSE
    std::optional<Lut> red, green, blue;  // PALETTE COLOR
};

// What the data set asks for (for enhanced multi-frame files, the first
// frame's functional groups, else the shared ones).
core::Result<Display> display_of(const parse::DataSet& data, bool signed_values);

// The bytes one frame of these samples takes (a 4:2:2 YBR frame half its chroma).
std::size_t frame_bytes(const Samples& s);

// Writes width * height BGRX pixels (X = 0xFF), top-down, rows 4 * width apart.
core::Result<void> to_bgrx(const Samples& s, const Display& d, std::uint8_t* out);

}  // namespace dicom::render
