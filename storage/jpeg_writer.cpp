#include "jpeg_writer.h"

#include <turbojpeg.h>

#include "atomic_file.h"
#include "pixel_memory.h"

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

bool compress_rows(const std::uint8_t* first_row, int width, int height, int pitch, int pixel_format, int flags,
                   int quality, const unsigned char** jpeg, std::size_t* size, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    if (!first_row || width <= 0 || height <= 0) {
        *error = QStringLiteral("aucune image à enregistrer");
        return false;
    }
    thread_local Encoder encoder;
    if (!encoder.handle) {
        *error = QStringLiteral("encodeur JPEG indisponible");
        return false;
    }
    const unsigned long bound = tjBufSize(width, height, TJSAMP_420);
    if (bound == static_cast<unsigned long>(-1)) {
        *error = QStringLiteral("image trop grande pour le JPEG (%1 x %2 pixels)").arg(width).arg(height);
        return false;
    }
    if (encoder.output.capacity() < bound) {
        encoder.output = core::PixelMemory();
        encoder.output = core::PixelMemory(bound);
        if (!encoder.output.data()) {
            *error = QStringLiteral("mémoire insuffisante pour encoder le JPEG");
            return false;
        }
    }
    unsigned char* out = encoder.output.data();
    unsigned long out_size = static_cast<unsigned long>(encoder.output.capacity());
    if (tjCompress2(encoder.handle, first_row, width, pitch, height, pixel_format, &out, &out_size, TJSAMP_420,
                    quality, flags | TJFLAG_NOREALLOC) != 0) {
        *error = QStringLiteral("encodage JPEG impossible (%1)")
                     .arg(QString::fromLocal8Bit(tjGetErrorStr2(encoder.handle)));
        return false;
    }
    *jpeg = out;
    *size = out_size;
    return true;
}

bool encode_jpeg(const std::uint8_t* bgrx, int width, int height, int stride, int quality,
                 std::vector<unsigned char>* out, QString* error) {
    const unsigned char* jpeg = nullptr;
    std::size_t size = 0;
    if (!compress_rows(bgrx, width, height, stride, TJPF_BGRX, 0, quality, &jpeg, &size, error)) return false;
    out->assign(jpeg, jpeg + size);
    return true;
}

bool write_jpeg_file(const QString& path, const QImage& picture, int quality, QString* error) {
    QImage rgb32 = picture;
    if (rgb32.format() != QImage::Format_RGB32 && rgb32.format() != QImage::Format_ARGB32)
        rgb32 = picture.convertToFormat(QImage::Format_RGB32);
    const unsigned char* jpeg = nullptr;
    std::size_t size = 0;
    if (!compress_rows(rgb32.constBits(), rgb32.width(), rgb32.height(), static_cast<int>(rgb32.bytesPerLine()),
                       TJPF_BGRX, 0, quality, &jpeg, &size, error))
        return false;
    return replace_file_atomically(path, jpeg, size, error);
}

}  // namespace storage
