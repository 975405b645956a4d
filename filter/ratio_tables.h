#pragma once
#include <array>
#include <cstdint>

namespace filter {

// One colour-ratio test of a pixel: `left` against `right` times the
// threshold. Mode 1 passes left > right * threshold, mode 3 passes
// left < right * threshold; any other mode switches the test off.
struct RatioTest {
    double mode = 0, threshold = 0;
    bool on() const { return mode == 1 || mode == 3; }
};
// Blue against red, blue against green, red against green.
using RatioTests = std::array<RatioTest, 3>;

// The tests as two lookups per pixel. For every value of `right` the passing
// values of `left` form one interval (the comparison is monotone in `left`),
// so the double-precision comparison is made here once per byte pair and the
// pass compares bytes only. An interval is 16 bits of start and 16 of width:
// left passes when (unsigned)(left - start) <= width (see within); an empty
// one starts at 256. By red: blue against red; by green: blue against green,
// and red against green 32 bits up.
struct RatioTables {
    std::array<std::uint32_t, 256> by_red;
    std::array<std::uint64_t, 256> by_green;
};
RatioTables ratio_tables(const RatioTests& tests);

inline bool within(std::uint32_t v, std::uint32_t interval) { return v - (interval & 0xFFFF) <= (interval >> 16); }

// The tests as the vector kernels make them, in double precision as written:
// mode 3 (left < right * t) becomes -left > right * (-t), the same comparison
// since negation is exact; a test that is off is or-ed with all ones.
struct VectorTests {
    double sign_bit[3];  // -0.0 for mode 3 (flips the sign of left), else 0.0
    double factor[3];    // t for mode 1, -t for mode 3
    bool on[3];
};
VectorTests vector_tests(const RatioTests& tests);

}  // namespace filter
