#pragma once
// Shared by the benchmark programs: test pictures, and timing of an operation
// interleaved with its reference (memcpy of the same bytes, or the bare
// library call), so that both see the same load on a shared machine. Each
// benchmark reports the median of each and their ratio, and a summary line is
// printed at the end of the program.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pixel_image.h"

namespace bench {

struct Size {
    int width, height;
    const char* label;
};
inline constexpr Size k24MP{6000, 4000, "24MP"};
inline constexpr Size k8MP{3464, 2309, "8MP"};

// A grey radiograph-like picture: soft tissue, two bright shafts with a fine
// texture, a wire grid and film grain; the same bytes on every call.
inline QImage radiograph(int w, int h) {
    QImage img = filter::allocate_rgb32(w, h);
    std::mt19937 rng(20261206);
    std::vector<std::int16_t> grain(1 << 16);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (auto& g : grain) g = static_cast<std::int16_t>(std::lround(noise(rng)));
    std::vector<double> tex_x(w), tissue_x(w);
    for (int x = 0; x < w; ++x) {
        tex_x[x] = std::sin(x * 0.9);
        tissue_x[x] = std::pow((static_cast<double>(x) / w - 0.5) / 0.42, 2);
    }
    std::uint32_t g_index = 1;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(img.scanLine(y));
        const double fy = static_cast<double>(y) / h;
        const double ty = std::pow((fy - 0.5) / 0.55, 2), sy = std::sin(y * 0.7);
        for (int x = 0; x < w; ++x) {
            const double fx = static_cast<double>(x) / w;
            const double r2 = tissue_x[x] + ty;
            double v = 20 + (r2 < 1 ? 64 * (1 - r2) : 0);
            const double d1 = std::abs(fx - 0.38) / 0.07, d2 = std::abs(fx - 0.62) / 0.055;
            if (d1 < 1 || d2 < 1) v += (d1 < 1 ? 90 + 60 * d1 * d1 : 80 + 70 * d2 * d2) * (0.8 + 0.2 * tex_x[x] * sy);
            if (x % 97 < 2 || y % 89 < 2) v += 38;
            g_index = g_index * 1664525u + 1013904223u;
            v += grain[g_index >> 16];
            const auto g = static_cast<std::uint32_t>(std::clamp(static_cast<int>(v), 0, 255));
            row[x] = 0xFF000000u | g << 16 | g << 8 | g;
        }
    }
    return img;
}

// Random bytes in all three colour channels (worst case for any shortcut).
inline QImage random_colour(int w, int h, unsigned seed) {
    QImage img = filter::allocate_rgb32(w, h);
    std::mt19937 rng(seed);
    auto* p = reinterpret_cast<std::uint32_t*>(img.bits());
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    for (std::size_t i = 0; i < n; ++i) p[i] = rng() | 0xFF000000u;
    return img;
}

// Two buffers of `bytes`, both written once, for the memcpy reference.
struct CopyReference {
    core::PixelMemory src, dst;
    std::size_t bytes;
    explicit CopyReference(std::size_t n) : src(n), dst(n), bytes(n) {
        std::memset(src.data(), 0x5A, n);
        std::memset(dst.data(), 0, n);
    }
    void operator()() {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
};

struct Summary {
    std::string name, reference;
    double op_ms, ref_ms, ratio, best_ratio, cpu_ratio;
};
inline std::vector<Summary>& summaries() {
    static std::vector<Summary> s;
    return s;
}

// Processor time of the whole process (all threads), in seconds: on a shared
// machine this shows the work done apart from the waiting for a core.
inline double process_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Times `op` against `reference` in alternation. `prepare` runs untimed
// before each op (restoring its input, for instance).
template <typename Reference, typename Op>
void compare(benchmark::State& state, const std::string& name, const std::string& ref_name, Reference&& reference,
             Op&& op, const std::function<void()>& prepare = {}) {
    using clock = std::chrono::steady_clock;
    // One untimed round first: buffers mapped, tables built, caches warm.
    if (prepare) prepare();
    reference();
    op();
    std::vector<double> ops, refs;
    double ref_cpu = 0, op_cpu = 0;
    for (auto _ : state) {
        if (prepare) prepare();
        const double c0 = process_cpu_seconds();
        const auto t0 = clock::now();
        reference();
        const auto t1 = clock::now();
        const double c1 = process_cpu_seconds();
        op();
        const auto t2 = clock::now();
        const double c2 = process_cpu_seconds();
        ref_cpu += c1 - c0;
        op_cpu += c2 - c1;
        const double r = std::chrono::duration<double>(t1 - t0).count();
        const double o = std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
        refs.push_back(r);
        ops.push_back(o);
    }
    const double o = median(ops), r = median(refs);
    const double best = *std::min_element(ops.begin(), ops.end()) / *std::min_element(refs.begin(), refs.end());
    state.counters["ref_ms"] = r * 1e3;
    state.counters["x_ref"] = o / r;
    state.counters["x_ref_best"] = best;
    const double cpu = ref_cpu > 0 ? op_cpu / ref_cpu : 0;
    state.counters["cpu_x_ref"] = cpu;
    summaries().push_back({name, ref_name, o * 1e3, r * 1e3, o / r, best, cpu});
}

inline int run_and_summarise(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf(
        "\nSummary: medians of wall time; best = fastest op / fastest reference; cpu = processor time of all\n"
        "threads, op / reference:\n");
    for (const auto& s : summaries())
        std::printf("%-34s %8.2f ms  %-13s %7.2f ms  %5.2f x %s (best %5.2f, cpu %5.2f)\n", s.name.c_str(), s.op_ms,
                    s.reference.c_str(), s.ref_ms, s.ratio, s.reference.c_str(), s.best_ratio, s.cpu_ratio);
    return 0;
}

// Registers f(state, args...) as a manually timed benchmark of a fixed
// number of iterations, reported in milliseconds.
template <typename F, typename... A>
void add(const std::string& name, int iterations, F f, A... args) {
    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& st) { f(st, args...); })
        ->UseManualTime()
        ->Iterations(iterations)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
