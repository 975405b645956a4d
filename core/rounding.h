#pragma once
#include <cmath>

namespace core {

// Fractional values become whole numbers by rounding to nearest with halves
// going to the even neighbour (2.5 -> 2, 3.5 -> 4): the default IEEE mode.
inline int to_integer(double v) { return static_cast<int>(std::nearbyint(v)); }

// Single-precision factor, as the adjustment formulas take them.
inline double single(double v) { return static_cast<double>(static_cast<float>(v)); }

}  // namespace core
