// The exported entry points of the vector-math library. Only these symbols are
// visible; the program looks them up by name after opening the library.
#include <atomic>
#include <cstring>

#include "vecmath/fft_layout.h"
#include "vecmath/fft_scalar.h"
#include "vecmath/kernels.h"
#include "vecmath/vecmath_api.h"

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace qv::vecmath {
namespace {

// Half lengths above 2^30 would overflow the float index range of the data.
constexpr int32_t kMaxOrder = 30;

bool HasAvx2Fma()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

const TKernelSet* BestKernels()
{
    static const TKernelSet* best = HasAvx2Fma() ? Avx2Kernels() : PortableKernels();
    return best;
}

std::atomic<const TKernelSet*> gKernels{nullptr};

const TKernelSet& Kernels()
{
    const TKernelSet* k = gKernels.load(std::memory_order_acquire);
    if (!k) {
        k = BestKernels();
        gKernels.store(k, std::memory_order_release);
    }
    return *k;
}

bool ValidCount(int32_t count)
{
    return IsPowerOfTwo(count) && count <= (int32_t(1) << kMaxOrder);
}

} // namespace
} // namespace qv::vecmath

using namespace qv::vecmath;

QV_EXPORT void DoCplxFFT2(int32_t Direction, int32_t Count, const void* SinTable1, float* Data) __asm__("_DoCplxFFT2");
QV_EXPORT void fvecBitRev2(int32_t Order, const int32_t* Table, float* Data) __asm__("_fvecBitRev2");
QV_EXPORT void BuildRealOutput(int32_t Direction, int32_t Count, const void* SinTable2, float* Data) __asm__("_BuildRealOutput");
QV_EXPORT void GenSinTable1(int32_t Order, void* Table) __asm__("_GenSinTable1");
QV_EXPORT void GenSinTable2(int32_t Order, void* Table) __asm__("_GenSinTable2");
QV_EXPORT void fvecMul1(int32_t Count, float Factor, float* Data) __asm__("_fvecMul1");
QV_EXPORT int32_t Min(int32_t A, int32_t B) __asm__("_Min");
QV_EXPORT int32_t Max(int32_t A, int32_t B) __asm__("_Max");
QV_EXPORT int32_t MinMax(int32_t Value, int32_t Low, int32_t High) __asm__("_MinMax");
QV_EXPORT void GlobalMoveMem(const void* Source, void* Dest, int32_t Count) __asm__("_GlobalMoveMem");
QV_EXPORT void GlobalFillMem(void* Dest, int32_t Count, uint8_t Value) __asm__("_GlobalFillMem");
QV_EXPORT int32_t SelectKernels(int32_t Level) __asm__("_SelectKernels");

void DoCplxFFT2(int32_t Direction, int32_t Count, const void* SinTable1, float* Data)
{
    if (!ValidCount(Count) || !Data || (Count >= 2 && !SinTable1))
        return;
    const auto* table = static_cast<const float*>(SinTable1);
    if (Direction >= 0)
        ComplexForward(Kernels(), static_cast<size_t>(Count), table, Data);
    else
        InverseSplit(static_cast<size_t>(Count), table, Data);
}

void fvecBitRev2(int32_t Order, const int32_t* Table, float* Data)
{
    if (Order < 0 || Order > kMaxOrder || !Table || !Data)
        return;
    BitReverse(Kernels(), size_t(1) << Order, Table, Data);
}

void BuildRealOutput(int32_t Direction, int32_t Count, const void* SinTable2, float* Data)
{
    if (!ValidCount(Count) || !Data || (Count >= 2 && !SinTable2))
        return;
    const auto* table = static_cast<const float*>(SinTable2);
    if (Direction >= 0)
        RealSplitForward(Kernels(), static_cast<size_t>(Count), table, Data);
    else
        ComplexInverseFromBitReversed(static_cast<size_t>(Count), table, Data);
}

void GenSinTable1(int32_t Order, void* Table)
{
    if (Order < 0 || Order > kMaxOrder || !Table)
        return;
    GenerateTable1(size_t(1) << Order, static_cast<float*>(Table));
}

void GenSinTable2(int32_t Order, void* Table)
{
    if (Order < 0 || Order > kMaxOrder || !Table)
        return;
    GenerateTable2(size_t(1) << Order, static_cast<float*>(Table));
}

__attribute__((target_clones("arch=x86-64-v3", "default")))
void fvecMul1(int32_t Count, float Factor, float* Data)
{
    if (!Data)
        return;
    for (int32_t i = 0; i < Count; ++i)
        Data[i] *= Factor;
}

int32_t Min(int32_t A, int32_t B) { return A < B ? A : B; }
int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }

int32_t MinMax(int32_t Value, int32_t Low, int32_t High)
{
    // Low wins when the bounds cross, as a max-then-min clamp does.
    return Max(Min(Value, High), Low);
}

void GlobalMoveMem(const void* Source, void* Dest, int32_t Count)
{
    if (Count > 0 && Source && Dest)
        std::memmove(Dest, Source, static_cast<size_t>(Count));
}

void GlobalFillMem(void* Dest, int32_t Count, uint8_t Value)
{
    if (Count > 0 && Dest)
        std::memset(Dest, Value, static_cast<size_t>(Count));
}

int32_t SelectKernels(int32_t Level)
{
    const TKernelSet* k = Level <= 0 ? PortableKernels() : BestKernels();
    gKernels.store(k, std::memory_order_release);
    return k == PortableKernels() ? 0 : 1;
}
