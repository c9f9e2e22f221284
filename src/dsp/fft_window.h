#pragma once
// Analysis windows, their integer (Q15) tables, and the windowing of a block of
// samples into the float array the FFT transforms.
#include <cstdint>

namespace qv {

enum TMMFFTWindow : int32_t {
    fwRectangular = 0,
    fwHamming = 1,
    fwHanning = 2,
    fwBlackman = 3,
    fwGaussian = 4,
    fwWelch = 5,
    fwParzen = 6,
};

// The window's value at sample Index of Count, evaluated in extended precision.
// Values above fwParzen, and Count <= 0, give the rectangle's 1.0.
float GetWindowValue(TMMFFTWindow Window, int32_t Index, int32_t Count);

// Table[i] = FloorInt(GetWindowValue(Window, i, 2^Order) * 32767 + 0.5) for
// i < 2^Order (Order 0..30; nothing otherwise). The scale is 32767 while the
// windowing divides by 32768.
void FillWindowTable(int32_t* Table, TMMFFTWindow Window, int32_t Order);

// Data[i] = MulDiv32(Samples[i * Stride], Table[i], 32768) as a float, for
// i < Count: 16-bit samples (Stride 2 picks one channel of stereo frames).
void WindowSamples16(const int16_t* Samples, int32_t Stride, const int32_t* Table, float* Data,
                     int32_t Count);

// Data[i] = MulDiv32(Values[i], Table[i], Divisor) as a float, for i < Count:
// for values already prepared (emphasised, or 8-bit samples less 128 with
// Divisor 128). Divisor 0 gives -1, as MulDiv32 does.
void WindowValues(const int32_t* Values, const int32_t* Table, int32_t Divisor, float* Data,
                  int32_t Count);

} // namespace qv
