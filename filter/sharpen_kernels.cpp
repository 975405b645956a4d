#include "sharpen_kernels.h"

#include <cmath>
#include <cstring>

#include "vector_unit.h"

#ifdef FILTER_X86_KERNELS
#include <immintrin.h>
#endif

namespace filter {
namespace {

// ---- The definition: double arithmetic in the written order. ----

inline std::uint8_t smooth_exact(std::uint8_t v0, std::uint8_t v1, std::uint8_t v2, std::uint8_t v3, std::uint8_t v4) {
    const double s = kOuterWeight * v4 + kOuterWeight * v0 + kInnerWeight * v1 + kInnerWeight * v3 + v2 / 7.0;
    return static_cast<std::uint8_t>(std::nearbyint(s > 255 ? 255.0 : s));
}

inline std::uint8_t sharpen_exact(std::uint8_t original, std::uint8_t smoothed) {
    const double t = kAmplification * original - smoothed;
    return static_cast<std::uint8_t>(std::nearbyint(t < 0 ? 0.0 : (t > 255 ? 255.0 : t)));
}

// ---- Smoothing in fixed point, with the exact sum where it could differ. ----
//
// S = A*(v0+v4) + B*(v1+v3) + C*v2 with A, B, C the weights rounded to
// multiples of 2^-23. Each rounded weight is within 2^-24 of the real one, so
// S / 2^23 is within (510 + 510 + 255) * 2^-24 of the exact real sum, and the
// double sum (eight roundings of values under 256) is within 1e-12 of it.
// Where S / 2^23 lies farther than that from a half-integer, both round to
// the same byte, floor(S / 2^23 + 1/2); the rare samples closer to a
// half-integer take the double sum itself. The kernels add 1/2 + kNear units
// to S: the integer part is then the rounded byte wherever the fraction
// exceeds 2 * kNear, and a fraction at or below it marks a sample for the
// double sum. The sum never exceeds 236, so the clamp at 255 never applies,
// and S stays below 2^31.

constexpr int kFracBits = 23;
constexpr double kOne = 1 << kFracBits;
constexpr std::int32_t kHalf = 1 << (kFracBits - 1);
constexpr std::int32_t kFracMask = (1 << kFracBits) - 1;
constexpr std::int32_t fixed(double w) { return static_cast<std::int32_t>(w * kOne + 0.5); }
constexpr double distance(double a, double b) { return a > b ? a - b : b - a; }
constexpr std::int32_t kA = fixed(kOuterWeight);
constexpr std::int32_t kB = fixed(kInnerWeight);
constexpr std::int32_t kC = fixed(1.0 / 7.0);
// The bound in units of 2^-23, from the actual rounding of each weight, plus
// one unit for the double sum's own error and the rounding of 1/7 in double.
constexpr double kBound =
    distance(kA, kOuterWeight* kOne) * 510 + distance(kB, kInnerWeight* kOne) * 510 + distance(kC, kOne / 7) * 255 + 1;
constexpr std::int32_t kNear = static_cast<std::int32_t>(kBound) + 1;
static_assert(kBound <= 640, "weights rounded more coarsely than expected");
static_assert(510.0 * kA + 510.0 * kB + 255.0 * kC + kHalf + kNear < 2147483648.0, "fixed-point sum overflows");

void smooth_bytes_plain(const std::uint8_t* const p[5], std::uint8_t* out, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) out[i] = smooth_exact(p[0][i], p[1][i], p[2][i], p[3][i], p[4][i]);
}
void smooth_bytes_plain(const std::uint8_t* const p[5], std::uint8_t* out, std::size_t n) {
    smooth_bytes_plain(p, out, 0, n);
}

// ---- Sharpening in integers. ----
//
// t = 1.9*r - s is within 2.3e-14 of (19r - 10s) / 10: the double nearest
// 1.9 lies 8.9e-17 below it, and the product rounds to the nearest double,
// which is the exact half k + 1/2 whenever 19r/10 is one (its half-ulp
// exceeds the error for every r up to 255); with t >= 0 the subtraction is
// exact. Away
// from halves, (19r - 10s) / 10 is at least 0.1 from one, so the double
// rounds like the exact tenth: to byte(t) = round half even of
// (19r - 10s) / 10, clamped to 0..255.

// The sharpening kernels return the sum of the blue bytes they wrote.
std::uint64_t sharpen_bytes_plain(const std::uint8_t* ref, const std::uint8_t* smoothed, std::uint8_t* out1,
                                  std::uint8_t* out2, std::size_t n) {
    std::uint64_t blue = 0;
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        std::uint8_t px[4];
        for (std::size_t c = 0; c < 3; ++c) px[c] = sharpen_exact(ref[i + c], smoothed[i + c]);
        px[3] = ref[i + 3];
        blue += px[0];
        std::memcpy(out1 + i, px, 4);
        std::memcpy(out2 + i, px, 4);
    }
    return blue;
}

std::uint64_t sharpen_pixels_plain(const std::uint8_t* ref, const std::uint8_t* smoothed, std::uint8_t* out1,
                                   std::uint8_t* out2, std::size_t pixels) {
    return sharpen_bytes_plain(ref, smoothed, out1, out2, 4 * pixels);
}

#ifdef FILTER_X86_KERNELS
// Everything up to the matching pop is built for AVX2 and only called when
// the processor has it.
#pragma GCC push_options
#pragma GCC target("avx2")

inline __m256i fixed_sum8(const std::uint8_t* const p[5], std::size_t o) {
    auto load = [&](int k) {
        return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p[k] + o)));
    };
    const __m256i outer = _mm256_add_epi32(load(0), load(4));
    const __m256i inner = _mm256_add_epi32(load(1), load(3));
    const __m256i s = _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(outer, _mm256_set1_epi32(kA)),
                                                        _mm256_mullo_epi32(inner, _mm256_set1_epi32(kB))),
                                       _mm256_mullo_epi32(load(2), _mm256_set1_epi32(kC)));
    return _mm256_add_epi32(s, _mm256_set1_epi32(kHalf + kNear));
}

void smooth_bytes_avx2(const std::uint8_t* const p[5], std::uint8_t* out, std::size_t n) {
    const __m256i frac_mask = _mm256_set1_epi32(kFracMask);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256i least = frac_mask;
        __m256i bytes[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i t = fixed_sum8(p, i + 8 * static_cast<std::size_t>(k));
            least = _mm256_min_epu32(least, _mm256_and_si256(t, frac_mask));
            bytes[k] = _mm256_srli_epi32(t, kFracBits);
        }
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packus_epi32(bytes[0], bytes[1]), _mm256_packus_epi32(bytes[2], bytes[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permutevar8x32_epi32(packed, order));
        const __m256i near = _mm256_cmpgt_epi32(_mm256_set1_epi32(2 * kNear + 1), least);
        if (!_mm256_testz_si256(near, near)) smooth_bytes_plain(p, out, i, i + 32);
    }
    smooth_bytes_plain(p, out, i, n);
}

// 16 colour bytes and their smoothed values to 16 sharpened values (16 bits).
inline __m256i sharpen16(__m128i r8, __m128i s8) {
    const __m256i r = _mm256_cvtepu8_epi16(r8), s = _mm256_cvtepu8_epi16(s8);
    const __m256i ten = _mm256_set1_epi16(10), one = _mm256_set1_epi16(1);
    const __m256i tenfold = _mm256_sub_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(19)), _mm256_mullo_epi16(s, ten));
    // Negative values end at 0; otherwise q = floor((x + 5) / 10), exact
    // through the reciprocal multiply for x + 5 < 16389.
    const __m256i y = _mm256_add_epi16(_mm256_max_epi16(tenfold, _mm256_setzero_si256()), _mm256_set1_epi16(5));
    const __m256i q = _mm256_mulhi_epu16(y, _mm256_set1_epi16(6554));
    // Exact halves (y a multiple of 10) go to the even neighbour.
    const __m256i at_half = _mm256_cmpeq_epi16(_mm256_sub_epi16(y, _mm256_mullo_epi16(q, ten)), _mm256_setzero_si256());
    return _mm256_sub_epi16(q, _mm256_and_si256(at_half, _mm256_and_si256(q, one)));
}

std::uint64_t sharpen_bytes_avx2(const std::uint8_t* ref, const std::uint8_t* smoothed, std::uint8_t* out1,
                                 std::uint8_t* out2, std::size_t n) {
    const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i blue_byte = _mm256_set1_epi32(0xFF);
    __m256i blue = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ref + i));
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(smoothed + i));
        const __m256i lo = sharpen16(_mm256_castsi256_si128(r), _mm256_castsi256_si128(s));
        const __m256i hi = sharpen16(_mm256_extracti128_si256(r, 1), _mm256_extracti128_si256(s, 1));
        const __m256i v = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        const __m256i px = _mm256_blendv_epi8(v, r, fourth);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out1 + i), px);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out2 + i), px);
        blue = _mm256_add_epi64(blue, _mm256_sad_epu8(_mm256_and_si256(px, blue_byte), _mm256_setzero_si256()));
    }
    std::uint64_t lanes[4];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), blue);
    const std::uint64_t sum = lanes[0] + lanes[1] + lanes[2] + lanes[3];
    return sum + (i < n ? sharpen_bytes_plain(ref + i, smoothed + i, out1 + i, out2 + i, n - i) : 0);
}

std::uint64_t sharpen_pixels_avx2(const std::uint8_t* ref, const std::uint8_t* smoothed, std::uint8_t* out1,
                                  std::uint8_t* out2, std::size_t pixels) {
    return sharpen_bytes_avx2(ref, smoothed, out1, out2, 4 * pixels);
}
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi")
// GCC 12's own AVX-512 conversion intrinsics start from an undefined vector,
// which it then reports as possibly uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

void smooth_bytes_avx512(const std::uint8_t* const p[5], std::uint8_t* out, std::size_t n) {
    const __m512i a = _mm512_set1_epi32(kA), b = _mm512_set1_epi32(kB), c = _mm512_set1_epi32(kC);
    const __m512i offset = _mm512_set1_epi32(kHalf + kNear), frac_mask = _mm512_set1_epi32(kFracMask);
    auto load = [&](int k, std::size_t o) {
        return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p[k] + o)));
    };
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m512i least = frac_mask;
        for (std::size_t o = i; o < i + 64; o += 16) {
            const __m512i outer = _mm512_add_epi32(load(0, o), load(4, o));
            const __m512i inner = _mm512_add_epi32(load(1, o), load(3, o));
            const __m512i t =
                _mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(outer, a), _mm512_mullo_epi32(inner, b)),
                                 _mm512_add_epi32(_mm512_mullo_epi32(load(2, o), c), offset));
            least = _mm512_min_epu32(least, _mm512_and_si512(t, frac_mask));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                             _mm512_cvtepi32_epi8(_mm512_srli_epi32(t, kFracBits)));
        }
        if (_mm512_cmple_epu32_mask(least, _mm512_set1_epi32(2 * kNear))) smooth_bytes_plain(p, out, i, i + 64);
    }
    smooth_bytes_plain(p, out, i, n);
}

// 32 colour bytes and their smoothed values to 32 sharpened values (16 bits),
// as in sharpen16.
inline __m512i sharpen32(__m256i r8, __m256i s8) {
    const __m512i r = _mm512_cvtepu8_epi16(r8), s = _mm512_cvtepu8_epi16(s8);
    const __m512i ten = _mm512_set1_epi16(10);
    const __m512i tenfold = _mm512_sub_epi16(_mm512_mullo_epi16(r, _mm512_set1_epi16(19)), _mm512_mullo_epi16(s, ten));
    const __m512i y = _mm512_add_epi16(_mm512_max_epi16(tenfold, _mm512_setzero_si512()), _mm512_set1_epi16(5));
    const __m512i q = _mm512_mulhi_epu16(y, _mm512_set1_epi16(6554));
    const __mmask32 at_half =
        _mm512_cmpeq_epi16_mask(_mm512_sub_epi16(y, _mm512_mullo_epi16(q, ten)), _mm512_setzero_si512());
    return _mm512_mask_sub_epi16(q, at_half, q, _mm512_and_si512(q, _mm512_set1_epi16(1)));
}

// With byte permutes at hand, the smoothing works on rows of the three
// colour bytes of each pixel only: a quarter less work than on BGRX rows.
// 16 pixels are 64 bytes as BGRX and 48 as colour bytes.
constexpr __mmask64 kColourBytes = (__mmask64{1} << 48) - 1;

struct ByteOrders {
    std::uint8_t compact[64], expand[64];
    ByteOrders() {
        for (int j = 0; j < 64; ++j) {
            compact[j] = static_cast<std::uint8_t>(j < 48 ? j / 3 * 4 + j % 3 : 0);
            expand[j] = static_cast<std::uint8_t>(j % 4 < 3 ? j / 4 * 3 + j % 4 : 0);
        }
    }
};
const ByteOrders& byte_orders() {
    static const ByteOrders o;
    return o;
}

void colour_bytes_avx512(const std::uint8_t* px, std::uint8_t* out, std::size_t pixels) {
    const __m512i order = _mm512_loadu_si512(byte_orders().compact);
    std::size_t i = 0;
    for (; i + 16 <= pixels; i += 16)
        _mm512_mask_storeu_epi8(out + 3 * i, kColourBytes,
                                _mm512_permutexvar_epi8(order, _mm512_loadu_si512(px + 4 * i)));
    for (; i < pixels; ++i)
        for (std::size_t c = 0; c < 3; ++c) out[3 * i + c] = px[4 * i + c];
}

// `smoothed` holds colour bytes only.
std::uint64_t sharpen_pixels_avx512(const std::uint8_t* ref, const std::uint8_t* smoothed, std::uint8_t* out1,
                                    std::uint8_t* out2, std::size_t pixels) {
    constexpr __mmask64 kFourth = 0x8888888888888888ull;
    const __m512i order = _mm512_loadu_si512(byte_orders().expand);
    const __m512i blue_byte = _mm512_set1_epi32(0xFF);
    __m512i blue = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 16 <= pixels; i += 16) {
        const __m512i r = _mm512_loadu_si512(ref + 4 * i);
        const __m512i s = _mm512_permutexvar_epi8(order, _mm512_maskz_loadu_epi8(kColourBytes, smoothed + 3 * i));
        const __m256i lo = _mm512_cvtusepi16_epi8(sharpen32(_mm512_castsi512_si256(r), _mm512_castsi512_si256(s)));
        const __m256i hi =
            _mm512_cvtusepi16_epi8(sharpen32(_mm512_extracti64x4_epi64(r, 1), _mm512_extracti64x4_epi64(s, 1)));
        const __m512i px = _mm512_mask_blend_epi8(kFourth, _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1), r);
        _mm512_storeu_si512(out1 + 4 * i, px);
        _mm512_storeu_si512(out2 + 4 * i, px);
        blue = _mm512_add_epi64(blue, _mm512_sad_epu8(_mm512_and_si512(px, blue_byte), _mm512_setzero_si512()));
    }
    std::uint64_t lanes[8];
    _mm512_storeu_si512(lanes, blue);
    std::uint64_t sum = 0;
    for (std::uint64_t lane : lanes) sum += lane;
    for (; i < pixels; ++i) {
        std::uint8_t px[4];
        for (std::size_t c = 0; c < 3; ++c) px[c] = sharpen_exact(ref[4 * i + c], smoothed[3 * i + c]);
        px[3] = ref[4 * i + 3];
        sum += px[0];
        std::memcpy(out1 + 4 * i, px, 4);
        std::memcpy(out2 + 4 * i, px, 4);
    }
    return sum;
}
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

}  // namespace

SharpenKernels sharpen_kernels() {
#ifdef FILTER_X86_KERNELS
    const VectorUnit unit = vector_unit();
    if (unit >= VectorUnit::avx512_vbmi) return {3, colour_bytes_avx512, smooth_bytes_avx512, sharpen_pixels_avx512};
    if (unit >= VectorUnit::avx2) return {4, nullptr, smooth_bytes_avx2, sharpen_pixels_avx2};
#endif
    return {4, nullptr, smooth_bytes_plain, sharpen_pixels_plain};
}

}  // namespace filter
