#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstring>
#include <new>

#include "clsPicfilter.h"
#include "mask_polygon.h"
#include "parallel.h"
#include "pass_constants.h"
#include "vector_unit.h"

#ifdef FILTER_X86_KERNELS
#include <emmintrin.h>
#endif

namespace filter {

namespace {

constexpr std::uint32_t kInside = 0x00FFFFFFu;  // blue, green and red at 255
// Three colour bytes adding up to this or more are "near white": left out.
constexpr unsigned kNearWhiteSum = 700;

// White where the polygon is: the inside by the alternate (even-odd) rule and
// an outline two pixels wide, both from one aliased rasterisation.
QImage rasterise(const MaskPolygon& polygon, int width, int height) {
    QImage bitmap(width, height, QImage::Format_Grayscale8);
    if (bitmap.isNull()) throw std::bad_alloc();
    bitmap.fill(0);
    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QBrush(Qt::white), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.drawPolygon(polygon.in_pixels(), Qt::OddEvenFill);
    painter.end();
    return bitmap;
}

inline std::uint32_t near_white_pixel(std::uint32_t p) {
    const unsigned s = (p & 0xFF) + (p >> 8 & 0xFF) + (p >> 16 & 0xFF);
    return (p & kFourthByte) | (s < kNearWhiteSum ? kInside : 0u);
}

// dst = the near-white mask of src for n pixels, streamed past the cache
// with `stream`. The stream takes 128-bit vectors, which every processor with
// one of the vector units has.
void near_white_slice(const std::uint32_t* src, std::uint32_t* dst, std::size_t n, bool stream) {
    std::size_t i = 0;
#ifdef FILTER_X86_KERNELS
    if (stream) {
        for (; i < n && reinterpret_cast<std::uintptr_t>(dst + i) % 16; ++i) dst[i] = near_white_pixel(src[i]);
        const __m128i byte = _mm_set1_epi32(0xFF), fourth = _mm_set1_epi32(static_cast<int>(kFourthByte));
        const __m128i inside = _mm_set1_epi32(static_cast<int>(kInside)), limit = _mm_set1_epi32(kNearWhiteSum);
        for (; i + 4 <= n; i += 4) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i s =
                _mm_add_epi32(_mm_add_epi32(_mm_and_si128(p, byte), _mm_and_si128(_mm_srli_epi32(p, 8), byte)),
                              _mm_and_si128(_mm_srli_epi32(p, 16), byte));
            const __m128i in = _mm_cmplt_epi32(s, limit);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i),
                             _mm_or_si128(_mm_and_si128(p, fourth), _mm_and_si128(in, inside)));
        }
        _mm_sfence();
    }
#else
    (void)stream;
#endif
    for (; i < n; ++i) dst[i] = near_white_pixel(src[i]);
}

}  // namespace

std::uint8_t* clsPicfilter::mask_for_overwrite() {
    const std::size_t bytes = std::size_t{4} * pixel_count();
    const std::size_t have = mask_.capacity();
    // Reuse the block unless it is too small or wastefully large.
    if (have < bytes || have - bytes > bytes / 4 + (std::size_t{2} << 20)) {
        core::PixelMemory fresh(bytes);
        if (!fresh.data() && bytes) throw std::bad_alloc();
        mask_ = std::move(fresh);
    }
    return mask_.data();
}

void clsPicfilter::Mask(const std::vector<std::vector<double>>& Coord, int nb_pt) {
    if (!initialized) return;
    if (nb_pt < 1) {
        maskActive = false;
        return;
    }
    // Checked here, before the mask changes: a refused polygon leaves the
    // previous mask, active or not, in place.
    draw_mask(MaskPolygon(Coord, nb_pt, width_, height_));
}

void clsPicfilter::draw_mask(const MaskPolygon& polygon) {
    if (polygon.size() < 2) {  // a single point encloses nothing
        maskActive = false;
        return;
    }
    const QImage bitmap = rasterise(polygon, width_, height_);

    std::uint32_t* out = reinterpret_cast<std::uint32_t*>(mask_for_overwrite());
    const int w = width_;
    core::parallel_slices(static_cast<std::size_t>(height_), kMinPixelsPerThread / static_cast<std::size_t>(w) + 1,
                          [&](std::size_t b, std::size_t e) {
                              for (std::size_t y = b; y < e; ++y) {
                                  const std::uint8_t* src = bitmap.constScanLine(static_cast<int>(y));
                                  std::uint32_t* dst = out + y * static_cast<std::size_t>(w);
                                  for (int x = 0; x < w; ++x) dst[x] = src[x] >= 128 ? kInside : 0u;
                              }
                          });
    mask_made_ = true;
    maskActive = true;
}

void clsPicfilter::deleteMask() { maskActive = false; }

void clsPicfilter::MaskBLC() {
    if (!initialized) return;
    const auto* src = reinterpret_cast<const std::uint32_t*>(ref_data());
    auto* dst = reinterpret_cast<std::uint32_t*>(mask_for_overwrite());
    const bool stream = pixel_count() >= kStreamPixels && vector_unit() >= VectorUnit::avx2;
    // The copy of the reference and the near-white test in one pass; the
    // fourth byte comes from the reference.
    core::parallel_slices(pixel_count(), kMinPixelsPerThread,
                          [&](std::size_t b, std::size_t e) { near_white_slice(src + b, dst + b, e - b, stream); });
    mask_made_ = true;
    maskActive = true;
}

}  // namespace filter
