#include "picture_loader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <memory>

#include "bmp_decoder.h"
#include "grey16.h"
#include "file_bytes.h"
#include "jpeg_decode.h"
#include "pixel_image.h"

namespace sources {
namespace {

bool too_large(std::int64_t w, std::int64_t h, std::int64_t max_pixels) { return w * h > max_pixels; }

QString size_refusal_text(std::int64_t w, std::int64_t h) { return QString::fromStdString(core::size_refusal(w, h)); }

// Returns true when TurboJPEG handled the data (image set, or error set);
// false when the JPEG is of a kind it does not turn into BGRX (CMYK).
bool decode_jpeg(const QByteArray& data, std::int64_t max_pixels, QImage* out, QString* error) {
    auto decoded = core::decode_jpeg_pixels(reinterpret_cast<const unsigned char*>(data.constData()),
                                            static_cast<std::size_t>(data.size()), max_pixels);
    if (!decoded) {
        *error = decoded.error().reason_as<QString>();
        return true;
    }
    if (!*decoded) return false;
    *out = filter::adopt_rgb32(std::move((*decoded)->memory), (*decoded)->width, (*decoded)->height);
    return true;
}

QImage flatten_onto_white(const QImage& src) {
    QImage out = filter::allocate_rgb32(src.width(), src.height());
    if (out.isNull()) return out;
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, src);
    return out;
}

QImage decode_with_qt(const QByteArray& data, std::int64_t max_pixels, QString* error) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader::setAllocationLimit(static_cast<int>(max_pixels * 4 / (1024 * 1024)) + 1);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead()) {
        *error = QStringLiteral("format d'image non reconnu");
        return {};
    }
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty() && too_large(size.width(), size.height(), max_pixels)) {
        *error = size_refusal_text(size.width(), size.height());
        return {};
    }
    QImage img = reader.read();
    if (img.isNull()) {
        *error = QStringLiteral("image illisible (%1)").arg(reader.errorString());
        return {};
    }
    if (img.format() == QImage::Format_Grayscale16) {
        img = stretch_grey16(img);
        if (img.isNull()) *error = QStringLiteral("mémoire insuffisante");
        return img;
    }
    if (img.hasAlphaChannel()) return flatten_onto_white(img);
    if (img.format() == QImage::Format_RGB32) return img;
    QImage out = filter::allocate_rgb32(img.width(), img.height());
    if (out.isNull()) {
        *error = QStringLiteral("mémoire insuffisante");
        return {};
    }
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, img);
    return out;
}

QImage decode_embedded(const QByteArray& data, std::int64_t max_pixels, QString* error) {
    return decode_picture(data, error, max_pixels);
}

}  // namespace

QImage decode_picture(const QByteArray& data, QString* error) { return decode_picture(data, error, core::kMaxPicturePixels); }

QImage decode_picture(const QByteArray& data, QString* error, std::int64_t max_pixels) {
    QString ignored;
    if (!error) error = &ignored;
    error->clear();
    max_pixels = std::min(max_pixels, core::kMaxPicturePixels);
    if (data.isEmpty()) {
        *error = QStringLiteral("fichier vide");
        return {};
    }
    if (bitmap::is_bmp(data)) return bitmap::decode_bmp(data, max_pixels, decode_embedded, error);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    if (core::looks_like_jpeg(bytes, static_cast<std::size_t>(data.size()))) {
        QImage img;
        if (decode_jpeg(data, max_pixels, &img, error)) return img;
    }
    return decode_with_qt(data, max_pixels, error);
}

QImage load_picture(const QString& path, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    const auto bytes = core::read_file_bytes(QFile::encodeName(path).toStdString(), core::kMaxPictureFileBytes);
    if (!bytes) {
        *error = bytes.error().reason_as<QString>();
        return {};
    }
    // The bytes stay where they were read; nothing keeps them past the decode.
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes->data()),
                                                    static_cast<qsizetype>(bytes->size));
    QImage img = decode_picture(data, error);
    if (img.isNull()) *error = QStringLiteral("%1 : %2").arg(path, *error);
    return img;
}

}  // namespace sources
