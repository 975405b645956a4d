#include "jpeg_writer.h"

#include <turbojpeg.h>

#include "atomic_file.h"
#include "pixel_memory.h"
#include "reasons.h"
#include "staging_file.h"

namespace storage {

namespace {

// One compressor and one output block per thread, reused across pictures.
struct Encoder {
    tjhandle handle = tjInitCompress();
    core::PixelMemory output;
    ~Encoder() {
        if (handle) tjDestroy(handle);
    }
};

}  // namespace

core::Result<std::span<const unsigned char>> compress_rows(const std::uint8_t* first_row, int width, int height,
                                                           int pitch, int pixel_format, int flags, int quality) {
    if (!first_row || width <= 0 || height <= 0) return core::fail(kNothingToStore);
    thread_local Encoder encoder;
    if (!encoder.handle) return core::fail("encodeur JPEG indisponible");
    const unsigned long bound = tjBufSize(width, height, TJSAMP_420);
    if (bound == static_cast<unsigned long>(-1))
        return core::fail(QStringLiteral("image trop grande pour le JPEG (%1 x %2 pixels)").arg(width).arg(height));
    if (encoder.output.capacity() < bound) {
        encoder.output = core::PixelMemory();
        encoder.output = core::PixelMemory(bound);
        if (!encoder.output.data()) return core::fail(std::string(core::kNoMemory) + " pour encoder le JPEG");
    }
    unsigned char* out = encoder.output.data();
    unsigned long out_size = static_cast<unsigned long>(encoder.output.capacity());
    if (tjCompress2(encoder.handle, first_row, width, pitch, height, pixel_format, &out, &out_size, TJSAMP_420, quality,
                    flags | TJFLAG_NOREALLOC) != 0)
        return core::fail(QStringLiteral("encodage JPEG impossible (%1)")
                              .arg(QString::fromLocal8Bit(tjGetErrorStr2(encoder.handle))));
    return std::span<const unsigned char>(out, out_size);
}

core::Result<> write_jpeg_file(const QString& path, const QImage& picture, int quality) {
    QImage rgb32 = picture;
    if (rgb32.format() != QImage::Format_RGB32 && rgb32.format() != QImage::Format_ARGB32)
        rgb32 = picture.convertToFormat(QImage::Format_RGB32);
    const auto jpeg = compress_rows(rgb32.constBits(), rgb32.width(), rgb32.height(),
                                    static_cast<int>(rgb32.bytesPerLine()), TJPF_BGRX, 0, quality);
    if (!jpeg) return core::fail(jpeg.error());
    return replace_file_atomically(path, jpeg->data(), jpeg->size());
}

}  // namespace storage
