#pragma once
// The vectorised forward-transform kernels, one set per instruction level. Each
// set is compiled in a translation unit of its own with that level's compiler
// flags; entry_points.cpp picks one at load time.
#include <cstddef>
#include <cstdint>

namespace qv::vecmath {

struct TKernelSet {
    const char* Name;
    // Complex forward FFT of Count >= 32 points, natural in, bit-reversed out.
    void (*ComplexForward)(size_t Count, const float* Table1, float* Data);
    // Bit-reversal permutation of Count >= 16 complex pairs; Table as for _fvecBitRev2.
    void (*BitReverse)(size_t Count, const int32_t* Table, float* Data);
    // Forward real-output split of Count >= 32 points.
    void (*RealSplit)(size_t Count, const float* Table2, float* Data);
};

// Portable code: plain C++ with 128-bit compiler vectors.
const TKernelSet* PortableKernels();
// AVX2 and FMA: only to be called when the processor has both.
const TKernelSet* Avx2Kernels();

} // namespace qv::vecmath
