#include "picture_loader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "bmp_decoder.h"
#include "dicom.h"
#include "grey16.h"
#include "file_bytes.h"
#include "jpeg_decode.h"
#include "pixel_image.h"
#include "reasons.h"

namespace sources {
namespace {

bool too_large(std::int64_t w, std::int64_t h, std::int64_t max_pixels) { return w * h > max_pixels; }

// No value when the JPEG is of a kind TurboJPEG does not turn into BGRX
// (CMYK): Qt's reader takes it then.
core::Result<std::optional<QImage>> decode_jpeg(const QByteArray& data, std::int64_t max_pixels) {
    auto decoded = core::decode_jpeg_pixels(reinterpret_cast<const unsigned char*>(data.constData()),
                                            static_cast<std::size_t>(data.size()), max_pixels);
    if (!decoded) return core::fail(decoded.error());
    if (!*decoded) return std::optional<QImage>();
    core::JpegPixels& px = **decoded;
    return std::optional<QImage>(filter::adopt_rgb32(std::move(px.memory), px.width, px.height));
}

QImage flatten_onto_white(const QImage& src) {
    QImage out = filter::allocate_rgb32(src.width(), src.height());
    if (out.isNull()) return out;
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, src);
    return out;
}

core::Result<QImage> decode_with_qt(const QByteArray& data, std::int64_t max_pixels) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader::setAllocationLimit(static_cast<int>(max_pixels * 4 / (1024 * 1024)) + 1);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead()) return core::fail("format d'image non reconnu");
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty() && too_large(size.width(), size.height(), max_pixels))
        return core::fail(core::size_refusal(size.width(), size.height()));
    QImage img = reader.read();
    if (img.isNull()) return core::fail(QStringLiteral("image illisible (%1)").arg(reader.errorString()));
    if (img.format() == QImage::Format_Grayscale16) {
        img = stretch_grey16(img);
        if (img.isNull()) return core::fail(core::kNoMemory);
        return img;
    }
    if (img.hasAlphaChannel())
        img = flatten_onto_white(img);
    else if (img.format() != QImage::Format_RGB32) {
        QImage out = filter::allocate_rgb32(img.width(), img.height());
        if (!out.isNull()) {
            QPainter p(&out);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(0, 0, img);
        }
        img = out;
    }
    if (img.isNull()) return core::fail(core::kNoMemory);
    return img;
}

core::Result<QImage> decode_embedded(const QByteArray& data, std::int64_t max_pixels) {
    return decode_picture(data, max_pixels);
}

// The helper's picture becomes the image's own memory, not a copy of it.
QImage adopted(dicom::Picture p) {
    return filter::adopt_rgb32(p.data, p.bytes, p.width, p.height, p.stride, p.release);
}

core::Result<QImage> from_dicom(core::Result<dicom::Picture> picture) {
    if (!picture) return core::fail(picture.error());
    QImage img = adopted(*picture);
    if (img.isNull()) return core::fail(core::kNoMemory);
    return img;
}

}  // namespace

core::Result<QImage> decode_picture(const QByteArray& data, std::int64_t max_pixels) {
    max_pixels = std::min(max_pixels, core::kMaxPicturePixels);
    if (data.isEmpty()) return core::fail("fichier vide");
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const auto size = static_cast<std::size_t>(data.size());
    if (bitmap::is_bmp(data)) return bitmap::decode_bmp(data, max_pixels, decode_embedded);
    if (core::looks_like_jpeg(bytes, size)) {
        auto jpeg = decode_jpeg(data, max_pixels);
        if (!jpeg) return core::fail(jpeg.error());
        if (*jpeg) return std::move(**jpeg);
    }
    if (dicom::has_dicom_mark(bytes, size)) return from_dicom(dicom::decode_dicom(bytes, size, max_pixels));
    auto picture = decode_with_qt(data, max_pixels);
    if (picture) return picture;
    // A data set without the DICOM preamble is known only to DICOM's reader.
    auto bare = dicom::decode_if_dicom(bytes, size, max_pixels);
    if (!bare) return core::fail(bare.error());
    if (!*bare) return picture;
    return from_dicom(**bare);
}

core::Result<QImage> load_picture(const QString& path) {
    const std::string name = QFile::encodeName(path).toStdString();
    auto bytes = core::read_file_bytes(name, core::kMaxPictureFileBytes);
    if (!bytes) return core::fail(bytes.error());
    if (dicom::has_dicom_mark(bytes->data(), bytes->size)) {
        // The helper reads the file itself, sparing a copy of its bytes.
        *bytes = core::FileBytes();
        auto picture = from_dicom(dicom::decode_dicom_file(name, core::kMaxPicturePixels));
        if (!picture) return core::file_failure(path, picture.error().reason());
        return picture;
    }
    // The bytes stay where they were read; nothing keeps them past the decode.
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes->data()), static_cast<qsizetype>(bytes->size));
    auto img = decode_picture(data);
    if (!img) return core::file_failure(path, img.error().reason());
    return img;
}

}  // namespace sources
