#include "jpeg_writer.h"

#include <turbojpeg.h>

#include "atomic_file.h"

namespace sources {

bool encode_jpeg(const std::uint8_t* bgrx, int width, int height, int stride, int quality,
                 std::vector<unsigned char>* out, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    if (!bgrx || width <= 0 || height <= 0) {
        *error = QStringLiteral("aucune image à enregistrer");
        return false;
    }
    tjhandle tj = tjInitCompress();
    if (!tj) {
        *error = QStringLiteral("encodeur JPEG indisponible");
        return false;
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, bgrx, width, stride, height, TJPF_BGRX, &jpeg, &size, TJSAMP_420, quality, 0);
    if (rc != 0) {
        *error = QStringLiteral("encodage JPEG impossible (%1)").arg(QString::fromLocal8Bit(tjGetErrorStr2(tj)));
    } else {
        out->assign(jpeg, jpeg + size);
    }
    tjFree(jpeg);
    tjDestroy(tj);
    return rc == 0;
}

bool write_jpeg_file(const QString& path, const QImage& picture, int quality, QString* error) {
    QImage rgb32 = picture;
    if (rgb32.format() != QImage::Format_RGB32 && rgb32.format() != QImage::Format_ARGB32)
        rgb32 = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<unsigned char> bytes;
    if (!encode_jpeg(rgb32.constBits(), rgb32.width(), rgb32.height(), static_cast<int>(rgb32.bytesPerLine()),
                     quality, &bytes, error))
        return false;
    return replace_file_atomically(path, bytes.data(), bytes.size(), error);
}

}  // namespace sources
