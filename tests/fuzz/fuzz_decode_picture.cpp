// Feeds arbitrary bytes to the picture loader. Whatever comes in, the loader
// must either give a whole RGB32 picture within the size limit or refuse
// with a reason; anything else (a crash, a sanitizer report, a picture
// without a reason or a refusal without one) stops the run. Its first
// inputs are the good bitmaps and the reference pictures of the loader's tests.
#include <QByteArray>
#include <QImage>
#include <cstdint>

#include "picture_loader.h"

namespace {

// Small enough that a forged header cannot exhaust the run's memory.
constexpr std::int64_t kFuzzMaxPixels = std::int64_t{1} << 20;

}  // namespace

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
