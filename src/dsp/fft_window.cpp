#include "dsp/fft_window.h"

#include <cmath>

#include "framework/numeric.h"

namespace qv {

namespace {
constexpr long double kTwoPi = 6.283185307179586L;
constexpr long double kFourPi = 12.566370614359172L;
constexpr int32_t kMaxOrder = 30;

inline int32_t Saturate32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

constexpr int32_t kChunk = 256;

inline uint32_t UAbs(int32_t v)
{
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// MulDiv32 of a product that fits 32 bits, by 2^Shift: truncation toward zero.
inline float MulDivShift32(int32_t p, int Shift)
{
    return static_cast<float>((p + ((p >> 31) & ((int32_t(1) << Shift) - 1))) >> Shift);
}

// MulDiv32 for a divisor 2^Shift: truncation toward zero by a biased shift.
inline float MulDivShift(int64_t a, int64_t b, int Shift)
{
    const int64_t p = a * b;
    const int64_t bias = (p >> 63) & ((int64_t(1) << Shift) - 1);
    return static_cast<float>(Saturate32((p + bias) >> Shift));
}
} // namespace

float GetWindowValue(TMMFFTWindow Window, int32_t Index, int32_t Count)
{
    if (Count <= 0)
        return 1.0f;
    const long double i = Index;
    const long double n = Count;
    long double v;
    switch (Window) {
    case fwHamming:
        v = 0.54L - 0.46L * cosl(kTwoPi * i / n);
        break;
    case fwHanning:
        v = 0.5L - 0.5L * cosl(kTwoPi * i / n);
        break;
    case fwBlackman:
        v = 0.42L - 0.5L * cosl(kTwoPi * i / n) + 0.08L * cosl(kFourPi * i / n);
        break;
    case fwGaussian: {
        const long double x = 2 * i - n;
        v = expl(-5 * x * x / (n * n));
        break;
    }
    case fwWelch: {
        const long double x = (2 * i - n) / (n + 1);
        v = 1 - x * x;
        break;
    }
    case fwParzen:
        v = 1 - fabsl((2 * i - n) / (n + 1));
        break;
    default:
        v = 1.0L;
        break;
    }
    return static_cast<float>(v);
}

void FillWindowTable(int32_t* Table, TMMFFTWindow Window, int32_t Order)
{
    if (!Table || Order < 0 || Order > kMaxOrder)
        return;
    const int32_t n = int32_t(1) << Order;
    for (int32_t i = 0; i < n; ++i)
        Table[i] = FloorInt(static_cast<long double>(GetWindowValue(Window, i, n)) * 32767 + 0.5L);
}

// The products are formed in 32 bits where that is exact (which is every block
// windowed by a table of FillWindowTable), in 64 bits otherwise; the check is
// made per chunk so that both loops vectorise.
__attribute__((target_clones("arch=x86-64-v3", "default")))
void WindowSamples16(const int16_t* Samples, int32_t Stride, const int32_t* Table, float* Data,
                     int32_t Count)
{
    if (!Samples || !Table || !Data)
        return;
    for (int32_t base = 0; base < Count; base += kChunk) {
        const int32_t len = Count - base < kChunk ? Count - base : kChunk;
        const int32_t* t = Table + base;
        float* d = Data + base;
        const int16_t* s = Samples + static_cast<int64_t>(base) * Stride;
        // |sample| <= 32768, so |table| <= 65535 keeps the product inside 31 bits.
        uint32_t maxT = 0;
        for (int32_t i = 0; i < len; ++i)
            maxT = UAbs(t[i]) > maxT ? UAbs(t[i]) : maxT;
        if (maxT <= 65535 && Stride == 1) {
            for (int32_t i = 0; i < len; ++i)
                d[i] = MulDivShift32(s[i] * t[i], 15);
        } else if (maxT <= 65535) {
            for (int32_t i = 0; i < len; ++i)
                d[i] = MulDivShift32(s[static_cast<int64_t>(i) * Stride] * t[i], 15);
        } else {
            for (int32_t i = 0; i < len; ++i)
                d[i] = MulDivShift(s[static_cast<int64_t>(i) * Stride], t[i], 15);
        }
    }
}

__attribute__((target_clones("arch=x86-64-v3", "default")))
void WindowValues(const int32_t* Values, const int32_t* Table, int32_t Divisor, float* Data,
                  int32_t Count)
{
    if (!Values || !Table || !Data)
        return;
    if (Divisor <= 0 || (Divisor & (Divisor - 1)) != 0) {
        for (int32_t i = 0; i < Count; ++i)
            Data[i] = static_cast<float>(MulDiv32(Values[i], Table[i], Divisor));
        return;
    }
    const int shift = __builtin_ctz(static_cast<uint32_t>(Divisor));
    for (int32_t base = 0; base < Count; base += kChunk) {
        const int32_t len = Count - base < kChunk ? Count - base : kChunk;
        const int32_t* v = Values + base;
        const int32_t* t = Table + base;
        float* d = Data + base;
        uint32_t maxV = 0, maxT = 0;
        for (int32_t i = 0; i < len; ++i) {
            maxV = UAbs(v[i]) > maxV ? UAbs(v[i]) : maxV;
            maxT = UAbs(t[i]) > maxT ? UAbs(t[i]) : maxT;
        }
        if (static_cast<uint64_t>(maxV) * maxT < (uint64_t(1) << 31)) {
            for (int32_t i = 0; i < len; ++i)
                d[i] = MulDivShift32(v[i] * t[i], shift);
        } else {
            for (int32_t i = 0; i < len; ++i)
                d[i] = MulDivShift(v[i], t[i], shift);
        }
    }
}

} // namespace qv
