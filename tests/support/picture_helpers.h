#pragma once
#include <QImage>
#include <cstring>

#include "reference_filter.h"

// A Format_RGB32 image holding exactly the bytes of `p` (fourth byte included).
inline QImage to_image(const RefPicture& p) {
    QImage img(p.w, p.h, QImage::Format_RGB32);
    for (int y = 0; y < p.h; ++y) std::memcpy(img.scanLine(y), p.px.data() + std::size_t{4} * p.w * y, 4 * std::size_t(p.w));
    return img;
}

inline RefPicture from_buffer(const std::uint8_t* px, int w, int h) {
    return RefPicture{w, h, std::vector<std::uint8_t>(px, px + std::size_t{4} * w * h)};
}
