#pragma once
#include <cstddef>
#include <cstdint>

namespace filter {

// Weights of the five-sample smoothing window and the amplification of the
// sharpening: result = 1.9 * picture - smoothed picture.
inline constexpr double kOuterWeight = 1.35 / 19.027974;
inline constexpr double kInnerWeight = 6.06 / 19.027974;
inline constexpr double kAmplification = 1.9;

// The byte kernels the sharpening is made of, each giving byte for byte what
// the plain double-precision loops give. The smoothing works on rows of
// `stride` bytes per pixel: the BGRX pixel itself, or its three colour bytes,
// which to_work makes from a BGRX row.
struct SharpenKernels {
    std::size_t stride;
    // Null when the work rows are the BGRX rows themselves.
    void (*to_work)(const std::uint8_t* px, std::uint8_t* work, std::size_t pixels);
    // out[i] = to byte(a*p4[i] + a*p0[i] + b*p1[i] + b*p3[i] + p2[i]/7), the
    // double sum in that order (a, b: the outer and inner weights), i < n.
    void (*smooth)(const std::uint8_t* const p[5], std::uint8_t* out, std::size_t n);
    // For each BGRX pixel of ref: colour bytes to byte(clamp(1.9*ref -
    // smoothed)), the fourth byte from ref, written to both out1 and out2
    // (either may be ref itself). Returns the sum of the blue bytes written.
    std::uint64_t (*sharpen)(const std::uint8_t* ref, const std::uint8_t* smoothed_work, std::uint8_t* out1,
                             std::uint8_t* out2, std::size_t pixels);
};

// The kernels for the vector unit the passes use.
SharpenKernels sharpen_kernels();

}  // namespace filter
