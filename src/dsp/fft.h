#pragma once
// The real-input FFT. The arithmetic comes from the vector-math library; this
// unit owns the descriptor and its tables and calls the kernels in order.
#include <cstdint>

namespace qv {

// One entry of a twiddle table: room for two floats whose meaning belongs to
// the vector-math library.
struct TFFTSinEntry {
    float Value[2];
};

struct TFFTDescriptor {
    int32_t Order;              // log2 of the length, 1..30
    int32_t Length;             // n = 2^Order real input samples
    float InvLength;            // 1/n, scales the inverse transform
    int32_t* BitRevTable;       // n/2 entries: bit reversal of Order-1 bits
    TFFTSinEntry* SinTable1;    // n/4 entries: complex transform of n/2 points
    TFFTSinEntry* SinTable2;    // n/4 entries: real-output split step
};
using PFFTDescriptor = TFFTDescriptor*;

// A descriptor for n = 2^Order, or null when Order is outside 1..30 (2^31 does
// not fit the 32-bit length) or an allocation fails. Opens the vector-math
// library when that has not happened yet (throws EVectorMathError when missing).
PFFTDescriptor InitFFT(int32_t Order);
// Releases the descriptor and its tables and clears the pointer; nothing when null.
void DoneFFT(PFFTDescriptor& Descriptor);
// Transforms the n floats at Data in place. Direction 1: forward, unscaled,
// output n/2 complex bins (re, im) with bin 0 = (DC, 0) and no Nyquist term.
// Direction -1: the inverse of that, scaled by 1/n (a Nyquist component of the
// original input is not recovered, since the forward output drops it). Other
// directions are clamped into -1..1, and 0 transforms forward. Nothing happens
// for a null descriptor or null data.
void DoRealFFT(const TFFTDescriptor* Descriptor, float* Data, int32_t Direction);
// Fills 2^Order entries with the Order-bit reversal of their index (Order 0..30).
void FillBitRevTable(int32_t* Table, int32_t Order);

} // namespace qv
