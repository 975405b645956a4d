#include "ratio_kernels.h"

#include "pass_constants.h"
#include "vector_unit.h"

// The vector kernel below is built only inlined into one function per unit,
// which takes an optimising build (flatten does nothing without one): a build
// without optimisation keeps the ratio pass plain.
#if defined(FILTER_X86_KERNELS) && defined(__OPTIMIZE__)
#define RATIO_VECTOR_KERNELS 1
#include <immintrin.h>
#endif

namespace filter {

namespace {

constexpr std::uint32_t kPassingMark = 0x0000FF00u;  // green
constexpr std::uint32_t kOutsideMark = 0x000000FFu;  // blue

// One pixel at a time. Branch-free: pass and fail come in patches that a
// branch would mispredict at every edge.
template <bool Masked>
RatioCounts mark_plain(const std::uint32_t* src, std::uint32_t* dst, const std::uint32_t* mask, std::size_t n,
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
    return RatioCounts{passing, outside};
}

#ifdef RATIO_VECTOR_KERNELS

// ---- The vector kernel, written once for every vector width. ----
//
// A width is a traits struct: kPixels pixels as 32-bit lanes (Pixels), half
// of them as doubles (Doubles), and a set of pixels, whole (Set) or of one
// half (HalfSet). Its functions are built for its own unit; the kernel
// itself is only ever compiled inlined into a function for that unit (see
// the end of this section), never on its own, so the vector types it passes
// around never cross a call: the compiler's notes on how such a call would
// pass them are beside the point.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
template <class V, bool Masked>
RatioCounts mark_vectors(const std::uint32_t* src, std::uint32_t* dst, const std::uint32_t* mask, std::size_t n,
                         const RatioTables& t, const VectorTests& tests, bool stream) {
    using Pixels = typename V::Pixels;
    const Pixels byte = V::splat(0xFF), fourth = V::splat(kFourthByte), green = V::splat(kPassingMark),
                 blue = V::splat(kOutsideMark), mask_red = V::splat(0x00FF0000);
    const typename V::Test test[3] = {V::test(tests, 0), V::test(tests, 1), V::test(tests, 2)};
    // A plain head brings dst to a vector boundary, for aligned stores.
    constexpr std::size_t kBytes = 4 * V::kPixels;
    std::size_t i = (kBytes - reinterpret_cast<std::uintptr_t>(dst) % kBytes) % kBytes / 4;
    if (i > n) i = n;
    const RatioCounts head = mark_plain<Masked>(src, dst, mask, i, t);
    std::uint64_t passing = head.passing, outside = head.outside;
    for (; i + V::kPixels <= n; i += V::kPixels) {
        const Pixels p = V::load(src + i);
        const Pixels b = V::bits_and(p, byte);
        const Pixels g = V::bits_and(V::template shift_down<8>(p), byte);
        const Pixels r = V::bits_and(V::template shift_down<16>(p), byte);
        const typename V::Doubles b0 = V::low_half(b), b1 = V::high_half(b), g0 = V::low_half(g), g1 = V::high_half(g),
                                  r0 = V::low_half(r), r1 = V::high_half(r);
        const auto pass0 =
            V::both(V::both(V::passes(test[0], b0, r0), V::passes(test[1], b0, g0)), V::passes(test[2], r0, g0));
        const auto pass1 =
            V::both(V::both(V::passes(test[0], b1, r1), V::passes(test[1], b1, g1)), V::passes(test[2], r1, g1));
        typename V::Set pass = V::join(pass0, pass1);
        const Pixels kept = V::bits_and(p, fourth);
        Pixels out = V::select(pass, V::bits_or(kept, green), p);
        if constexpr (Masked) {
            const typename V::Set in = V::equal(V::bits_and(V::load(mask + i), mask_red), mask_red);
            pass = V::both(pass, in);
            out = V::select(in, out, V::bits_or(kept, blue));
            outside += V::kPixels - V::count(in);
        }
        passing += V::count(pass);
        V::store(dst + i, out, stream);
    }
    if (stream) _mm_sfence();
    const RatioCounts rest = mark_plain<Masked>(src + i, dst + i, Masked ? mask + i : nullptr, n - i, t);
    V::leave();
    return RatioCounts{passing + rest.passing, outside + rest.outside};
}
#pragma GCC diagnostic pop

#pragma GCC push_options
#pragma GCC target("avx2,popcnt")
// Eight pixels a step; sets are lanes of all ones.
struct Avx2 {
    static constexpr std::size_t kPixels = 8;
    using Pixels = __m256i;
    using Doubles = __m256d;
    using HalfSet = __m256d;
    using Set = __m256i;
    struct Test {
        __m256d sign, factor, off;
    };

    static Test test(const VectorTests& v, int k) {
        return {_mm256_set1_pd(v.sign_bit[k]), _mm256_set1_pd(v.factor[k]),
                _mm256_castsi256_pd(_mm256_set1_epi64x(v.on[k] ? 0 : -1))};
    }
    static Pixels splat(std::uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static Pixels load(const std::uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static Pixels bits_and(Pixels a, Pixels b) { return _mm256_and_si256(a, b); }
    static Pixels bits_or(Pixels a, Pixels b) { return _mm256_or_si256(a, b); }
    template <int kBits>
    static Pixels shift_down(Pixels a) {
        return _mm256_srli_epi32(a, kBits);
    }
    static Doubles low_half(Pixels a) { return _mm256_cvtepi32_pd(_mm256_castsi256_si128(a)); }
    static Doubles high_half(Pixels a) { return _mm256_cvtepi32_pd(_mm256_extracti128_si256(a, 1)); }
    static HalfSet passes(const Test& t, Doubles left, Doubles right) {
        return _mm256_or_pd(_mm256_cmp_pd(_mm256_xor_pd(left, t.sign), _mm256_mul_pd(right, t.factor), _CMP_GT_OQ),
                            t.off);
    }
    static HalfSet both(HalfSet a, HalfSet b) { return _mm256_and_pd(a, b); }
    static Set both(Set a, Set b) { return _mm256_and_si256(a, b); }
    // The 64-bit lanes of pixels 0-3 and 4-7 to one 32-bit lane per pixel.
    static Set join(HalfSet low, HalfSet high) {
        const __m256i pick_low = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
        return _mm256_blend_epi32(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(low), pick_low),
                                  _mm256_permutevar8x32_epi32(_mm256_castpd_si256(high), pick_low), 0xF0);
    }
    static Set equal(Pixels a, Pixels b) { return _mm256_cmpeq_epi32(a, b); }
    static Pixels select(Set s, Pixels yes, Pixels no) { return _mm256_blendv_epi8(no, yes, s); }
    static unsigned count(Set s) {
        return static_cast<unsigned>(__builtin_popcount(_mm256_movemask_ps(_mm256_castsi256_ps(s))));
    }
    static void store(std::uint32_t* p, Pixels v, bool stream) {
        if (stream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(p), v);
        else
            _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
    }
    // Upper vector halves left dirty would slow every later piece of plain
    // SSE code on this thread; the compiler does not clear them here.
    static void leave() { _mm256_zeroupper(); }
};
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,popcnt")
// GCC 12's own AVX-512 conversion intrinsics start from an undefined vector,
// which it then reports as possibly uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Sixteen pixels a step; sets are bit masks.
struct Avx512 {
    static constexpr std::size_t kPixels = 16;
    using Pixels = __m512i;
    using Doubles = __m512d;
    using HalfSet = unsigned;
    using Set = unsigned;
    struct Test {
        __m512i sign;
        __m512d factor;
        unsigned off;
    };

    static Test test(const VectorTests& v, int k) {
        return {_mm512_castpd_si512(_mm512_set1_pd(v.sign_bit[k])), _mm512_set1_pd(v.factor[k]), v.on[k] ? 0u : 0xFFu};
    }
    static Pixels splat(std::uint32_t v) { return _mm512_set1_epi32(static_cast<int>(v)); }
    static Pixels load(const std::uint32_t* p) { return _mm512_loadu_si512(p); }
    static Pixels bits_and(Pixels a, Pixels b) { return _mm512_and_si512(a, b); }
    static Pixels bits_or(Pixels a, Pixels b) { return _mm512_or_si512(a, b); }
    template <int kBits>
    static Pixels shift_down(Pixels a) {
        return _mm512_srli_epi32(a, kBits);
    }
    static Doubles low_half(Pixels a) { return _mm512_cvtepi32_pd(_mm512_castsi512_si256(a)); }
    static Doubles high_half(Pixels a) { return _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(a, 1)); }
    static HalfSet passes(const Test& t, Doubles left, Doubles right) {
        const __m512d flipped = _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(left), t.sign));
        return static_cast<unsigned>(_mm512_cmp_pd_mask(flipped, _mm512_mul_pd(right, t.factor), _CMP_GT_OQ)) | t.off;
    }
    static Set both(Set a, Set b) { return a & b; }
    static Set join(HalfSet low, HalfSet high) { return low | high << 8; }
    static Set equal(Pixels a, Pixels b) { return _mm512_cmpeq_epi32_mask(a, b); }
    static Pixels select(Set s, Pixels yes, Pixels no) {
        return _mm512_mask_blend_epi32(static_cast<__mmask16>(s), no, yes);
    }
    static unsigned count(Set s) { return static_cast<unsigned>(__builtin_popcount(s)); }
    static void store(std::uint32_t* p, Pixels v, bool stream) {
        if (stream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(p), v);
        else
            _mm512_store_si512(p, v);
    }
    static void leave() { _mm256_zeroupper(); }
};
#pragma GCC diagnostic pop
#pragma GCC pop_options

// The kernel for each unit, everything inlined into one function built for it.
template <bool Masked>
__attribute__((target("avx2,popcnt"), flatten)) RatioCounts mark_avx2(const std::uint32_t* src, std::uint32_t* dst,
                                                                      const std::uint32_t* mask, std::size_t n,
                                                                      const RatioTables& t, const VectorTests& tests,
                                                                      bool stream) {
    return mark_vectors<Avx2, Masked>(src, dst, mask, n, t, tests, stream);
}

template <bool Masked>
__attribute__((target("avx512f,popcnt"), flatten)) RatioCounts mark_avx512(const std::uint32_t* src, std::uint32_t* dst,
                                                                           const std::uint32_t* mask, std::size_t n,
                                                                           const RatioTables& t,
                                                                           const VectorTests& tests, bool stream) {
    return mark_vectors<Avx512, Masked>(src, dst, mask, n, t, tests, stream);
}

#endif

}  // namespace

RatioCounts mark_ratios(const std::uint32_t* src, std::uint32_t* dst, const std::uint32_t* mask, std::size_t n,
                        const RatioTables& tables, const VectorTests& tests, bool stream) {
#ifdef RATIO_VECTOR_KERNELS
    const VectorUnit unit = vector_unit();
    if (unit >= VectorUnit::avx512)
        return mask ? mark_avx512<true>(src, dst, mask, n, tables, tests, stream)
                    : mark_avx512<false>(src, dst, nullptr, n, tables, tests, stream);
    if (unit >= VectorUnit::avx2)
        return mask ? mark_avx2<true>(src, dst, mask, n, tables, tests, stream)
                    : mark_avx2<false>(src, dst, nullptr, n, tables, tests, stream);
#else
    (void)tests;
    (void)stream;
#endif
    return mask ? mark_plain<true>(src, dst, mask, n, tables) : mark_plain<false>(src, dst, nullptr, n, tables);
}

void mark_outside(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = (src[i] & kFourthByte) | kOutsideMark;
}

}  // namespace filter
