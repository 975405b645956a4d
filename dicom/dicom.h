#pragma once
// DICOM pictures, decoded in a helper process (selection_image_dicom) so
// that a damaged file cannot take the program down with it: the codec
// library aborts on some damaged files, takes seconds on others, and may run
// other programs that leave files behind. The helper gets a private
// temporary folder (removed afterwards with all it holds), a time limit
// (10 s unless set otherwise), limits on its memory and processor time, and
// no output but the picture, which it leaves in shared memory that the
// caller then maps: the pixels are never copied on their way back.
//
// What is shown is what the file asks for, first frame only: the stored
// values through Rescale Slope/Intercept, then the VOI (the first table of a
// VOI LUT Sequence, its output range 0..2^bits-1 spread over 0..255; else the
// first Window Center/Width pair of width >= 1 through the VOI LUT Function,
// LINEAR, LINEAR_EXACT or SIGMOID; for enhanced multi-frame files, those of
// the first frame's functional groups, else of the shared ones); without a
// VOI, more than 8 bits stored are spread from their lowest to their highest
// rescaled value (all alike: mid-grey 128) and 8 bits show as stored.
// Rounding is to the nearest, halves up. MONOCHROME1 or a Presentation LUT
// Shape INVERSE turns the result over. RGB shows as stored, YBR_FULL and
// YBR_FULL_422 through the full-range conversion, PALETTE COLOR through its
// palette (16-bit entries by their high byte).
//
// No Qt and no codec library here: the window and the batch tool link this.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "result.h"
#include "sniff.h"

namespace dicom {

// A decoded picture: `height` top-down rows of `width` BGRX pixels (X is
// 0xFF), `stride` bytes apart, in a block of `bytes` bytes. Whoever holds it
// gives it back once, from any thread, through release(data, bytes); the
// shape is the one the window adopts without a copy.
struct Picture {
    unsigned char* data;
    std::size_t bytes;
    int width, height;
    std::ptrdiff_t stride;
    void (*release)(unsigned char* data, std::size_t bytes);
};

// The bytes of a file (with its "DICM" mark, or a bare data set). A
// picture, or why not in French ("fichier DICOM illisible : ...", "le
// décodage DICOM a dépassé 10 s", "décodeur DICOM absent : ...", ...).
// A picture of more than max_pixels pixels is refused before it is decoded.
// Throws std::bad_alloc when this process runs out of memory.
core::Result<Picture> decode_dicom(const unsigned char* data, std::size_t size, std::int64_t max_pixels);

// The same for a file by its path: the helper reads the file itself (the
// descriptor this process opened), without the copy into shared memory that
// bytes need.
core::Result<Picture> decode_dicom_file(const std::string& path, std::int64_t max_pixels);

// For bytes no other decoder recognised: no value (and no failure) when
// they are not DICOM at all, so that the caller can still say that the
// format is not recognised; otherwise as decode_dicom.
core::Result<std::optional<Picture>> decode_if_dicom(const unsigned char* data, std::size_t size,
                                                     std::int64_t max_pixels);

// Gives the picture back and empties `picture`.
void release(Picture& picture);

struct HelperSettings {
    // The helper program; empty for the one installed beside the window's
    // library, found from the running program's own folder.
    std::string path;
    // How long the helper may take, wall clock, before it is killed.
    std::chrono::milliseconds time_limit{10000};
};

// For the whole process, from now on (tests, the fuzz build). Thread-safe.
void set_helper_settings(HelperSettings settings);
HelperSettings helper_settings();

// Where the helper is looked for when no path is set.
std::string default_helper_path();

}  // namespace dicom
