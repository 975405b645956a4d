// Saving a 24-megapixel picture, from the answer OK to the record's file in
// place, next to the least any save must do: one TurboJPEG encode of the same
// picture and one write of the staging bitmap.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "store_picture.h"

namespace {

using Clock = std::chrono::steady_clock;

QImage test_picture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgb((x * 7 + y) & 255, (x ^ y) & 255, ((x / 8) * (y / 8) + (x * y) % 13) & 255);
    }
    return img;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The bare reference: encode in memory, and write the picture's bytes once
// to a file the way staging does (no flush to disk).
double reference_seconds(const QImage& picture, const QString& staging) {
    const auto start = Clock::now();
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, picture.constBits(), picture.width(), int(picture.bytesPerLine()), picture.height(), TJPF_BGRX,
                &jpeg, &size, TJSAMP_420, 80, 0);
    const int fd = ::open(QFile::encodeName(staging).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const char* p = reinterpret_cast<const char*>(picture.constBits());
    std::size_t left = std::size_t(picture.sizeInBytes());
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w <= 0) break;
        p += w;
        left -= std::size_t(w);
    }
    ::close(fd);
    const auto end = Clock::now();
    benchmark::DoNotOptimize(size);
    tjFree(jpeg);
    tjDestroy(tj);
    return std::chrono::duration<double>(end - start).count();
}

void BM_Save24Megapixels(benchmark::State& state) {
    const QImage picture = test_picture(6000, 4000);
    QTemporaryDir dir;
    const QString record = dir.filePath("123.jpg");
    const QString staging = dir.filePath("run/tmp.bmp");
    QDir().mkpath(dir.filePath("run"));
    const QString reference_file = dir.filePath("run/reference.bmp");
    std::vector<double> saves, references;
    for (auto _ : state) {
        const double reference = reference_seconds(picture, reference_file);
        const auto start = Clock::now();
        const auto saved = storage::store_picture(picture, record, staging);
        const double save = std::chrono::duration<double>(Clock::now() - start).count();
        if (!saved) state.SkipWithError(saved.error().reason().c_str());
        state.SetIterationTime(save);
        saves.push_back(save);
        references.push_back(reference);
    }
    // Medians of interleaved runs, so that both see the same load on a shared machine.
    const double save = median(saves), reference = median(references);
    state.counters["save_ms"] = 1e3 * save;
    state.counters["encode_plus_write_ms"] = 1e3 * reference;
    state.counters["ratio"] = save / reference;
    std::printf("save of 24 MP: %.1f ms, TurboJPEG encode + one staging write: %.1f ms, ratio %.2f\n", 1e3 * save,
                1e3 * reference, save / reference);
}

BENCHMARK(BM_Save24Megapixels)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);

}  // namespace

BENCHMARK_MAIN();
