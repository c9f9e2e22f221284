// The transform kernels for processors with AVX2 and FMA. This file alone is
// compiled with -mavx2 -mfma; nothing in it runs unless entry_points.cpp has
// found both on the processor, and it has no static initialisers.
#include <immintrin.h>

#include "vecmath/fft_passes.h"
#include "vecmath/kernels.h"

namespace qv::vecmath {
namespace {

struct TAvx2 {
    using V = __m256;
    static V Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, V v) { _mm256_storeu_ps(p, v); }
    static V Set1(float f) { return _mm256_set1_ps(f); }
    static V Add(V a, V b) { return _mm256_add_ps(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static V Mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V FMAdd(V a, V b, V c) { return _mm256_fmadd_ps(a, b, c); }
    static V FMSub(V a, V b, V c) { return _mm256_fmsub_ps(a, b, c); }

    // Two vectors of four interleaved complex values -> real and imaginary parts
    // in block order.
    static void Deinterleave(V a, V b, V& re, V& im)
    {
        re = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        im = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static V ShufLowHalves(V a, V b) { return _mm256_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 1, 0)); }
    static V ShufHighHalves(V a, V b) { return _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 2, 3, 2)); }
    static V ShufEven(V a, V b) { return _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)); }
    static V ShufOdd(V a, V b) { return _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)); }
    static V LanesLow(V a, V b) { return _mm256_permute2f128_ps(a, b, 0x20); }
    static V LanesHigh(V a, V b) { return _mm256_permute2f128_ps(a, b, 0x31); }
    static V BlendOdd(V a, V b) { return _mm256_blend_ps(a, b, 0xAA); }
    static V UnpackLow(V a, V b) { return _mm256_unpacklo_ps(a, b); }
    static V UnpackHigh(V a, V b) { return _mm256_unpackhi_ps(a, b); }
    static V UnpackLow64(V a, V b)
    {
        return _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(a), _mm256_castps_pd(b)));
    }
    static V UnpackHigh64(V a, V b)
    {
        return _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(a), _mm256_castps_pd(b)));
    }
    // Reverses the order of the four 64-bit pairs.
    static V Reverse64(V a)
    {
        return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(a), _MM_SHUFFLE(0, 1, 2, 3)));
    }
};

using TFFT = TForwardFFT<TAvx2>;

void ComplexForward(size_t count, const float* table, float* data) { TFFT::ComplexForward(count, table, data); }
void BitReverse(size_t count, const int32_t* table, float* data) { TFFT::BitReverse(count, table, data); }
void RealSplit(size_t count, const float* table, float* data) { TFFT::RealSplitBlocks(count, table, data); }

constexpr TKernelSet kAvx2Kernels = {"avx2-fma", ComplexForward, BitReverse, RealSplit};

} // namespace

const TKernelSet* Avx2Kernels() { return &kAvx2Kernels; }

} // namespace qv::vecmath
