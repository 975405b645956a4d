#pragma once

// The processor's kernels exist only where the compiler can build them.
#if defined(__x86_64__) && defined(__GNUC__)
#define FILTER_X86_KERNELS 1
#endif

namespace filter {

// The vector units the passes have kernels for, each a step up from the one
// before: a processor with one has all those below it. A pass uses its
// widest kernel that the chosen unit allows.
enum class VectorUnit {
    plain,        // one value at a time: every processor
    avx2,         // 256-bit vectors (AVX2, POPCNT)
    avx512,       // 512-bit vectors (AVX-512 F, BW, VL)
    avx512_vbmi,  // the same with byte permutes across the whole vector (VBMI)
};

// Whether this processor has `unit` (and so every unit below it).
bool has_vector_unit(VectorUnit unit);
VectorUnit widest_vector_unit();

// The unit the passes use: the widest the processor has, unless narrowed.
VectorUnit vector_unit();
// Narrows (or widens back) what the passes use, so that tests reach every
// path on a processor that has them all. Returns false, changing nothing,
// when the processor lacks `unit`.
bool select_vector_unit(VectorUnit unit);

}  // namespace filter
