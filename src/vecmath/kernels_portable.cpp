// The transform kernels in portable C++: the same passes as the AVX2 set, on a
// pair of 128-bit compiler vectors (SSE2 on any x86-64, NEON elsewhere).
#include <cstring>

#include "vecmath/fft_passes.h"
#include "vecmath/kernels.h"

namespace qv::vecmath {
namespace {

typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));

struct TPortable {
    struct V {
        F4 lo, hi;
    };
    static V Load(const float* p)
    {
        V v;
        std::memcpy(&v.lo, p, sizeof(F4));
        std::memcpy(&v.hi, p + 4, sizeof(F4));
        return v;
    }
    static void Store(float* p, V v)
    {
        std::memcpy(p, &v.lo, sizeof(F4));
        std::memcpy(p + 4, &v.hi, sizeof(F4));
    }
    static V Set1(float f)
    {
        const F4 x = {f, f, f, f};
        return {x, x};
    }
    static V Add(V a, V b) { return {a.lo + b.lo, a.hi + b.hi}; }
    static V Sub(V a, V b) { return {a.lo - b.lo, a.hi - b.hi}; }
    static V Mul(V a, V b) { return {a.lo * b.lo, a.hi * b.hi}; }
    static V FMAdd(V a, V b, V c) { return {a.lo * b.lo + c.lo, a.hi * b.hi + c.hi}; }
    static V FMSub(V a, V b, V c) { return {a.lo * b.lo - c.lo, a.hi * b.hi - c.hi}; }

    template <int A, int B, int C, int D> static V Shuffle(V a, V b)
    {
        const I4 m = {A, B, C, D};
        return {__builtin_shuffle(a.lo, b.lo, m), __builtin_shuffle(a.hi, b.hi, m)};
    }
    static void Deinterleave(V a, V b, V& re, V& im)
    {
        re = Shuffle<0, 2, 4, 6>(a, b);
        im = Shuffle<1, 3, 5, 7>(a, b);
    }
    static V ShufLowHalves(V a, V b) { return Shuffle<0, 1, 4, 5>(a, b); }
    static V ShufHighHalves(V a, V b) { return Shuffle<2, 3, 6, 7>(a, b); }
    static V ShufEven(V a, V b) { return Shuffle<0, 2, 4, 6>(a, b); }
    static V ShufOdd(V a, V b) { return Shuffle<1, 3, 5, 7>(a, b); }
    static V LanesLow(V a, V b) { return {a.lo, b.lo}; }
    static V LanesHigh(V a, V b) { return {a.hi, b.hi}; }
    static V BlendOdd(V a, V b) { return Shuffle<0, 5, 2, 7>(a, b); }
    static V UnpackLow(V a, V b) { return Shuffle<0, 4, 1, 5>(a, b); }
    static V UnpackHigh(V a, V b) { return Shuffle<2, 6, 3, 7>(a, b); }
    static V UnpackLow64(V a, V b) { return Shuffle<0, 1, 4, 5>(a, b); }
    static V UnpackHigh64(V a, V b) { return Shuffle<2, 3, 6, 7>(a, b); }
    static V Reverse64(V a)
    {
        const I4 m = {2, 3, 0, 1};
        return {__builtin_shuffle(a.hi, m), __builtin_shuffle(a.lo, m)};
    }
};

using TFFT = TForwardFFT<TPortable>;

void ComplexForward(size_t count, const float* table, float* data) { TFFT::ComplexForward(count, table, data); }
void BitReverse(size_t count, const int32_t* table, float* data) { TFFT::BitReverse(count, table, data); }
void RealSplit(size_t count, const float* table, float* data) { TFFT::RealSplitBlocks(count, table, data); }

constexpr TKernelSet kPortableKernels = {"portable", ComplexForward, BitReverse, RealSplit};

} // namespace

const TKernelSet* PortableKernels() { return &kPortableKernels; }

} // namespace qv::vecmath
