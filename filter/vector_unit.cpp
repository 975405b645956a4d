#include "vector_unit.h"

#include <atomic>

namespace filter {

namespace {

// What `unit` adds to the one below it.
bool has_own_features(VectorUnit unit) {
#ifdef FILTER_X86_KERNELS
    switch (unit) {
        case VectorUnit::plain:
            return true;
        case VectorUnit::avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
        case VectorUnit::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl");
        case VectorUnit::avx512_vbmi:
            return __builtin_cpu_supports("avx512vbmi");
    }
    return false;
#else
    return unit == VectorUnit::plain;
#endif
}

std::atomic<VectorUnit>& chosen() {
    static std::atomic<VectorUnit> unit{widest_vector_unit()};
    return unit;
}

}  // namespace

bool has_vector_unit(VectorUnit unit) {
    for (int u = 0; u <= static_cast<int>(unit); ++u)
        if (!has_own_features(static_cast<VectorUnit>(u))) return false;
    return true;
}

VectorUnit widest_vector_unit() {
    static const VectorUnit widest = [] {
        VectorUnit w = VectorUnit::plain;
        for (VectorUnit u : {VectorUnit::avx2, VectorUnit::avx512, VectorUnit::avx512_vbmi})
            if (has_vector_unit(u)) w = u;
        return w;
    }();
    return widest;
}

VectorUnit vector_unit() { return chosen().load(std::memory_order_relaxed); }

bool select_vector_unit(VectorUnit unit) {
    if (!has_vector_unit(unit)) return false;
    chosen().store(unit, std::memory_order_relaxed);
    return true;
}

}  // namespace filter
