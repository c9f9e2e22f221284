#pragma once
// Scalar parts of the transform: table generation, the short lengths below the
// blocked kernels, the inverse path and the edges of the real-output split.
#include <cstddef>
#include <cstdint>

namespace qv::vecmath {

struct TKernelSet;

void GenerateTable1(size_t Count, float* Table);
void GenerateTable2(size_t Count, float* Table);

void ComplexForward(const TKernelSet& Kernels, size_t Count, const float* Table1, float* Data);
void BitReverse(const TKernelSet& Kernels, size_t Count, const int32_t* Table, float* Data);
void RealSplitForward(const TKernelSet& Kernels, size_t Count, const float* Table2, float* Data);

// Inverse path: the inverse split on natural-order bins, and the inverse complex
// transform from bit-reversed order.
void InverseSplit(size_t Count, const float* Table1, float* Data);
void ComplexInverseFromBitReversed(size_t Count, const float* Table2, float* Data);

} // namespace qv::vecmath
