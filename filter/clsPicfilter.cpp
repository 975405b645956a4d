#include "clsPicfilter.h"

#include <cstring>
#include <new>

#include "deconvolution.h"
#include "parallel.h"
#include "pass_constants.h"
#include "pixel_image.h"
#include "pixel_pass.h"

namespace filter {

namespace {

bool fits(const core::PixelMemory& mem, std::size_t bytes) {
    return mem.capacity() >= bytes && mem.capacity() - bytes <= bytes / 4 + (std::size_t{2} << 20);
}

// Buffer of `bytes`, reusing the current one when it is large enough. Out of
// memory it throws with `mem` empty: callers make that a consistent state.
void reserve(core::PixelMemory& mem, std::size_t bytes) {
    if (fits(mem, bytes)) return;
    mem = core::PixelMemory();  // release first, so the pool can hand it back
    mem = core::PixelMemory(bytes);
    if (!mem.data() && bytes) throw std::bad_alloc();
}

// In blocks of 64 bytes (16 pixels), the last one taking the rest.
void parallel_copy(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes) {
    core::parallel_slices(bytes / 64, kMinPixelsPerThread / 16, [&](std::size_t b, std::size_t e) {
        const std::size_t end = (e == bytes / 64) ? bytes : e * 64;
        std::memcpy(dst + b * 64, src + b * 64, end - b * 64);
    });
    if (bytes < 64) std::memcpy(dst, src, bytes);
}

}  // namespace

void clsPicfilter::Picture(const QImage& mypic) {
    if (mypic.isNull()) {
        initialized = false;
        return;
    }
    // Out of memory, the previous picture stays whole: nothing is changed
    // until the new one has its memory.
    QImage converted;
    const QImage* pic = &mypic;
    const auto f = mypic.format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) {
        converted = mypic.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull()) throw std::bad_alloc();
        pic = &converted;
    }
    const int w = pic->width(), h = pic->height();
    const std::size_t row = std::size_t{4} * static_cast<std::size_t>(w);
    if (owns_its_pixels(*pic)) {
        ref_shared_ = *pic;
        ref_ = core::PixelMemory();  // back to the pool, for the first result
        ref_blue_sum_known_ = false;
    } else {
        const std::size_t bytes = row * static_cast<std::size_t>(h);
        if (!fits(ref_, bytes)) {
            core::PixelMemory fresh(bytes);
            if (!fresh.data() && bytes) throw std::bad_alloc();
            ref_ = std::move(fresh);
        }
        ref_shared_ = QImage();
    }
    width_ = w;
    height_ = h;
    mask_made_ = false;  // the new mask reads as zero until an operation needs it
    result_follows_ref_ = true;
    initialized = true;
    if (!ref_shared_.isNull()) return;
    if (static_cast<std::size_t>(pic->bytesPerLine()) == row) {
        ref_blue_sum_ = copy_with_blue_sum(pic->constBits(), ref_.data(), pixel_count());
    } else {
        ref_blue_sum_ = 0;
        for (int y = 0; y < h; ++y)
            ref_blue_sum_ +=
                copy_with_blue_sum(pic->constScanLine(y), ref_.data() + row * y, static_cast<std::size_t>(w));
    }
    ref_blue_sum_known_ = true;
}

std::uint64_t clsPicfilter::ref_blue_sum() {
    if (!ref_blue_sum_known_) {
        ref_blue_sum_ = blue_sum(ref_data(), pixel_count());
        ref_blue_sum_known_ = true;
    }
    return ref_blue_sum_;
}

std::uint8_t* clsPicfilter::result_for_overwrite() {
    result_follows_ref_ = true;  // until the result has its memory again
    reserve(result_, std::size_t{4} * pixel_count());
    result_follows_ref_ = false;
    return result_.data();
}

void clsPicfilter::display(const std::uint8_t* source, PictureBox& box) const {
    if (!initialized) return;
    QImage& img = box.image;
    // Out of memory, the holder keeps the picture it had.
    auto renew = [&] {
        QImage fresh = allocate_rgb32(width_, height_);
        if (fresh.isNull()) throw std::bad_alloc();
        img = std::move(fresh);
    };
    if (img.width() != width_ || img.height() != height_ || img.format() != QImage::Format_RGB32 ||
        img.bytesPerLine() != 4 * static_cast<qsizetype>(width_))
        renew();
    if (img.constBits() == source) return;  // the holder shows the reference itself
    // Pixels shared with another image (the filter's reference, say) are
    // not copied out just to be overwritten.
    if (!img.isDetached()) renew();
    parallel_copy(img.bits(), source, std::size_t{4} * pixel_count());
}

void clsPicfilter::display_result(PictureBox& mypicture) const { display(result_pixels(), mypicture); }
void clsPicfilter::display_reference(PictureBox& mypicture) const { display(ref_data(), mypicture); }

void clsPicfilter::PicProcessing(bool fInvert, int fLight, int fContrast, int fGamma, int fColor) {
    if (!initialized) return;
    // Named, so that contrast and gamma (both ints, side by side) cannot trade places.
    process_pixels(
        Adjustments{.invert = fInvert, .light = fLight, .contrast = fContrast, .gamma = fGamma, .color = fColor});
}

void clsPicfilter::process_pixels(const Adjustments& settings) {
    // The contrast pivot is the blue mean of the reference, kept current as the
    // reference changes; the copy from the reference is fused into the pass.
    const int mean = static_cast<int>(ref_blue_sum() / pixel_count());
    const Adjustments a = clamp_to_ranges(settings);
    build_tone_tables(a, mean, tables_);
    fold_tables(tables_, a.color != 0, map_);
    std::uint8_t* result = result_for_overwrite();
    map_pixels(ref_data(), result, pixel_count(), map_);
    paint_calibration_strip(result, width_, height_, tables_);
}

void clsPicfilter::deconvolution() {
    if (!ref_data() || width_ <= 0 || height_ <= 0) return;
    // The shared picture is read, and the sharpened one written into memory
    // of our own: no copy first. That memory is had before anything changes.
    if (!ref_shared_.isNull()) reserve(ref_, std::size_t{4} * pixel_count());
    std::uint8_t* result = result_for_overwrite();
    if (ref_shared_.isNull()) {
        ref_blue_sum_ = deconvolve(ref_.data(), result, width_, height_);
    } else {
        ref_blue_sum_ = deconvolve(ref_shared_.constBits(), ref_.data(), result, width_, height_);
        ref_shared_ = QImage();
    }
    ref_blue_sum_known_ = true;
}

std::uint8_t* clsPicfilter::mask_buffer() {
    if (!mask_made_) {
        const std::size_t bytes = std::size_t{4} * pixel_count();
        reserve(mask_, bytes);
        std::memset(mask_.data(), 0, bytes);
        mask_made_ = true;
    }
    return mask_.data();
}

}  // namespace filter
