#include "ratio_tables.h"

namespace filter {

namespace {

struct Interval {
    std::uint32_t start = 0, width = 255;  // switched off: everything passes
};

std::array<Interval, 256> intervals(const RatioTest& test) {
    std::array<Interval, 256> table{};
    if (!test.on()) return table;
    for (int right = 0; right < 256; ++right) {
        const double bound = static_cast<double>(right) * test.threshold;
        int lo = 256, hi = -1;
        for (int left = 0; left < 256; ++left) {
            const double v = left;
            if (test.mode == 1 ? v > bound : v < bound) {
                if (lo == 256) lo = left;
                hi = left;
            }
        }
        table[right] =
            lo > hi ? Interval{256, 0} : Interval{static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi - lo)};
    }
    return table;
}

std::uint32_t pack(const Interval& i) { return i.start | i.width << 16; }

}  // namespace

RatioTables ratio_tables(const RatioTests& tests) {
    const auto br = intervals(tests[0]), bg = intervals(tests[1]), rg = intervals(tests[2]);
    RatioTables t;
    for (std::size_t v = 0; v < 256; ++v) {
        t.by_red[v] = pack(br[v]);
        t.by_green[v] = pack(bg[v]) | std::uint64_t{pack(rg[v])} << 32;
    }
    return t;
}

VectorTests vector_tests(const RatioTests& tests) {
    VectorTests v{};
    for (std::size_t k = 0; k < 3; ++k) {
        v.on[k] = tests[k].on();
        v.sign_bit[k] = tests[k].mode == 3 ? -0.0 : 0.0;
        v.factor[k] = !v.on[k] ? 0.0 : tests[k].mode == 3 ? -tests[k].threshold : tests[k].threshold;
    }
    return v;
}

}  // namespace filter
