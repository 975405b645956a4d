#pragma once
#include <QByteArray>
#include <QImage>
#include <turbojpeg.h>
#include <cstring>

#include "reference_filter.h"

// A Format_RGB32 image holding exactly the bytes of `p` (fourth byte included).
inline QImage to_image(const RefPicture& p) {
    QImage img(p.w, p.h, QImage::Format_RGB32);
    for (int y = 0; y < p.h; ++y)
        std::memcpy(img.scanLine(y), p.px.data() + std::size_t{4} * p.w * y, 4 * std::size_t(p.w));
    return img;
}

inline RefPicture from_buffer(const std::uint8_t* px, int w, int h) {
    return RefPicture{w, h, std::vector<std::uint8_t>(px, px + std::size_t{4} * w * h)};
}

// The bytes of a record holding `picture` (RGB32): TurboJPEG's own JPEG of it, 4:2:0.
inline QByteArray reference_jpeg(const QImage& picture, int quality = 80) {
    static const tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, picture.constBits(), picture.width(), int(picture.bytesPerLine()), picture.height(), TJPF_BGRX,
                &out, &size, TJSAMP_420, quality, 0);
    const QByteArray jpeg(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    return jpeg;
}
