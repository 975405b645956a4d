#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "clsPicfilter.h"
#include "parallel.h"
#include "pass_constants.h"
#include "ratio_kernels.h"

namespace filter {

namespace {

void check_threshold(const RatioTest& test, const char* name) {
    if (test.on() && std::isnan(test.threshold))
        throw Refused(std::string("app_filter : le seuil ") + name + " n'est pas un nombre");
}

}  // namespace

double clsPicfilter::app_filter(double BR_filter, double BR_seuil, double BG_filter, double BG_seuil, double RG_filter,
                                double RG_seuil) {
    if (!initialized) return 0;
    const RatioTests tests{{{BR_filter, BR_seuil}, {BG_filter, BG_seuil}, {RG_filter, RG_seuil}}};
    // A threshold that is not a number is refused before anything changes.
    check_threshold(tests[0], "BR_seuil");
    check_threshold(tests[1], "BG_seuil");
    check_threshold(tests[2], "RG_seuil");

    const std::size_t total = pixel_count();
    const auto* src = reinterpret_cast<const std::uint32_t*>(ref_data());
    auto* dst = reinterpret_cast<std::uint32_t*>(result_for_overwrite());

    if (!tests[0].on() && !tests[1].on() && !tests[2].on()) {
        core::parallel_slices(total, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
            std::memcpy(dst + b, src + b, (e - b) * sizeof(std::uint32_t));
        });
        return 0;
    }

    // A mask that was never made reads as zero: with the mask on, every
    // pixel is then outside.
    if (maskActive && !mask_made_) {
        core::parallel_slices(total, kMinPixelsPerThread,
                              [&](std::size_t b, std::size_t e) { mark_outside(src + b, dst + b, e - b); });
        maskedSurface = 1.0;
        return 0;
    }

    const RatioTables tables = ratio_tables(tests);
    const VectorTests vector = vector_tests(tests);
    const auto* mask = maskActive ? reinterpret_cast<const std::uint32_t*>(mask_.data()) : nullptr;
    const bool stream = total >= kStreamPixels;
    std::atomic<std::uint64_t> passing{0}, outside{0};
    core::parallel_slices(total, kMinPixelsPerThread, [&](std::size_t b, std::size_t e) {
        const RatioCounts c = mark_ratios(src + b, dst + b, mask ? mask + b : nullptr, e - b, tables, vector, stream);
        passing.fetch_add(c.passing, std::memory_order_relaxed);
        outside.fetch_add(c.outside, std::memory_order_relaxed);
    });

    const std::uint64_t considered = total - outside.load();
    if (considered == 0) {
        maskedSurface = 1.0;
        return 0;
    }
    maskedSurface = static_cast<double>(outside.load()) / static_cast<double>(total);
    return static_cast<double>(passing.load()) / static_cast<double>(considered);
}

}  // namespace filter
