#include "picture_loader.h"

#include <sys/stat.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <memory>

#include "bmp_decoder.h"
#include "pixel_image.h"

namespace sources {
namespace {

// No picture within the size limit needs a larger file (an uncompressed
// 32-bit bitmap of the largest size plus room for headers and palettes).
constexpr std::int64_t kMaxFileBytes = kMaxPicturePixels * 4 + (std::int64_t{1} << 20);

bool too_large(std::int64_t w, std::int64_t h, std::int64_t max_pixels) { return w * h > max_pixels; }

QString size_refusal(std::int64_t w, std::int64_t h) {
    return QStringLiteral("image trop grande (%1 x %2 pixels)").arg(w).arg(h);
}

bool is_jpeg(const QByteArray& d) {
    return d.size() >= 3 && static_cast<unsigned char>(d[0]) == 0xFF && static_cast<unsigned char>(d[1]) == 0xD8 &&
           static_cast<unsigned char>(d[2]) == 0xFF;
}

// True when the data ends before the JPEG's end marker: every segment and
// every scan is followed up to where the data stops.
bool jpeg_cut_short(const QByteArray& d) {
    const auto* p = reinterpret_cast<const unsigned char*>(d.constData());
    const qsizetype n = d.size();
    qsizetype i = 2;
    for (;;) {
        if (i >= n) return true;
        if (p[i] != 0xFF) return false;  // not a marker where one must be: damaged, not cut
        while (i < n && p[i] == 0xFF) ++i;
        if (i >= n) return true;
        const unsigned char m = p[i++];
        if (m == 0xD9) return false;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;
        if (n - i < 2) return true;
        const qsizetype len = p[i] << 8 | p[i + 1];
        if (len < 2) return false;
        if (n - i < len) return true;
        i += len;
        if (m == 0xDA) {
            // Entropy-coded data runs to the next marker other than a
            // stuffed zero or a restart.
            while (i + 1 < n && !(p[i] == 0xFF && p[i + 1] != 0 && !(p[i + 1] >= 0xD0 && p[i + 1] <= 0xD7))) ++i;
            if (i + 1 >= n) return true;
        }
    }
}

struct TjHandle {
    tjhandle h = tjInitDecompress();
    ~TjHandle() {
        if (h) tjDestroy(h);
    }
};

// Returns true when TurboJPEG handled the data (image set, or error set);
// false when the JPEG is of a kind it does not turn into BGRX (CMYK).
bool decode_jpeg(const QByteArray& data, std::int64_t max_pixels, QImage* out, QString* error) {
    TjHandle tj;
    if (!tj.h) {
        *error = QStringLiteral("décodeur JPEG indisponible");
        return true;
    }
    auto* buf = reinterpret_cast<const unsigned char*>(data.constData());
    const auto size = static_cast<unsigned long>(data.size());
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.h, buf, size, &w, &h, &subsamp, &colorspace) != 0) {
        *error = jpeg_cut_short(data)
                     ? QStringLiteral("fichier JPEG tronqué")
                     : QStringLiteral("fichier JPEG illisible (%1)").arg(QString::fromLocal8Bit(tjGetErrorStr2(tj.h)));
        return true;
    }
    if (w <= 0 || h <= 0) {
        // The header reader stops quietly at the end of the data.
        *error = jpeg_cut_short(data) ? QStringLiteral("fichier JPEG tronqué")
                                      : QStringLiteral("fichier JPEG illisible (dimensions nulles)");
        return true;
    }
    if (too_large(w, h, max_pixels)) {
        *error = size_refusal(w, h);
        return true;
    }
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return false;
    QImage img = picfilter::allocate_rgb32(w, h);
    if (img.isNull()) {
        *error = QStringLiteral("mémoire insuffisante pour une image de %1 x %2 pixels").arg(w).arg(h);
        return true;
    }
    if (tjDecompress2(tj.h, buf, size, img.bits(), w, 4 * w, h, TJPF_BGRX, 0) != 0) {
        const QString why = QString::fromLocal8Bit(tjGetErrorStr2(tj.h));
        // Warnings about stray bytes still leave a whole picture; running out
        // of data does not.
        const bool cut = why.contains(QLatin1String("Premature end")) || jpeg_cut_short(data);
        if (tjGetErrorCode(tj.h) != TJERR_WARNING || cut) {
            *error = cut
                         ? QStringLiteral("fichier JPEG tronqué")
                         : QStringLiteral("fichier JPEG illisible (%1)").arg(why);
            return true;
        }
    }
    *out = std::move(img);
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
        *error = size_refusal(size.width(), size.height());
        return {};
    }
    QImage img = reader.read();
    if (img.isNull()) {
        *error = QStringLiteral("image illisible (%1)").arg(reader.errorString());
        return {};
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
    if (is_jpeg(data)) {
        QImage img;
        if (decode_jpeg(data, max_pixels, &img, error)) return img;
    }
    return decode_with_qt(data, max_pixels, error);
}

QImage load_picture(const QString& path, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        *error = QStringLiteral("%1 : fichier introuvable").arg(path);
        return {};
    }
    if (info.isDir()) {
        *error = QStringLiteral("%1 : c'est un dossier").arg(path);
        return {};
    }
    // A pipe would block the window and a device could be read forever.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 : ce n'est pas un fichier ordinaire").arg(path);
        return {};
    }
    if (st.st_size > kMaxFileBytes) {
        *error = QStringLiteral("%1 : fichier trop gros pour être une image (%2 octets)").arg(path).arg(st.st_size);
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 : lecture impossible (%2)").arg(path, file.errorString());
        return {};
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1 : lecture impossible (%2)").arg(path, file.errorString());
        return {};
    }
    QImage img = decode_picture(data, error);
    if (img.isNull()) *error = QStringLiteral("%1 : %2").arg(path, *error);
    return img;
}

}  // namespace sources
