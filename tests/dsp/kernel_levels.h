#pragma once
// Runs a check once per kernel level of the vector-math library: the portable
// one, and the processor's best when it differs. The best level is left selected.
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "dsp/vector_math.h"

namespace qvtest {

template <typename Fn> void ForEachKernelLevel(Fn&& check)
{
    const auto select =
        reinterpret_cast<TSelectKernelsProc>(qv::VectorMathLibrary().Symbol(qv::vecmath::kSelectKernels));
    const bool best = select(1) == 1;
    for (int32_t level = 0; level <= (best ? 1 : 0); ++level) {
        select(level);
        check(level);
    }
    select(1);
}

// n random values drawn evenly from lo..hi.
template <typename T> std::vector<float> RandomValues(size_t n, uint32_t seed, T lo, T hi)
{
    std::mt19937 gen(seed);
    std::conditional_t<std::is_integral_v<T>, std::uniform_int_distribution<T>, std::uniform_real_distribution<T>>
        dist(lo, hi);
    std::vector<float> v(n);
    for (float& x : v)
        x = static_cast<float>(dist(gen));
    return v;
}

} // namespace qvtest
