#include "dsp/fft.h"

#include <cstdlib>

#include "dsp/vector_math.h"

namespace qv {

namespace {
constexpr int32_t kMaxOrder = 30;

// Zero-filled; a zero-length table still gets one entry so that a successful
// allocation is never mistaken for a failed one.
template <typename E> E* AllocTable(size_t entries)
{
    return static_cast<E*>(std::calloc(entries ? entries : 1, sizeof(E)));
}
} // namespace

void FillBitRevTable(int32_t* Table, int32_t Order)
{
    if (!Table || Order < 0 || Order > kMaxOrder)
        return;
    const uint32_t m = uint32_t(1) << Order;
    const uint32_t h = m / 2;
    for (uint32_t i = 0; i < m; ++i) {
        uint32_t c = 0;
        for (uint32_t d = h; d >= 1; d /= 2)
            c = (i & d) ? c / 2 + h : c / 2;
        Table[i] = static_cast<int32_t>(c);
    }
}

PFFTDescriptor InitFFT(int32_t Order)
{
    if (Order <= 0 || Order > kMaxOrder)
        return nullptr;
    const TVectorMathProcs& vm = VectorMath();
    auto* d = static_cast<PFFTDescriptor>(std::calloc(1, sizeof(TFFTDescriptor)));
    if (!d)
        return nullptr;
    d->Order = Order;
    d->Length = int32_t(1) << Order;
    d->InvLength = static_cast<float>(1.0 / d->Length);
    const size_t n = static_cast<size_t>(d->Length);
    d->BitRevTable = AllocTable<int32_t>(n / 2);
    d->SinTable1 = AllocTable<TFFTSinEntry>(n / 4);
    d->SinTable2 = AllocTable<TFFTSinEntry>(n / 4);
    if (!d->BitRevTable || !d->SinTable1 || !d->SinTable2) {
        DoneFFT(d);
        return nullptr;
    }
    FillBitRevTable(d->BitRevTable, Order - 1);
    vm.GenSinTable1(Order - 1, d->SinTable1);
    vm.GenSinTable2(Order - 1, d->SinTable2);
    return d;
}

void DoneFFT(PFFTDescriptor& Descriptor)
{
    if (!Descriptor)
        return;
    std::free(Descriptor->BitRevTable);
    std::free(Descriptor->SinTable1);
    std::free(Descriptor->SinTable2);
    std::free(Descriptor);
    Descriptor = nullptr;
}

void DoRealFFT(const TFFTDescriptor* Descriptor, float* Data, int32_t Direction)
{
    if (!Descriptor || !Data)
        return;
    const TVectorMathProcs& vm = VectorMath();
    const int32_t half = Descriptor->Length / 2;
    Direction = vm.MinMax(Direction, -1, 1);
    vm.DoCplxFFT2(Direction, half, Descriptor->SinTable1, Data);
    vm.fvecBitRev2(Descriptor->Order - 1, Descriptor->BitRevTable, Data);
    // Bin 0: the packed transform's real and imaginary parts are the sums of the
    // even and the odd samples; together they are the DC term.
    Data[0] = Data[0] + Data[1];
    Data[1] = 0.0f;
    vm.BuildRealOutput(Direction, half, Descriptor->SinTable2, Data);
    if (Direction < 0)
        vm.fvecMul1(Descriptor->Length, Descriptor->InvLength, Data);
}

} // namespace qv
