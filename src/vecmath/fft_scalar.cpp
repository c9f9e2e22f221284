#include "vecmath/fft_scalar.h"

#include <cmath>
#include <utility>

#include "vecmath/fft_layout.h"
#include "vecmath/kernels.h"

namespace qv::vecmath {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// (cos, -sin) of 2*pi*num/den: the forward twiddle e^(-2*pi*i*num/den).
void Twiddle(size_t num, size_t den, float& c, float& s)
{
    const double a = kTwoPi * static_cast<double>(num) / static_cast<double>(den);
    c = static_cast<float>(std::cos(a));
    s = static_cast<float>(-std::sin(a));
}

// Butterflies of the two mirrored bins k and Count-k of the forward split.
inline void SplitPair(float* d, size_t count, size_t k, float c, float s)
{
    float* f = d + 2 * k;
    float* m = d + 2 * (count - k);
    const float sr = f[0] + m[0], di = f[1] - m[1];
    const float si = f[1] + m[1], dr = m[0] - f[0];
    const float wor = c * si - s * dr;
    const float woi = c * dr + s * si;
    f[0] = 0.5f * (sr + wor);
    f[1] = 0.5f * (di + woi);
    m[0] = 0.5f * (sr - wor);
    m[1] = 0.5f * (woi - di);
}

} // namespace

void GenerateTable1(size_t count, float* t)
{
    if (count < kMinBlockedCount) {
        for (size_t j = 0; j < count / 2; ++j)
            Twiddle(j, count, t[2 * j], t[2 * j + 1]);
        return;
    }
    for (size_t j = 0; j < count / 4; ++j) {
        const size_t p = BlockedPos(j);
        Twiddle(j, count, t[p], t[p + 8]);
    }
    float* tw = t + count / 2;
    for (size_t m = count / 4; m >= 32; m /= 4) {
        const size_t q = m / 4;
        for (size_t j = 0; j < q; ++j) {
            float* block = tw + 48 * (j >> 3) + kBlockOrder[j & 7];
            for (size_t r = 1; r <= 3; ++r)
                Twiddle(r * j, m, block[16 * (r - 1)], block[16 * (r - 1) + 8]);
        }
        tw += 6 * q;
    }
}

void GenerateTable2(size_t count, float* t)
{
    if (count < kMinBlockedCount) {
        for (size_t k = 0; k < count / 2; ++k)
            Twiddle(k, 2 * count, t[2 * k], t[2 * k + 1]);
        return;
    }
    for (size_t k = 0; k < count / 2; ++k) {
        const size_t p = BlockedPos(k);
        Twiddle(k, 2 * count, t[p], t[p + 8]);
    }
}

void ComplexForward(const TKernelSet& kernels, size_t count, const float* t, float* d)
{
    if (count >= kMinBlockedCount) {
        kernels.ComplexForward(count, t, d);
        return;
    }
    // Radix-2 decimation in frequency; W_m^j = W_count^(j*count/m).
    for (size_t m = count; m >= 2; m /= 2) {
        const size_t h = m / 2, stride = count / m;
        for (size_t g = 0; g < count; g += m) {
            for (size_t j = 0; j < h; ++j) {
                const float c = t[2 * j * stride], s = t[2 * j * stride + 1];
                float* a = d + 2 * (g + j);
                float* b = d + 2 * (g + j + h);
                const float dr = a[0] - b[0], di = a[1] - b[1];
                a[0] += b[0];
                a[1] += b[1];
                b[0] = dr * c - di * s;
                b[1] = dr * s + di * c;
            }
        }
    }
}

void BitReverse(const TKernelSet& kernels, size_t count, const int32_t* table, float* d)
{
    if (count >= 16) {
        kernels.BitReverse(count, table, d);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t j = static_cast<uint32_t>(table[i]);
        if (i < j && j < count) {
            std::swap(d[2 * i], d[2 * j]);
            std::swap(d[2 * i + 1], d[2 * j + 1]);
        }
    }
}

void RealSplitForward(const TKernelSet& kernels, size_t count, const float* t, float* d)
{
    if (count < 2)
        return;
    const size_t scalarEnd = count < kMinBlockedCount ? count / 2 : 8;
    for (size_t k = 1; k < scalarEnd; ++k) {
        float c, s;
        Table2Twiddle(t, count, k, c, s);
        SplitPair(d, count, k, c, s);
    }
    if (count >= kMinBlockedCount)
        kernels.RealSplit(count, t, d);
    // Bin Count/2 is its own mirror: the conjugate of the packed bin.
    d[count + 1] = -d[count + 1];
}

void InverseSplit(size_t count, const float* t, float* d)
{
    // The imaginary slot of bin 0 carries nothing in the forward layout.
    d[1] = 0.0f;
    if (count < 2)
        return;
    d[count] *= 2.0f;
    d[count + 1] *= -2.0f;
    const double step = kTwoPi / static_cast<double>(2 * count);
    const double w1c = std::cos(step), w1s = -std::sin(step);
    for (size_t k = 1; k < count / 2; ++k) {
        // W_2count^k from the even powers in table 1, times W^1 for odd k.
        float fc, fs;
        Table1Twiddle(t, count, k / 2, fc, fs);
        double wc = fc, ws = fs;
        if (k & 1) {
            const double c = wc * w1c - ws * w1s;
            ws = wc * w1s + ws * w1c;
            wc = c;
        }
        float* f = d + 2 * k;
        float* m = d + 2 * (count - k);
        const double sr = double(f[0]) + m[0], si = double(f[1]) - m[1];
        const double dr = double(f[0]) - m[0], di = double(f[1]) + m[1];
        // t = i * conj(W) * D
        const double pr = wc * dr + ws * di, pi = wc * di - ws * dr;
        const double tr = -pi, ti = pr;
        f[0] = static_cast<float>(sr + tr);
        f[1] = static_cast<float>(si + ti);
        m[0] = static_cast<float>(sr - tr);
        m[1] = static_cast<float>(-(si - ti));
    }
}

void ComplexInverseFromBitReversed(size_t count, const float* t, float* d)
{
    // Bin 0 of the packed spectrum: even and odd halves each carry half the DC.
    d[1] = d[0];
    // Radix-2 decimation in time with conjugate twiddles.
    for (size_t m = 2; m <= count; m *= 2) {
        const size_t h = m / 2, stride = count / m;
        for (size_t g = 0; g < count; g += m) {
            for (size_t j = 0; j < h; ++j) {
                // W_count^e = W_2count^2e for e < count/4, else -i * W_count^(e - count/4).
                const size_t e = j * stride;
                float c, s;
                if (4 * e < count) {
                    Table2Twiddle(t, count, 2 * e, c, s);
                } else {
                    float c0, s0;
                    Table2Twiddle(t, count, 2 * (e - count / 4), c0, s0);
                    c = s0;
                    s = -c0;
                }
                s = -s;
                float* a = d + 2 * (g + j);
                float* b = d + 2 * (g + j + h);
                const float br = b[0] * c - b[1] * s, bi = b[0] * s + b[1] * c;
                b[0] = a[0] - br;
                b[1] = a[1] - bi;
                a[0] += br;
                a[1] += bi;
            }
        }
    }
}

} // namespace qv::vecmath
