#pragma once
// The one door between the helper and the codec library: a module the
// helper loads only for a compressed frame, so that a native file never
// pays for the library's start. Plain C, so that neither side depends on
// how the other was built.
#include <stddef.h>

extern "C" {

struct DicomCodecFrame {
    const char* transfer_syntax;
    int columns, rows, samples_per_pixel;
    int bits_allocated, bits_stored, high_bit, pixel_representation;
    int planar_configuration;
    const char* photometric;
    const unsigned char* data;  // the frame's compressed bytes, fragments joined
    size_t size;
};

struct DicomCodecPicture {
    unsigned char* data;  // malloc'ed; the caller frees it
    size_t size;
    // What the buffer holds, which the codec may have changed (a JPEG's
    // YCbCr comes out as RGB, for instance).
    char photometric[32];
    int planar_configuration;
    int bits_allocated, bits_stored, high_bit, pixel_representation;
};

enum DicomCodecOutcome { dicom_codec_decoded = 0, dicom_codec_unknown_syntax = 1, dicom_codec_failed = 2 };

// Decodes one frame; on success *out is filled.
int selection_image_dicom_decode_frame(const struct DicomCodecFrame* frame, struct DicomCodecPicture* out);
typedef int (*DicomDecodeFrame)(const struct DicomCodecFrame*, struct DicomCodecPicture*);
}

inline constexpr const char* kCodecModule = "libselection_image_dicom_codec.so";
