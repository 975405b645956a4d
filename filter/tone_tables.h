#pragma once
#include <array>
#include <cstdint>

namespace filter {

// The five settings of the adjustment pipeline.
struct Adjustments {
    bool invert = false;
    int light = 0;     // -50..50
    int contrast = 0;  // -50..50
    int gamma = 127;   // 1..254
    int color = 0;     // 0..20
};

// Out-of-range settings are brought to the nearest value of their range
// (a gamma of 0 would divide by zero; it becomes 1).
Adjustments clamp_to_ranges(const Adjustments& a);

// Tone table and the three palette tables, built in the pipeline's order:
// negative, light, gamma, contrast (pivot `mean`), palette base, colour mix.
// The tone table keeps 766 entries of which only 0..255 are used.
struct ToneTables {
    std::array<std::int16_t, 766> tone{};
    std::array<std::int16_t, 256> red{};
    std::array<std::int16_t, 256> green{};
    std::array<std::int16_t, 256> blue{};
};
void build_tone_tables(const Adjustments& a, int mean, ToneTables& t);

// The tables folded into what one pixel needs: for the per-channel path, the
// final blue, green and red value of a byte, already shifted into place in a
// 32-bit BGRX word; for the false-colour path, the whole BGR word indexed by
// the sum of the three bytes (0..765).
struct PixelMap {
    bool false_colour = false;
    std::array<std::uint32_t, 256> blue{};
    std::array<std::uint32_t, 256> green{};
    std::array<std::uint32_t, 256> red{};
    std::array<std::uint32_t, 766> by_sum{};
};
void fold_tables(const ToneTables& t, bool false_colour, PixelMap& m);

}  // namespace filter
