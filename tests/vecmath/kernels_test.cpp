// The vector-math library's entry points, each on its own, for every kernel
// level the processor offers.
#include <algorithm>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>
#include <vector>

#include "dsp/fft.h"
#include "../dsp/kernel_levels.h"
#include "dsp/vector_math.h"

using namespace qv;
using qvtest::ForEachKernelLevel;
using cd = std::complex<double>;

namespace {

const TVectorMathProcs& P() { return VectorMath(); }

uint32_t Rev(uint32_t i, int bits)
{
    uint32_t r = 0;
    for (int b = 0; b < bits; ++b)
        r |= ((i >> b) & 1u) << (bits - 1 - b);
    return r;
}

std::vector<float> RandomFloats(size_t n, uint32_t seed) { return qvtest::RandomValues(n, seed, -1.0f, 1.0f); }

cd At(const std::vector<float>& d, size_t k) { return {d[2 * k], d[2 * k + 1]}; }

// A twiddle table with a guard zone: the generator must stay within Count floats.
struct Table {
    std::vector<float> v;
    size_t count;
    explicit Table(size_t c) : v(c + 64, 12345.0f), count(c) {}
    bool GuardIntact() const
    {
        return std::all_of(v.begin() + ptrdiff_t(count), v.end(), [](float x) { return x == 12345.0f; });
    }
};

} // namespace

TEST(VecMathKernels, ComplexForwardIsTheDftInBitReversedOrder)
{
    ForEachKernelLevel([](int32_t level) {
        for (int order = 0; order <= 11; ++order) {
            const size_t n = size_t(1) << order;
            Table t(n);
            P().GenSinTable1(order, t.v.data());
            ASSERT_TRUE(t.GuardIntact()) << "order " << order;
            std::vector<float> d = RandomFloats(2 * n, 7 + order);
            std::vector<cd> ref(n);
            double norm = 0;
            for (size_t k = 0; k < n; ++k) {
                for (size_t j = 0; j < n; ++j)
                    ref[k] += At(d, j) * std::polar(1.0, -2 * M_PI * double(j * k % n) / double(n));
                norm += std::norm(At(d, k));
            }
            P().DoCplxFFT2(1, int32_t(n), t.v.data(), d.data());
            double worst = 0;
            for (size_t k = 0; k < n; ++k)
                worst = std::max(worst, std::abs(At(d, k) - ref[Rev(uint32_t(k), order)]));
            EXPECT_LT(worst, 1e-6 * (order + 1) * std::sqrt(norm)) << "level " << level << " n " << n;
        }
    });
}

TEST(VecMathKernels, BitReversalSwapsEachPairWithItsTableEntry)
{
    ForEachKernelLevel([](int32_t level) {
        for (int order = 0; order <= 13; ++order) {
            const size_t n = size_t(1) << order;
            std::vector<int32_t> table(n);
            FillBitRevTable(table.data(), order);
            std::vector<float> d = RandomFloats(2 * n, 100 + order);
            std::vector<float> expect = d;
            for (size_t i = 0; i < n; ++i) {
                const size_t j = size_t(table[i]);
                if (i < j) {
                    std::swap(expect[2 * i], expect[2 * j]);
                    std::swap(expect[2 * i + 1], expect[2 * j + 1]);
                }
            }
            P().fvecBitRev2(order, table.data(), d.data());
            EXPECT_EQ(d, expect) << "level " << level << " order " << order;
        }
    });
}

TEST(VecMathKernels, RealOutputSplitsThePackedSpectrum)
{
    ForEachKernelLevel([](int32_t level) {
        for (int order = 1; order <= 11; ++order) {
            const size_t n = size_t(1) << order;
            Table t(n);
            P().GenSinTable2(order, t.v.data());
            ASSERT_TRUE(t.GuardIntact()) << "order " << order;
            std::vector<float> d = RandomFloats(2 * n, 300 + order);
            const std::vector<float> z = d;
            P().BuildRealOutput(1, int32_t(n), t.v.data(), d.data());
            // X[k] = (Z[k] + conj Z[n-k])/2 - i W^k (Z[k] - conj Z[n-k])/2, W = e^(-i*pi/n)
            EXPECT_EQ(d[0], z[0]);
            EXPECT_EQ(d[1], z[1]);
            double worst = 0;
            for (size_t k = 1; k < n; ++k) {
                const cd a = At(z, k), b = std::conj(At(z, n - k));
                const cd x = 0.5 * (a + b) - cd(0, 0.5) * std::polar(1.0, -M_PI * double(k) / double(n)) * (a - b);
                worst = std::max(worst, std::abs(At(d, k) - x));
            }
            EXPECT_LT(worst, 1e-6) << "level " << level << " n " << n;
        }
    });
}

TEST(VecMathKernels, InverseDirectionUndoesTheSplitAndTheComplexTransform)
{
    for (int order = 0; order <= 11; ++order) {
        const size_t n = size_t(1) << order;
        Table t1(n), t2(n);
        P().GenSinTable1(order, t1.v.data());
        P().GenSinTable2(order, t2.v.data());

        // The inverse split maps the split output back to twice the packed bins
        // 1..n-1; bin 0 keeps its real part and loses its imaginary slot.
        std::vector<float> z = RandomFloats(2 * n, 500 + order);
        std::vector<float> d = z;
        P().BuildRealOutput(1, int32_t(n), t2.v.data(), d.data());
        d[1] = 9.0f;
        P().DoCplxFFT2(-1, int32_t(n), t1.v.data(), d.data());
        EXPECT_EQ(d[0], z[0]);
        EXPECT_EQ(d[1], 0.0f);
        for (size_t k = 1; k < n; ++k)
            EXPECT_LT(std::abs(At(d, k) - 2.0 * At(z, k)), 1e-5) << "n " << n << " k " << k;

        // The inverse complex transform reads bit-reversed bins, bin 0 as (v, v).
        std::vector<float> bins = RandomFloats(2 * n, 600 + order);
        bins[1] = bins[0];
        std::vector<float> rev(2 * n);
        for (size_t k = 0; k < n; ++k) {
            rev[2 * Rev(uint32_t(k), order)] = bins[2 * k];
            rev[2 * Rev(uint32_t(k), order) + 1] = bins[2 * k + 1];
        }
        rev[1] = 0.0f;
        P().BuildRealOutput(-1, int32_t(n), t2.v.data(), rev.data());
        for (size_t j = 0; j < n; ++j) {
            cd x = 0;
            for (size_t k = 0; k < n; ++k)
                x += At(bins, k) * std::polar(1.0, 2 * M_PI * double(j * k % n) / double(n));
            EXPECT_LT(std::abs(At(rev, j) - x), 2e-6 * double(n) + 1e-5) << "n " << n << " j " << j;
        }
    }
}

TEST(VecMathKernels, BadArgumentsLeaveTheDataAlone)
{
    std::vector<float> t(64, 0.0f);
    P().GenSinTable1(5, t.data());
    const std::vector<float> orig = RandomFloats(64, 1);
    std::vector<float> d = orig;
    P().DoCplxFFT2(1, 24, t.data(), d.data()); // not a power of two
    P().DoCplxFFT2(1, 0, t.data(), d.data());
    P().DoCplxFFT2(1, -32, t.data(), d.data());
    P().DoCplxFFT2(1, 32, nullptr, d.data());
    P().BuildRealOutput(1, 12, t.data(), d.data());
    P().fvecBitRev2(-1, nullptr, d.data());
    P().fvecBitRev2(31, nullptr, d.data());
    P().GenSinTable1(-1, t.data());
    P().DoCplxFFT2(1, 32, t.data(), nullptr);
    EXPECT_EQ(d, orig);
    // A table entry out of range is ignored rather than followed.
    std::vector<int32_t> table(16);
    FillBitRevTable(table.data(), 4);
    table[0] = 1 << 20;
    P().fvecBitRev2(4, table.data(), d.data());
    std::vector<int32_t> small{0, 1 << 20};
    P().fvecBitRev2(1, small.data(), d.data());
}

TEST(VecMathKernels, ScaleClampsAndMemoryRoutines)
{
    std::vector<float> d{1.0f, -2.0f, 3.5f, 0.0f, 8.0f};
    P().fvecMul1(4, 0.25f, d.data());
    EXPECT_EQ(d, (std::vector<float>{0.25f, -0.5f, 0.875f, 0.0f, 8.0f}));
    P().fvecMul1(0, 2.0f, d.data());
    P().fvecMul1(-3, 2.0f, d.data());
    EXPECT_EQ(d[0], 0.25f);

    const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(std::tuple(P().Min(3, -4), P().Min(lo, hi), P().Max(3, -4), P().Max(lo, hi)), std::tuple(-4, lo, 3, hi));
    EXPECT_EQ(std::tuple(P().MinMax(0, -1, 1), P().MinMax(7, -1, 1), P().MinMax(-9, -1, 1), P().MinMax(hi, 1, 5000)),
              std::tuple(0, 1, -1, 5000));
    EXPECT_EQ(P().MinMax(3, 10, 1), 10); // crossed bounds: the lower one wins

    char buf[] = "abcdefgh";
    P().GlobalMoveMem(buf, buf + 2, 4); // overlapping, forward
    EXPECT_STREQ(buf, "ababcdgh");
    P().GlobalMoveMem(buf + 3, buf, 5); // overlapping, backward
    EXPECT_STREQ(buf, "bcdghdgh");
    P().GlobalMoveMem(buf, buf + 1, 0);
    P().GlobalMoveMem(buf, buf + 1, -5);
    EXPECT_STREQ(buf, "bcdghdgh");
    P().GlobalFillMem(buf + 1, 3, 'x');
    EXPECT_STREQ(buf, "bxxxhdgh");
    P().GlobalFillMem(buf, -1, 'y');
    EXPECT_STREQ(buf, "bxxxhdgh");
}
