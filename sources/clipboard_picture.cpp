#include "clipboard_picture.h"

#include <QPainter>

#include "picture_limits.h"
#include "picture_loader.h"
#include "pixel_image.h"

namespace sources {
namespace {

QImage opaque_rgb32(const QImage& src) {
    if (src.format() == QImage::Format_RGB32) return src;
    if (std::int64_t(src.width()) * src.height() > core::kMaxPicturePixels) return {};
    QImage out = filter::allocate_rgb32(src.width(), src.height());
    if (out.isNull()) return out;
    out.fill(Qt::white);
    QPainter p(&out);
    if (!src.hasAlphaChannel()) p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, src);
    return out;
}

}  // namespace

core::Result<std::optional<QImage>> clipboard_picture(const QMimeData* data) {
    if (!data) return std::optional<QImage>();
    bool offered = false;
    QString why = QStringLiteral("image du presse-papier illisible");
    if (data->hasImage()) {
        offered = true;
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull()) {
            QImage out = opaque_rgb32(image);
            if (out.isNull())
                return core::fail(QStringLiteral("image trop grande ou mémoire insuffisante (%1 x %2 pixels)")
                                      .arg(image.width())
                                      .arg(image.height()));
            return std::optional<QImage>(std::move(out));
        }
    }
    for (const QString& format : data->formats()) {
        if (!format.startsWith(QLatin1String("image/"))) continue;
        offered = true;
        auto image = decode_picture(data->data(format));
        if (image) return std::optional<QImage>(std::move(*image));
        why = QStringLiteral("%1 : %2").arg(format, image.error().reason_as<QString>());
    }
    if (offered) return core::fail(why);
    return std::optional<QImage>();
}

}  // namespace sources
