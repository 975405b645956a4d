#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "vector_unit.h"
#ifdef FILTER_X86_KERNELS
#include <immintrin.h>
#endif

#include "clsPicfilter.h"
#include "parallel.h"
#include "pass_constants.h"



namespace filter {

namespace {

constexpr std::uint32_t kPassingMark = 0x0000FF00u;  // green
constexpr std::uint32_t kOutsideMark = 0x000000FFu;  // blue

// One ratio test: `left` against `right` times the threshold. For every value
// of `right` the passing values of `left` form one interval (the comparison is
// monotone in `left`), so the double-precision comparison is evaluated here
// once per byte pair and the pass over the pixels only compares bytes. An
// interval is kept as its start and width: left passes when
// (unsigned)(left - start) <= width; an empty one starts at 256.
struct Interval {
    std::uint32_t start = 0, width = 255;
};

std::array<Interval, 256> intervals(double mode, double threshold) {
    std::array<Interval, 256> table{};
    if (mode != 1 && mode != 3) return table;  // switched off: everything passes
    for (int right = 0; right < 256; ++right) {
        const double bound = static_cast<double>(right) * threshold;
        int lo = 256, hi = -1;
        for (int left = 0; left < 256; ++left) {
            const double v = left;
            if (mode == 1 ? v > bound : v < bound) {
                if (lo == 256) lo = left;
                hi = left;
            }
        }
        table[right] = lo > hi ? Interval{256, 0}
                               : Interval{static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi - lo)};
    }
    return table;
}

bool test_on(double mode) { return mode == 1 || mode == 3; }

void check_threshold(double mode, double threshold, const char* name) {
    if (test_on(mode) && std::isnan(threshold))
        throw Refused(std::string("app_filter: the threshold ") + name + " is not a number");
}

// The three tests folded into two lookups per pixel: by red, the interval of
// blue against red; by green, the intervals of blue and of red against green.
// Each interval takes 16 bits of start and 16 bits of width.
struct RatioTables {
    std::array<std::uint32_t, 256> by_red;    // blue
    std::array<std::uint64_t, 256> by_green;  // blue | red << 32
};

inline std::uint32_t pack(const Interval& i) { return i.start | i.width << 16; }

inline bool within(std::uint32_t v, std::uint32_t packed) { return v - (packed & 0xFFFF) <= (packed >> 16); }

struct Counts {
    std::uint64_t passing = 0, outside = 0;
};

// dst = src with the marks, for pixels [0, n); with Masked, a pixel whose
// mask red byte is not 255 is outside. Branch-free: pass and fail come in
// patches that a branch would mispredict at every edge.
template <bool Masked>
Counts mark_slice(const std::uint32_t* src, std::uint32_t* dst, const std::uint32_t* mask, std::size_t n,
                  const RatioTables& t) {
    std::uint64_t passing = 0, outside = 0;
    const std::uint32_t* by_red = t.by_red.data();
    const std::uint64_t* by_green = t.by_green.data();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t p = src[i];
        const std::uint32_t b = p & 0xFF, g = p >> 8 & 0xFF, r = p >> 16 & 0xFF;
        const std::uint64_t tg = by_green[g];
        std::uint32_t pass = within(b, by_red[r]) & within(b, static_cast<std::uint32_t>(tg)) &
                             within(r, static_cast<std::uint32_t>(tg >> 32));
        const std::uint32_t fourth = p & kFourthByte;
        std::uint32_t out;
        if constexpr (Masked) {
            const std::uint32_t in = (mask[i] >> 16 & 0xFF) == 0xFF;
            pass &= in;
            outside += in ^ 1u;
            const std::uint32_t keep = 0u - (in & (pass ^ 1u));  // considered and failing
            const std::uint32_t mark = in ? kPassingMark : kOutsideMark;
            out = (p & keep) | ((fourth | mark) & ~keep);
        } else {
            const std::uint32_t keep = pass - 1u;  // all ones when failing
            out = (p & keep) | ((fourth | kPassingMark) & ~keep);
        }
        dst[i] = out;
        passing += pass;
    }
    return Counts{passing, outside};
}

#ifdef FILTER_X86_KERNELS

// The tests as the vector pass evaluates them, in double precision as
// written: mode 3 (left < right * t) becomes -left > right * (-t), which is
// the same comparison because negation is exact; a switched-off test is
// or-ed with all ones.
struct VectorTests {
    double sign_bit[3];  // -0.0 for mode 3 (flips the sign of left), else 0.0
    double factor[3];    // t for mode 1, -t for mode 3
    bool on[3];
};

VectorTests vector_tests(const double mode[3], const double threshold[3]) {
    VectorTests v{};
    for (int k = 0; k < 3; ++k) {
        v.on[k] = test_on(mode[k]);
        v.sign_bit[k] = mode[k] == 3 ? -0.0 : 0.0;
        v.factor[k] = !v.on[k] ? 0.0 : mode[k] == 3 ? -threshold[k] : threshold[k];
    }
    return v;
}

// Eight pixels per step; the remainder goes through the scalar pass.
template <bool Masked>
__attribute__((target("avx2,popcnt"))) Counts mark_slice_avx2(const std::uint32_t* src, std::uint32_t* dst,
                                                               const std::uint32_t* mask, std::size_t n,
                                                               const VectorTests& v, const RatioTables& t,
                                                               bool stream) {
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i fourth = _mm256_set1_epi32(static_cast<int>(kFourthByte));
    const __m256i green = _mm256_set1_epi32(static_cast<int>(kPassingMark));
    const __m256i blue = _mm256_set1_epi32(static_cast<int>(kOutsideMark));
    const __m256i mask_red = _mm256_set1_epi32(0x00FF0000);
    const __m256i pick_low = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    __m256d sign[3], factor[3], off[3];
    for (int k = 0; k < 3; ++k) {
        sign[k] = _mm256_set1_pd(v.sign_bit[k]);
        factor[k] = _mm256_set1_pd(v.factor[k]);
        off[k] = _mm256_castsi256_pd(_mm256_set1_epi64x(v.on[k] ? 0 : -1));
    }
#define LOW(x) _mm256_cvtepi32_pd(_mm256_castsi256_si128(x))
#define HIGH(x) _mm256_cvtepi32_pd(_mm256_extracti128_si256(x, 1))
#define TEST(k, left, right) \
    _mm256_or_pd(_mm256_cmp_pd(_mm256_xor_pd(left, sign[k]), _mm256_mul_pd(right, factor[k]), _CMP_GT_OQ), off[k])
    // A scalar head brings dst to a 32-byte boundary, for aligned stores.
    std::size_t i = std::min<std::size_t>(n, (32 - reinterpret_cast<std::uintptr_t>(dst) % 32) % 32 / 4);
    const Counts head = mark_slice<Masked>(src, dst, mask, i, t);
    std::uint64_t passing = head.passing, outside = head.outside;
    for (; i + 8 <= n; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_and_si256(p, byte);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(p, 8), byte);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(p, 16), byte);
        const __m256d b0 = LOW(b), b1 = HIGH(b), g0 = LOW(g), g1 = HIGH(g), r0 = LOW(r), r1 = HIGH(r);
        const __m256d pass0 = _mm256_and_pd(_mm256_and_pd(TEST(0, b0, r0), TEST(1, b0, g0)), TEST(2, r0, g0));
        const __m256d pass1 = _mm256_and_pd(_mm256_and_pd(TEST(0, b1, r1), TEST(1, b1, g1)), TEST(2, r1, g1));
        // 64-bit lane masks of pixels 0-3 and 4-7 to one 32-bit mask per pixel.
        const __m256i m0 = _mm256_permutevar8x32_epi32(_mm256_castpd_si256(pass0), pick_low);
        const __m256i m1 = _mm256_permutevar8x32_epi32(_mm256_castpd_si256(pass1), pick_low);
        __m256i pass = _mm256_blend_epi32(m0, m1, 0xF0);
        const __m256i kept = _mm256_and_si256(p, fourth);
        __m256i out = _mm256_blendv_epi8(p, _mm256_or_si256(kept, green), pass);
        if constexpr (Masked) {
            const __m256i mk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + i));
            const __m256i in = _mm256_cmpeq_epi32(_mm256_and_si256(mk, mask_red), mask_red);
            pass = _mm256_and_si256(pass, in);
            out = _mm256_blendv_epi8(_mm256_or_si256(kept, blue), out, in);
            outside += static_cast<unsigned>(__builtin_popcount(~_mm256_movemask_ps(_mm256_castsi256_ps(in)) & 0xFF));
        }
        passing += static_cast<unsigned>(__builtin_popcount(_mm256_movemask_ps(_mm256_castsi256_ps(pass))));
        if (stream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), out);
        else
            _mm256_store_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    if (stream) _mm_sfence();
#undef LOW
#undef HIGH
#undef TEST
    const Counts rest = mark_slice<Masked>(src + i, dst + i, Masked ? mask + i : nullptr, n - i, t);
    // Leaving the upper vector halves dirty would slow every later piece of
    // plain SSE code on this thread; the compiler does not clear them here.
    _mm256_zeroupper();
    return Counts{passing + rest.passing, outside + rest.outside};
}

// Sixteen pixels per step where the processor has 512-bit vectors: the same
// comparisons, with the results as bit masks. (The compiler's own 512-bit
// helpers trip its uninitialised-value warning.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
template <bool Masked>
__attribute__((target("avx512f,popcnt"))) Counts mark_slice_avx512(const std::uint32_t* src, std::uint32_t* dst,
                                                                    const std::uint32_t* mask, std::size_t n,
                                                                    const VectorTests& v, const RatioTables& t,
                                                                    bool stream) {
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i fourth = _mm512_set1_epi32(static_cast<int>(kFourthByte));
    const __m512i green = _mm512_set1_epi32(static_cast<int>(kPassingMark));
    const __m512i blue = _mm512_set1_epi32(static_cast<int>(kOutsideMark));
    const __m512i mask_red = _mm512_set1_epi32(0x00FF0000);
    __m512i sign[3];
    __m512d factor[3];
    __mmask8 off[3];
    for (int k = 0; k < 3; ++k) {
        sign[k] = _mm512_castpd_si512(_mm512_set1_pd(v.sign_bit[k]));
        factor[k] = _mm512_set1_pd(v.factor[k]);
        off[k] = v.on[k] ? 0 : 0xFF;
    }
#define LOW(x) _mm512_cvtepi32_pd(_mm512_castsi512_si256(x))
#define HIGH(x) _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(x, 1))
#define TEST(k, left, right)                                                                                      \
    static_cast<unsigned>(_mm512_cmp_pd_mask(_mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(left), sign[k])), \
                                             _mm512_mul_pd(right, factor[k]), _CMP_GT_OQ) |                         \
                          off[k])
    // A scalar head brings dst to a 64-byte boundary, for aligned stores.
    std::size_t i = std::min<std::size_t>(n, (64 - reinterpret_cast<std::uintptr_t>(dst) % 64) % 64 / 4);
    const Counts head = mark_slice<Masked>(src, dst, mask, i, t);
    std::uint64_t passing = head.passing, outside = head.outside;
    for (; i + 16 <= n; i += 16) {
        const __m512i p = _mm512_loadu_si512(src + i);
        const __m512i b = _mm512_and_si512(p, byte);
        const __m512i g = _mm512_and_si512(_mm512_srli_epi32(p, 8), byte);
        const __m512i r = _mm512_and_si512(_mm512_srli_epi32(p, 16), byte);
        const __m512d b0 = LOW(b), b1 = HIGH(b), g0 = LOW(g), g1 = HIGH(g), r0 = LOW(r), r1 = HIGH(r);
        const unsigned pass0 = TEST(0, b0, r0) & TEST(1, b0, g0) & TEST(2, r0, g0);
        const unsigned pass1 = TEST(0, b1, r1) & TEST(1, b1, g1) & TEST(2, r1, g1);
        unsigned pass = pass0 | pass1 << 8;
        const __m512i kept = _mm512_and_si512(p, fourth);
        __m512i out = _mm512_mask_blend_epi32(static_cast<__mmask16>(pass), p, _mm512_or_si512(kept, green));
        if constexpr (Masked) {
            const __m512i mk = _mm512_loadu_si512(mask + i);
            const unsigned in = _mm512_cmpeq_epi32_mask(_mm512_and_si512(mk, mask_red), mask_red);
            pass &= in;
            out = _mm512_mask_blend_epi32(static_cast<__mmask16>(in), _mm512_or_si512(kept, blue), out);
            outside += static_cast<unsigned>(__builtin_popcount(~in & 0xFFFFu));
        }
        passing += static_cast<unsigned>(__builtin_popcount(pass));
        if (stream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst + i), out);
        else
            _mm512_store_si512(dst + i, out);
    }
    if (stream) _mm_sfence();
#undef LOW
#undef HIGH
#undef TEST
    const Counts rest = mark_slice<Masked>(src + i, dst + i, Masked ? mask + i : nullptr, n - i, t);
    // Leaving the upper vector halves dirty would slow every later piece of
    // plain SSE code on this thread; the compiler does not clear them here.
    _mm256_zeroupper();
    return Counts{passing + rest.passing, outside + rest.outside};
}

#pragma GCC diagnostic pop

#endif

void outside_slice(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = (src[i] & kFourthByte) | kOutsideMark;
}

}  // namespace

double clsPicfilter::app_filter(double BR_filter, double BR_seuil, double BG_filter, double BG_seuil,
                                double RG_filter, double RG_seuil) {
    if (!initialized) return 0;
    // A threshold that is not a number is refused before anything changes.
    check_threshold(BR_filter, BR_seuil, "BR_seuil");
    check_threshold(BG_filter, BG_seuil, "BG_seuil");
    check_threshold(RG_filter, RG_seuil, "RG_seuil");

    const std::size_t total = pixel_count();
    const auto* src = reinterpret_cast<const std::uint32_t*>(ref_data());
    auto* dst = reinterpret_cast<std::uint32_t*>(result_for_overwrite());

    if (!test_on(BR_filter) && !test_on(BG_filter) && !test_on(RG_filter)) {
        core::parallel_slices(total, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
            std::memcpy(dst + b, src + b, (e - b) * sizeof(std::uint32_t));
        });
        return 0;
    }

    // A mask that was never made reads as zero: with the mask on, every
    // pixel is then outside.
    if (maskActive && !mask_made_) {
        core::parallel_slices(total, kMinPixelsPerThread,
                        [&](std::size_t b, std::size_t e) { outside_slice(src + b, dst + b, e - b); });
        maskedSurface = 1.0;
        return 0;
    }

    RatioTables t;
    const auto br = intervals(BR_filter, BR_seuil);
    const auto bg = intervals(BG_filter, BG_seuil);
    const auto rg = intervals(RG_filter, RG_seuil);
    for (int v = 0; v < 256; ++v) {
        t.by_red[v] = pack(br[v]);
        t.by_green[v] = pack(bg[v]) | std::uint64_t{pack(rg[v])} << 32;
    }

    const auto* mask = maskActive ? reinterpret_cast<const std::uint32_t*>(mask_.data()) : nullptr;
#ifdef FILTER_X86_KERNELS
    const double modes[3] = {BR_filter, BG_filter, RG_filter}, thresholds[3] = {BR_seuil, BG_seuil, RG_seuil};
    const VectorTests v = vector_tests(modes, thresholds);
    const VectorUnit unit = vector_unit();
    const bool wide = unit >= VectorUnit::avx512;
    const bool vector = unit >= VectorUnit::avx2;
    const bool stream = total >= kStreamPixels;
#endif
    std::atomic<std::uint64_t> passing{0}, outside{0};
    core::parallel_slices(total, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
        Counts c;
#ifdef FILTER_X86_KERNELS
        if (wide)
            c = mask ? mark_slice_avx512<true>(src + b, dst + b, mask + b, e - b, v, t, stream)
                     : mark_slice_avx512<false>(src + b, dst + b, nullptr, e - b, v, t, stream);
        else if (vector)
            c = mask ? mark_slice_avx2<true>(src + b, dst + b, mask + b, e - b, v, t, stream)
                     : mark_slice_avx2<false>(src + b, dst + b, nullptr, e - b, v, t, stream);
        else
#endif
            c = mask ? mark_slice<true>(src + b, dst + b, mask + b, e - b, t)
                     : mark_slice<false>(src + b, dst + b, nullptr, e - b, t);
        passing.fetch_add(c.passing, std::memory_order_relaxed);
        outside.fetch_add(c.outside, std::memory_order_relaxed);
    });

    const std::uint64_t considered = total - outside.load();
    if (considered == 0) {
        maskedSurface = 1.0;
        return 0;
    }
    maskedSurface = static_cast<double>(outside.load()) / static_cast<double>(total);
    return static_cast<double>(passing.load()) / static_cast<double>(considered);
}

std::uint8_t clsPicfilter::channel_at(double X, double Y, int channel) const {
    auto refuse = [channel](const std::string& why) {
        return Refused(std::string(channel == 2 ? "comp_R" : channel == 1 ? "comp_G" : "comp_B") + ": " +
                                 why);
    };
    if (!ref_data() || width_ <= 0 || height_ <= 0) throw refuse("no picture has been taken");
    if (!(X >= 0 && X < 1 && Y >= 0 && Y < 1))
        throw refuse("position (" + std::to_string(X) + ", " + std::to_string(Y) +
                     ") is outside 0 <= X < 1, 0 <= Y < 1");
    const double column = std::floor(X * width_), row = std::floor(Y * height_);
    // X < 1 keeps X * W below W, but the index is checked all the same.
    if (column >= width_ || row >= height_) throw refuse("position outside the picture");
    const std::size_t at =
        static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(column);
    return ref_data()[4 * at + static_cast<std::size_t>(channel)];
}

std::uint8_t clsPicfilter::comp_R(double X, double Y) const { return channel_at(X, Y, 2); }
std::uint8_t clsPicfilter::comp_G(double X, double Y) const { return channel_at(X, Y, 1); }
std::uint8_t clsPicfilter::comp_B(double X, double Y) const { return channel_at(X, Y, 0); }

}  // namespace filter
