#pragma once

// Four floats worked on at once, in the compiler's vector extension: the processor's vector
// instructions where it has them (SSE2 on x86-64, NEON on arm64), lane by lane elsewhere.

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON) && defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace noxa::lanes {

using Floats = float __attribute__((vector_size(16)));
using Ints = std::int32_t __attribute__((vector_size(16)));  // and the masks of comparisons

inline Floats Select(Ints mask, Floats yes, Floats no) {
    return reinterpret_cast<Floats>((mask & reinterpret_cast<Ints>(yes)) |
                                    (~mask & reinterpret_cast<Ints>(no)));
}

inline Floats Min(Floats a, Floats b) {
    return Select(a < b, a, b);
}

inline Floats Clamp01(Floats v) {
    return Select(v < 0.0f, Floats{}, Min(v, Floats{} + 1.0f));
}

inline Floats Abs(Floats v) {
    return reinterpret_cast<Floats>(reinterpret_cast<Ints>(v) & 0x7fffffff);
}

inline Floats Sqrt(Floats v) {
#if defined(__SSE2__)
    return reinterpret_cast<Floats>(_mm_sqrt_ps(reinterpret_cast<__m128>(v)));
#elif defined(__ARM_NEON) && defined(__aarch64__)
    return reinterpret_cast<Floats>(vsqrtq_f32(reinterpret_cast<float32x4_t>(v)));
#else
    for (int i = 0; i < 4; ++i) v[i] = std::sqrt(v[i]);
    return v;
#endif
}

// Rounded to the nearest whole number, for values of at least -0.5.
inline Ints Rounded(Floats v) {
    return __builtin_convertvector(v + 0.5f, Ints);
}

}  // namespace noxa::lanes
