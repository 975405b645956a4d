// Pictures of more than 8 bits of grey, as sensors export them, open with
// their own range of grey spread over 0..255; 8-bit ones open as they are.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>

#include "picture_loader.h"

namespace {

QByteArray encoded(const QImage& img, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(img)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

struct Case {
    const char* format;
    QImage::Format pixels;
    int low, step;  // grey of the first column, and from one column to the next
};

class Grey : public testing::TestWithParam<Case> {};

TEST_P(Grey, OpensWithItsRangeSpreadOverTheByte) {
    const Case c = GetParam();
    QImage ramp(97, 3, c.pixels);
    const bool wide = c.pixels == QImage::Format_Grayscale16;
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x) {
            const int v = c.low + x * c.step;
            if (wide) reinterpret_cast<quint16*>(ramp.scanLine(y))[x] = static_cast<quint16>(v);
            else ramp.setPixel(x, y, qRgb(v, v, v));
        }
    QString error;
    const QImage got = sources::decode_picture(encoded(ramp, c.format), &error);
    ASSERT_EQ(got.size(), ramp.size()) << error.toStdString();
    const double high = c.low + (ramp.width() - 1) * c.step;
    for (int x = 0; x < ramp.width(); ++x) {
        const int v = c.low + x * c.step;
        const double want = wide ? 255.0 * (v - c.low) / (high - c.low) : v;
        const QRgb p = got.pixel(x, 1);
        EXPECT_NEAR(qGray(p), want, 0.5) << c.format << " column " << x;
        EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Grey,
                         testing::Values(Case{"png", QImage::Format_Grayscale16, 1000, 41},
                                         Case{"tiff", QImage::Format_Grayscale16, 300, 7},
                                         Case{"tiff", QImage::Format_Grayscale8, 20, 2},
                                         Case{"tiff", QImage::Format_RGB32, 10, 1}));

}  // namespace
