// Feeds arbitrary bytes to the picture loader. Whatever comes in, the loader
// must either give a whole RGB32 picture within the size limit or refuse
// with a reason; anything else (a crash, a sanitizer report, a picture
// without a reason or a refusal without one) stops the run.
#include <turbojpeg.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "picture_loader.h"

namespace {

// Small enough that a forged header cannot exhaust the run's memory.
constexpr std::int64_t kFuzzMaxPixels = std::int64_t{1} << 20;

QImage sample(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgba(x * 40, y * 60, (x + y) * 20, 255 - x * 30));
    return img;
}

bool save(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray encoded(const QImage& img, const char* format) {
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, format);
    return bytes;
}

QByteArray jpeg(const QImage& src, int subsampling, int flags) {
    const QImage img = src.convertToFormat(QImage::Format_RGB32);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    QByteArray bytes;
    if (tjCompress2(tj, img.constBits(), img.width(), static_cast<int>(img.bytesPerLine()), img.height(), TJPF_BGRX,
                    &out, &size, subsampling, 85, flags) == 0)
        bytes = QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// A few tiny pictures of each kind the loader tells apart.
int make_corpus(const QString& dir) {
    QDir().mkpath(dir);
    const QImage small = sample(6, 4);
    bool ok = save(dir + "/seed.png", encoded(small, "PNG")) &&
              save(dir + "/seed24.bmp", encoded(small.convertToFormat(QImage::Format_RGB888), "BMP")) &&
              save(dir + "/seed8.bmp", encoded(small.convertToFormat(QImage::Format_Indexed8), "BMP")) &&
              save(dir + "/seed1.bmp", encoded(small.convertToFormat(QImage::Format_Mono), "BMP")) &&
              save(dir + "/seed32.bmp", encoded(small, "BMP")) &&
              save(dir + "/seed420.jpg", jpeg(sample(17, 9), TJSAMP_420, 0)) &&
              save(dir + "/seedprog.jpg", jpeg(sample(9, 17), TJSAMP_444, TJFLAG_PROGRESSIVE));
    // Hand-made RLE8 bitmap: 4 x 2, a run, a copy, an end of line and the end.
    const unsigned char rle[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0,
                                 1, 0, 8, 0, 1, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 0, 0, 255, 255, 255, 0, 4, 1, 0, 0, 0, 4, 0, 1, 1, 0, 0, 0, 0, 1};
    QByteArray rle_bytes(reinterpret_cast<const char*>(rle), sizeof rle);
    rle_bytes[2] = static_cast<char>(sizeof rle);
    ok = ok && save(dir + "/seedrle.bmp", rle_bytes);
    std::fprintf(stderr, "%s seed corpus in %s\n", ok ? "wrote" : "could not write", qPrintable(dir));
    return ok ? 0 : 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* dir = std::getenv("FUZZ_MAKE_CORPUS")) std::exit(make_corpus(QString::fromLocal8Bit(dir)));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto decoded = sources::decode_picture(bytes, kFuzzMaxPixels);
    if (!decoded) {
        if (decoded.error().reason().empty()) __builtin_trap();
        return 0;
    }
    const QImage& img = *decoded;
    if (img.isNull() || img.format() != QImage::Format_RGB32 ||
        std::int64_t{img.width()} * img.height() > kFuzzMaxPixels)
        __builtin_trap();
    // Read every pixel: the whole buffer must be there.
    std::uint32_t sum = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) sum += row[x];
    }
    volatile std::uint32_t keep = sum;
    (void)keep;
    return 0;
}
