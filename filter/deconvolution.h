#pragma once
#include <cstddef>
#include <cstdint>

namespace filter {

// Weights of the five-sample smoothing window and the amplification of the
// sharpening: result = 1.9 * picture - smoothed picture.
inline constexpr double kOuterWeight = 1.35 / 19.027974;
inline constexpr double kInnerWeight = 6.06 / 19.027974;
inline constexpr double kAmplification = 1.9;

// Sharpens the BGRX picture in `reference` (width x height) and leaves the
// sharpened picture in both `reference` and `result`. The smoothing windows
// are not centred: columns x..x+4 go into column x, rows y..y+4 into row y;
// the last 5 columns and rows are not smoothed. The fourth byte is carried.
// The result is byte for byte what the plain double-precision loops give.
// Returns the sum of the blue bytes of the sharpened picture.
std::uint64_t deconvolve(std::uint8_t* reference, std::uint8_t* result, int width, int height);
// The same from the picture in `source`, which is only read, into `reference`
// (which may be `source` itself) and `result`.
std::uint64_t deconvolve(const std::uint8_t* source, std::uint8_t* reference, std::uint8_t* result, int width,
                         int height);

// The two byte kernels the pass is made of, on whatever vector unit the
// processor has; exposed so that they can be checked on their own.
//
// out[i] = to byte(a*p4[i] + a*p0[i] + b*p1[i] + b*p3[i] + p2[i]/7), the
// double sum in that order, for i < n.
void smooth_bytes(const std::uint8_t* const p[5], std::uint8_t* out, std::size_t n);
// For each BGRX pixel of the n bytes (n a multiple of 4): colour bytes
// to byte(clamp(1.9*ref - smoothed)), fourth byte from ref; written to both
// out1 and out2 (either may be ref itself). Returns the sum of the blue
// bytes written.
std::uint64_t sharpen_bytes(const std::uint8_t* ref, const std::uint8_t* smoothed, std::uint8_t* out1,
                            std::uint8_t* out2, std::size_t n);

// The kernels run on the widest vector unit the processor has; a narrower
// one can be chosen (tests check each). Returns false, changing nothing, when
// the processor lacks it.
enum class VectorUnit { plain, avx2, avx512 };
VectorUnit widest_vector_unit();
bool select_vector_unit(VectorUnit unit);

}  // namespace filter
