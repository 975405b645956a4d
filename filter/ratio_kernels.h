#pragma once
#include <cstddef>
#include <cstdint>

#include "ratio_tables.h"

namespace filter {

struct RatioCounts {
    std::uint64_t passing = 0, outside = 0;
};

// dst = src for pixels [0, n), with the pixels that pass all three tests
// marked green and, with a mask, those whose mask red byte is not 255 marked
// blue (outside, and not counted as passing); a mark keeps the fourth byte.
// Runs on the vector unit the passes use; with `stream`, dst is written past
// the cache.
RatioCounts mark_ratios(const std::uint32_t* src, std::uint32_t* dst, const std::uint32_t* mask, std::size_t n,
                        const RatioTables& tables, const VectorTests& tests, bool stream);

// dst = src for pixels [0, n) with every pixel marked outside.
void mark_outside(const std::uint32_t* src, std::uint32_t* dst, std::size_t n);

}  // namespace filter
