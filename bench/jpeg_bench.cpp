// JPEG decoding and encoding of whole pictures through our entry points,
// each against the bare TurboJPEG call with the same flags on the same data,
// made with a handle created beforehand into an already-touched buffer.
#include <turbojpeg.h>

#include <QByteArray>
#include <stdexcept>

#include "bench_support.h"
#include "jpeg_writer.h"
#include "picture_loader.h"

namespace {

using bench::add;
using bench::Size;

const QImage& picture_of(const Size& s) {
    static QImage big = bench::radiograph(bench::k24MP.width, bench::k24MP.height);
    static QImage small = bench::radiograph(bench::k8MP.width, bench::k8MP.height);
    return s.width == bench::k24MP.width ? big : small;
}

// The picture as a quality-80 JPEG, made once in memory.
const QByteArray& jpeg_of(const Size& s) {
    static QByteArray big, small;
    QByteArray& data = s.width == bench::k24MP.width ? big : small;
    if (data.isEmpty()) {
        const QImage& img = picture_of(s);
        const auto out = storage::compress_rows(img.constBits(), img.width(), img.height(),
                                                static_cast<int>(img.bytesPerLine()), TJPF_BGRX, 0, 80);
        if (!out) throw std::runtime_error(out.error().reason());
        data = QByteArray(reinterpret_cast<const char*>(out->data()), static_cast<qsizetype>(out->size()));
    }
    return data;
}

void Decode(benchmark::State& state, Size s) {
    const QByteArray& data = jpeg_of(s);
    tjhandle tj = tjInitDecompress();
    QImage target = filter::allocate_rgb32(s.width, s.height);
    target.fill(0);
    QImage decoded;
    auto bare = [&] {
        if (tjDecompress2(tj, reinterpret_cast<const unsigned char*>(data.constData()),
                          static_cast<unsigned long>(data.size()), target.bits(), s.width, 4 * s.width, s.height,
                          TJPF_BGRX, 0) != 0)
            state.SkipWithError("tjDecompress2 failed");
    };
    auto ours = [&] {
        auto picture = sources::decode_picture(data);
        if (!picture)
            state.SkipWithError("decode_picture failed");
        else
            decoded = std::move(*picture);
    };
    // The previous picture is let go untimed, as the window has long dropped it.
    bench::compare(state, std::string("decode_picture ") + s.label, "tjDecompress2", bare, ours,
                   [&] { decoded = QImage(); });
    tjDestroy(tj);
}

void Encode(benchmark::State& state, Size s) {
    const QImage& img = picture_of(s);
    tjhandle tj = tjInitCompress();
    unsigned long capacity = tjBufSize(s.width, s.height, TJSAMP_420);
    unsigned char* buffer = tjAlloc(static_cast<int>(capacity));
    std::memset(buffer, 0, capacity);
    std::vector<unsigned char> out;
    auto bare = [&] {
        unsigned long size = capacity;
        if (tjCompress2(tj, img.constBits(), s.width, 4 * s.width, s.height, TJPF_BGRX, &buffer, &size, TJSAMP_420, 80,
                        0) != 0)
            state.SkipWithError("tjCompress2 failed");
        benchmark::DoNotOptimize(size);
    };
    auto ours = [&] {
        if (!storage::compress_rows(img.constBits(), s.width, s.height, 4 * s.width, TJPF_BGRX, 0, 80))
            state.SkipWithError("compress_rows failed");
    };
    bench::compare(state, std::string("compress_rows ") + s.label, "tjCompress2", bare, ours);
    tjFree(buffer);
    tjDestroy(tj);
}

// What the bare call itself costs when TurboJPEG grows its own output buffer
// from nothing (flags 0, no buffer given), against the preallocated one: the
// part of compress_rows' time that a reused output buffer would save.
void EncodeIntoOwnBuffer(benchmark::State& state, Size s) {
    const QImage& img = picture_of(s);
    tjhandle tj = tjInitCompress();
    unsigned long capacity = tjBufSize(s.width, s.height, TJSAMP_420);
    unsigned char* buffer = tjAlloc(static_cast<int>(capacity));
    std::memset(buffer, 0, capacity);
    auto compress = [&](unsigned char** out, unsigned long* size) {
        if (tjCompress2(tj, img.constBits(), s.width, 4 * s.width, s.height, TJPF_BGRX, out, size, TJSAMP_420, 80, 0) !=
            0)
            state.SkipWithError("tjCompress2 failed");
    };
    auto bare = [&] {
        unsigned long size = capacity;
        compress(&buffer, &size);
    };
    auto own = [&] {
        unsigned char* out = nullptr;
        unsigned long size = 0;
        compress(&out, &size);
        tjFree(out);
    };
    bench::compare(state, std::string("tjCompress2 own buffer ") + s.label, "tjCompress2", bare, own);
    tjFree(buffer);
    tjDestroy(tj);
}

}  // namespace

int main(int argc, char** argv) {
    for (const Size& s : {bench::k24MP, bench::k8MP}) {
        const int n = s.width == bench::k24MP.width ? 10 : 20;
        add(std::string("decode_picture/") + s.label, n, Decode, s);
        add(std::string("compress_rows/") + s.label, n, Encode, s);
        add(std::string("tjCompress2_own_buffer/") + s.label, n, EncodeIntoOwnBuffer, s);
    }
    return bench::run_and_summarise(argc, argv);
}
