#include "dsp/fft.h"

#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <vector>

#include "kernel_levels.h"

using namespace qv;
using qvtest::ForEachKernelLevel;
using cd = std::complex<double>;

namespace {

struct Descriptor {
    PFFTDescriptor d;
    explicit Descriptor(int32_t order) : d(InitFFT(order)) {}
    ~Descriptor() { DoneFFT(d); }
};

std::vector<float> RandomSamples(size_t n, uint32_t seed) { return qvtest::RandomValues(n, seed, -32768, 32767); }

// Bins 0..n/2-1 of the plain double-precision DFT.
std::vector<cd> Dft(const std::vector<float>& x)
{
    const size_t n = x.size();
    std::vector<cd> w(n), X(n / 2);
    for (size_t j = 0; j < n; ++j)
        w[j] = std::polar(1.0, -2 * M_PI * double(j) / double(n));
    for (size_t k = 0; k < n / 2; ++k)
        for (size_t j = 0; j < n; ++j)
            X[k] += double(x[j]) * w[j * k % n];
    return X;
}

cd Bin(const std::vector<float>& d, size_t k) { return {d[2 * k], d[2 * k + 1]}; }

// The displays' scaling: each element divided by n/2, truncated toward zero.
int32_t DisplayUnit(double v, size_t n) { return int32_t(std::trunc(v / double(n / 2))); }

} // namespace

TEST(FFT, InitFFTTakesOrdersOneToThirty)
{
    EXPECT_EQ(InitFFT(0), nullptr);
    EXPECT_EQ(InitFFT(-3), nullptr);
    EXPECT_EQ(InitFFT(32), nullptr);
    EXPECT_EQ(InitFFT(31), nullptr); // 2^31 does not fit the 32-bit length

    PFFTDescriptor d = InitFFT(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Order, 1);
    EXPECT_EQ(d->Length, 2);
    EXPECT_EQ(d->InvLength, 0.5f);
    EXPECT_EQ(d->BitRevTable[0], 0);
    DoneFFT(d);
    EXPECT_EQ(d, nullptr);
    DoneFFT(d);
    EXPECT_EQ(d, nullptr);

    Descriptor big(12);
    ASSERT_NE(big.d, nullptr);
    EXPECT_EQ(big.d->Length, 4096);
    EXPECT_EQ(big.d->InvLength, 1.0f / 4096);
    EXPECT_EQ(big.d->BitRevTable[1], 1024);
    EXPECT_EQ(big.d->BitRevTable[2047], 2047);
    EXPECT_EQ(big.d->BitRevTable[3], 1536);
}

TEST(FFT, FillBitRevTableReversesTheIndexBits)
{
    std::vector<int32_t> t(8, -1);
    FillBitRevTable(t.data(), 3);
    EXPECT_EQ(t, (std::vector<int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));
    std::vector<int32_t> one{-1, -1};
    FillBitRevTable(one.data(), 0);
    EXPECT_EQ(one, (std::vector<int32_t>{0, -1}));
    FillBitRevTable(one.data(), -1);
    FillBitRevTable(one.data(), 31);
    FillBitRevTable(nullptr, 3);
    EXPECT_EQ(one, (std::vector<int32_t>{0, -1}));

    std::vector<int32_t> big(1024);
    FillBitRevTable(big.data(), 10);
    for (int32_t i = 0; i < 1024; ++i) {
        EXPECT_EQ(big[size_t(big[size_t(i)])], i);
        EXPECT_EQ(big[size_t(i)] & 1, (i >> 9) & 1);
    }
}

// Powers of two are the only lengths the transform has: every one from 2 to 4096.
TEST(FFT, ForwardMatchesTheDoubleDftAndInverseUndoesItAtEveryLength)
{
    ForEachKernelLevel([](int32_t level) {
        for (int32_t order = 1; order <= 12; ++order) {
            SCOPED_TRACE(testing::Message() << "level " << level << " order " << order);
            const size_t n = size_t(1) << order;
            Descriptor fft(order);
            ASSERT_NE(fft.d, nullptr);
            const std::vector<float> x = RandomSamples(n, uint32_t(order * 31 + level));
            const std::vector<cd> ref = Dft(x);
            std::vector<float> data = x;
            DoRealFFT(fft.d, data.data(), 1);
            EXPECT_EQ(data[1], 0.0f);
            double worst = 0, peak = 0;
            int32_t worstUnits = 0;
            for (size_t k = 0; k < n / 2; ++k) {
                const cd got = Bin(data, k), want = k ? ref[k] : cd(ref[0].real(), 0);
                worst = std::max(worst, std::abs(got - want));
                peak = std::max(peak, std::abs(want));
                worstUnits = std::max({worstUnits, std::abs(DisplayUnit(got.real(), n) - DisplayUnit(want.real(), n)),
                                       std::abs(DisplayUnit(got.imag(), n) - DisplayUnit(want.imag(), n))});
            }
            // Far inside one unit of the displays' 16-bit bins, and float-accurate.
            EXPECT_LE(worstUnits, 1);
            EXPECT_LT(worst / double(n / 2), 0.01);
            EXPECT_LT(worst, 2e-6 * peak);

            // The forward output has no Nyquist term, so the round trip returns
            // the input less its Nyquist component.
            double nyq = 0;
            for (size_t j = 0; j < n; ++j)
                nyq += (j & 1 ? -1.0 : 1.0) * x[j] / double(n);
            const std::vector<float> spectrum = data;
            DoRealFFT(fft.d, data.data(), -1);
            worst = 0;
            for (size_t j = 0; j < n; ++j)
                worst = std::max(worst, std::abs(data[j] - (x[j] - (j & 1 ? -nyq : nyq))));
            EXPECT_LT(worst, 0.1);
            // And the forward transform of the inverse gives the spectrum back.
            DoRealFFT(fft.d, data.data(), 1);
            worst = peak = 0;
            for (size_t i = 0; i < n; ++i) {
                worst = std::max(worst, double(std::abs(data[i] - spectrum[i])));
                peak = std::max(peak, double(std::abs(spectrum[i])));
            }
            EXPECT_LT(worst, 2e-6 * peak + 1e-3);
        }
    });
}

TEST(FFT, ConstantBlockAndBinCentredCosine)
{
    for (int32_t order = 1; order <= 12; ++order) {
        const size_t n = size_t(1) << order;
        Descriptor fft(order);
        std::vector<float> data(n, 1000.0f);
        DoRealFFT(fft.d, data.data(), 1);
        EXPECT_EQ(data[0], 1000.0f * float(n));
        EXPECT_EQ(data[1], 0.0f);
        for (size_t i = 2; i < n; ++i)
            ASSERT_NEAR(data[i], 0.0f, 1e-2f) << "n " << n << " i " << i;
    }
    // A full-scale cosine on bin k: |X[k]| = n/2 times its amplitude, nothing elsewhere.
    for (int32_t order : {3, 9, 12}) {
        const size_t n = size_t(1) << order;
        Descriptor fft(order);
        for (size_t k : {size_t(1), n / 8, n / 2 - 1}) {
            std::vector<float> data(n);
            for (size_t j = 0; j < n; ++j)
                data[j] = float(32767.0 * std::cos(2 * M_PI * double(j * k % n) / double(n)));
            DoRealFFT(fft.d, data.data(), 1);
            for (size_t b = 0; b < n / 2; ++b) {
                const double mag = std::abs(Bin(data, b)) / double(n / 2);
                if (b == k)
                    EXPECT_NEAR(mag, 32767.0, 0.05) << "n " << n << " k " << k;
                else
                    EXPECT_LT(mag, 0.05) << "n " << n << " k " << k << " bin " << b;
            }
        }
    }
}

TEST(FFT, DirectionIsClampedAndMissingArgumentsDoNothing)
{
    Descriptor fft(9);
    const std::vector<float> x = RandomSamples(512, 5);
    std::vector<float> a = x, b = x, c = x;
    DoRealFFT(fft.d, a.data(), 1);
    DoRealFFT(fft.d, b.data(), 7);
    DoRealFFT(fft.d, c.data(), 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    std::vector<float> inv1 = a, inv2 = a;
    DoRealFFT(fft.d, inv1.data(), -1);
    DoRealFFT(fft.d, inv2.data(), -100);
    EXPECT_EQ(inv1, inv2);

    std::vector<float> d = x;
    DoRealFFT(nullptr, d.data(), 1);
    EXPECT_EQ(d, x);
    DoRealFFT(fft.d, nullptr, 1);
}
