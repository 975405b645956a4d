#include "pixel_pass.h"

#include <cstring>
#include <vector>

#include "parallel.h"
#include "pass_constants.h"
#include "rounding.h"
#include "vector_unit.h"

#ifdef FILTER_X86_KERNELS
#include <immintrin.h>
#endif

namespace filter {
namespace {

void map_slice(const std::uint32_t* src, std::uint32_t* dst, std::size_t n, const PixelMap& m) {
    if (m.false_colour) {
        const std::uint32_t* by_sum = m.by_sum.data();
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t p = src[i];
            const unsigned s = (p & 0xFF) + (p >> 8 & 0xFF) + (p >> 16 & 0xFF);
            dst[i] = by_sum[s] | (p & kFourthByte);
        }
    } else {
        const std::uint32_t* b = m.blue.data();
        const std::uint32_t* g = m.green.data();
        const std::uint32_t* r = m.red.data();
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t p = src[i];
            dst[i] = b[p & 0xFF] | g[p >> 8 & 0xFF] | r[p >> 16 & 0xFF] | (p & kFourthByte);
        }
    }
}

// The folded tables as three byte tables (blue, green, red) indexed by the
// byte the pixel contributes: its own channel byte, or with false colour its
// grey level round((b + g + r) / 3) = (b + g + r + 1) div 3 (a sum of three
// bytes is never a multiple of 3 plus a half). Returns false when the folded
// tables are not of that form, and the word-table pass must be used.
bool byte_tables(const PixelMap& m, std::uint8_t (&t)[3][256]) {
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t w =
            m.false_colour ? m.by_sum[static_cast<std::size_t>(3 * i)] : (m.blue[i] | m.green[i] | m.red[i]);
        const std::uint32_t own[3] = {m.blue[i], m.green[i] >> 8, m.red[i] >> 16};
        for (int c = 0; c < 3; ++c) {
            t[c][i] = static_cast<std::uint8_t>(w >> (8 * c));
            if (!m.false_colour && own[c] > 0xFF) return false;
        }
    }
    if (m.false_colour)
        for (int s = 0; s <= 765; ++s)
            if ((m.by_sum[static_cast<std::size_t>(s)] & 0xFFFFFF) !=
                (m.by_sum[static_cast<std::size_t>((s + 1) / 3 * 3)] & 0xFFFFFF))
                return false;
    return true;
}

#ifdef FILTER_X86_KERNELS
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")
// GCC 12's own AVX-512 intrinsics start from an undefined vector, which it
// then reports as possibly uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Sixteen pixels at a time: each colour byte is replaced by its table's
// entry at `index` through two-table byte permutes (128 entries each, the
// top bit of the index choosing the pair); the fourth byte comes from `px`.
struct VectorTables {
    __m512i q[3][4];
    explicit VectorTables(const std::uint8_t (&t)[3][256]) {
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 4; ++k) q[c][k] = _mm512_loadu_si512(t[c] + 64 * k);
    }
};

inline __m512i look_up(const VectorTables& v, __m512i index, __m512i px) {
    const __mmask64 high = _mm512_movepi8_mask(index);
    __m512i channel[3];
    for (int c = 0; c < 3; ++c) {
        const __m512i low_half = _mm512_permutex2var_epi8(v.q[c][0], index, v.q[c][1]);
        const __m512i high_half = _mm512_permutex2var_epi8(v.q[c][2], index, v.q[c][3]);
        channel[c] = _mm512_mask_blend_epi8(high, low_half, high_half);
    }
    const __m512i bg = _mm512_mask_blend_epi8(0x2222222222222222ull, channel[0], channel[1]);
    const __m512i bgr = _mm512_mask_blend_epi8(0x4444444444444444ull, bg, channel[2]);
    return _mm512_mask_blend_epi8(0x8888888888888888ull, bgr, px);
}

// The grey level of each pixel, (b + g + r + 1) div 3, in all four bytes.
inline __m512i grey_of(__m512i px) {
    const __m512i sum16 = _mm512_maddubs_epi16(px, _mm512_set1_epi32(0x00010101));
    const __m512i sum = _mm512_madd_epi16(sum16, _mm512_set1_epi16(1));  // b + g + r, < 2^16
    const __m512i grey = _mm512_mulhi_epu16(_mm512_add_epi32(sum, _mm512_set1_epi32(1)), _mm512_set1_epi16(21846));
    return _mm512_mullo_epi32(grey, _mm512_set1_epi32(0x01010101));
}

// With `stream`, the result goes around the cache (the destination must
// then be 64-byte aligned).
template <bool kFalseColour, bool kStream>
void map_slice_vbmi(const std::uint32_t* src, std::uint32_t* dst, std::size_t n, const VectorTables& v) {
    for (std::size_t i = 0; i + 16 <= n; i += 16) {
        const __m512i px = _mm512_loadu_si512(src + i);
        const __m512i out = look_up(v, kFalseColour ? grey_of(px) : px, px);
        if constexpr (kStream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst + i), out);
        else
            _mm512_storeu_si512(dst + i, out);
    }
    if constexpr (kStream) _mm_sfence();
}

void map_slice_vbmi(const std::uint32_t* src, std::uint32_t* dst, std::size_t n, const VectorTables& v,
                    bool false_colour, bool stream) {
    if (false_colour)
        stream ? map_slice_vbmi<true, true>(src, dst, n, v) : map_slice_vbmi<true, false>(src, dst, n, v);
    else
        stream ? map_slice_vbmi<false, true>(src, dst, n, v) : map_slice_vbmi<false, false>(src, dst, n, v);
}
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

}  // namespace

void map_pixels(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, const PixelMap& map) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(src);
    auto* d = reinterpret_cast<std::uint32_t*>(dst);
#ifdef FILTER_X86_KERNELS
    std::uint8_t t[3][256];
    if (vector_unit() >= VectorUnit::avx512_vbmi && byte_tables(map, t)) {
        const VectorTables v(t);
        const bool stream = pixels >= kStreamPixels;
        core::parallel_slices(pixels, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
            std::size_t head = b;
            if (stream)
                while (head < e && reinterpret_cast<std::uintptr_t>(d + head) % 64) ++head;
            const std::size_t whole = head + (e - head) / 16 * 16;
            map_slice(s + b, d + b, head - b, map);
            map_slice_vbmi(s + head, d + head, whole - head, v, map.false_colour, stream);
            map_slice(s + whole, d + whole, e - whole, map);
        });
        return;
    }
#endif
    core::parallel_slices(pixels, kMinPixelsPerThread,
                          [&](std::size_t b, std::size_t e) { map_slice(s + b, d + b, e - b, map); });
}

std::uint64_t copy_with_blue_sum(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(src);
    auto* d = reinterpret_cast<std::uint32_t*>(dst);
    return core::parallel_sum(pixels, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
        std::uint64_t sum = 0;
        for (std::size_t i = b; i < e; ++i) {
            const std::uint32_t p = s[i];
            d[i] = p;
            sum += p & 0xFF;
        }
        return sum;
    });
}

std::uint64_t blue_sum(const std::uint8_t* pixels, std::size_t count) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(pixels);
    return core::parallel_sum(count, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
        std::uint64_t sum = 0;
        for (std::size_t i = b; i < e; ++i) sum += s[i] & 0xFF;
        return sum;
    });
}

void paint_calibration_strip(std::uint8_t* pixels, int width, int height, const ToneTables& t) {
    if (width <= 0 || height <= 0) return;
    const std::size_t row_bytes = std::size_t{4} * static_cast<std::size_t>(width);
    // Colour bytes of the three strip rows; the fourth byte stays as it is.
    std::vector<std::uint8_t> ramp(row_bytes), toned(row_bytes), coloured(row_bytes);
    for (int x = 1; x <= width; ++x) {
        const double r = static_cast<double>(x) / width * 255;
        const int n = core::to_integer(r);
        const std::size_t o = std::size_t{4} * static_cast<std::size_t>(x - 1);
        const auto tn = t.tone[n];
        ramp[o] = ramp[o + 1] = ramp[o + 2] = static_cast<std::uint8_t>(n);
        toned[o] = toned[o + 1] = toned[o + 2] = static_cast<std::uint8_t>(tn);
        coloured[o] = static_cast<std::uint8_t>(t.blue[tn]);
        coloured[o + 1] = static_cast<std::uint8_t>(t.green[tn]);
        coloured[o + 2] = static_cast<std::uint8_t>(t.red[tn]);
    }
    auto write_row = [&](int y, const std::vector<std::uint8_t>& src) {
        if (y < 1 || y > height) return;
        std::uint8_t* row = pixels + row_bytes * static_cast<std::size_t>(y - 1);
        for (std::size_t o = 0; o < row_bytes; o += 4) {
            row[o] = src[o];
            row[o + 1] = src[o + 1];
            row[o + 2] = src[o + 2];
        }
    };
    // Ascending, later writes overwriting earlier ones, as the strip is defined.
    for (int y = height - 12; y <= height - 8; ++y) {
        write_row(y, ramp);
        write_row(y + 4, toned);
        write_row(y + 8, coloured);
    }
}

}  // namespace filter
