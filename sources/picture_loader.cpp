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

QString size_refusal_text(std::int64_t w, std::int64_t h) { return QString::fromStdString(size_refusal(w, h)); }

// Returns true when TurboJPEG handled the data (image set, or error set);
// false when the JPEG is of a kind it does not turn into BGRX (CMYK).
bool decode_jpeg(const QByteArray& data, std::int64_t max_pixels, QImage* out, QString* error) {
    JpegPixels pixels;
    std::string reason;
    switch (decode_jpeg_pixels(reinterpret_cast<const unsigned char*>(data.constData()),
                               static_cast<std::size_t>(data.size()), max_pixels, &pixels, &reason)) {
    case JpegOutcome::decoded:
        *out = picfilter::adopt_rgb32(std::move(pixels.memory), pixels.width, pixels.height);
        return true;
    case JpegOutcome::other_colours:
        return false;
    case JpegOutcome::refused:
        break;
    }
    *error = QString::fromStdString(reason);
    return true;
}

QImage flatten_onto_white(const QImage& src) {
    QImage out = picfilter::allocate_rgb32(src.width(), src.height());
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
    QImage out = picfilter::allocate_rgb32(img.width(), img.height());
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

QImage decode_picture(const QByteArray& data, QString* error) { return decode_picture(data, error, kMaxPicturePixels); }

QImage decode_picture(const QByteArray& data, QString* error, std::int64_t max_pixels) {
    QString ignored;
    if (!error) error = &ignored;
    error->clear();
    max_pixels = std::min(max_pixels, kMaxPicturePixels);
    if (data.isEmpty()) {
        *error = QStringLiteral("fichier vide");
        return {};
    }
    if (is_bmp(data)) return decode_bmp(data, max_pixels, decode_embedded, error);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    if (looks_like_jpeg(bytes, static_cast<std::size_t>(data.size()))) {
        QImage img;
        if (decode_jpeg(data, max_pixels, &img, error)) return img;
    }
    return decode_with_qt(data, max_pixels, error);
}

QImage load_picture(const QString& path, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    FileBytes bytes;
    int error_number = 0;
    switch (read_file_bytes(QFile::encodeName(path).constData(), kMaxPictureFileBytes, &bytes, &error_number)) {
    case FileProblem::none:
        break;
    case FileProblem::missing:
        *error = QStringLiteral("%1 : fichier introuvable").arg(path);
        return {};
    case FileProblem::directory:
        *error = QStringLiteral("%1 : c'est un dossier").arg(path);
        return {};
    case FileProblem::not_regular:
        *error = QStringLiteral("%1 : ce n'est pas un fichier ordinaire").arg(path);
        return {};
    case FileProblem::too_large:
        *error = QStringLiteral("%1 : fichier trop gros pour être une image (%2 octets)").arg(path).arg(bytes.size);
        return {};
    case FileProblem::unreadable:
        *error = QStringLiteral("%1 : lecture impossible (%2)")
                     .arg(path, QString::fromLocal8Bit(std::strerror(error_number)));
        return {};
    }
    // The bytes stay where they were read; nothing keeps them past the decode.
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<qsizetype>(bytes.size));
    QImage img = decode_picture(data, error);
    if (img.isNull()) *error = QStringLiteral("%1 : %2").arg(path, *error);
    return img;
}

}  // namespace sources
