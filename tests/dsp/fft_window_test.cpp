#include "dsp/fft_window.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "dsp/dsp_registration.h"
#include "framework/enum_names.h"
#include "framework/numeric.h"

using namespace qv;

namespace {
std::vector<int32_t> Table(TMMFFTWindow w, int32_t order)
{
    std::vector<int32_t> t(size_t(1) << order, -7);
    FillWindowTable(t.data(), w, order);
    return t;
}
} // namespace

TEST(FFTWindow, TablesHoldTheQ15Window)
{
    for (int32_t order : {0, 3, 12})
        for (int32_t v : Table(fwRectangular, order))
            ASSERT_EQ(v, 32767);
    const auto hann = Table(fwHanning, 3);
    EXPECT_EQ(hann, (std::vector<int32_t>{0, 4799, 16384, 27968, 32767, 27968, 16384, 4799}));
    EXPECT_EQ(Table(fwHanning, 12)[2048], 32767);
    EXPECT_EQ(Table(fwHamming, 3)[0], 2621); // 0.08 * 32767 + 0.5, floored
    EXPECT_EQ(Table(fwHamming, 3)[2], 17694);
    const auto blackman = Table(fwBlackman, 3);
    EXPECT_EQ(blackman[0], 0); // a zero or tiny negative sum, floored with the +0.5
    EXPECT_EQ(blackman[4], 32767);
    // Welch and Parzen divide by n + 1, so neither reaches 0: 17/81 and 1/9 at i = 0.
    EXPECT_EQ(Table(fwWelch, 3)[0], 6877);
    EXPECT_EQ(Table(fwParzen, 3)[0], 3641);
    EXPECT_EQ(Table(fwGaussian, 3)[0], 221); // exp(-5)
    for (TMMFFTWindow w : {fwWelch, fwParzen, fwGaussian}) {
        const auto t = Table(w, 3);
        EXPECT_GT(t[0], 0) << w;
        for (size_t i = 1; i <= 4; ++i)
            EXPECT_GT(t[i], t[i - 1]) << w << " at " << i;
        EXPECT_EQ(t[4], 32767) << w;
        for (size_t i = 5; i < 8; ++i)
            EXPECT_EQ(t[i], t[8 - i]) << w << " at " << i;
    }
}

TEST(FFTWindow, OddArgumentsAreHarmless)
{
    EXPECT_EQ(GetWindowValue(TMMFFTWindow(7), 3, 8), 1.0f);
    EXPECT_EQ(GetWindowValue(TMMFFTWindow(200), 3, 8), 1.0f);
    EXPECT_EQ(GetWindowValue(fwHanning, 3, 0), 1.0f);
    EXPECT_EQ(GetWindowValue(fwGaussian, 0, -4), 1.0f);
    std::vector<int32_t> t(4, -7);
    FillWindowTable(t.data(), fwHanning, -1);
    FillWindowTable(t.data(), fwHanning, 31);
    FillWindowTable(nullptr, fwHanning, 2);
    EXPECT_EQ(t, (std::vector<int32_t>{-7, -7, -7, -7}));

    RegisterDspComponents();
    const char* name = QMetaType::fromType<TMMFFTWindow>().name();
    EXPECT_EQ(TEnumNames::ValueOf(name, "fwParzen"), 6);
    EXPECT_EQ(TEnumNames::NameOf(name, fwHamming), "fwHamming");
}

TEST(FFTWindow, WindowingIsMulDiv32IntoFloats)
{
    // Blocks are windowed in chunks of 256: the first two chunks here take the
    // 32-bit products, the last one needs 64 bits.
    std::mt19937 gen(11);
    std::uniform_int_distribution<int32_t> sample(-32768, 32767), tab(-65535, 65535), any;
    const int32_t n = 700;
    std::vector<int16_t> s(2 * n);
    std::vector<int32_t> v(n), t(n);
    for (auto& x : s)
        x = int16_t(sample(gen));
    for (int32_t i = 0; i < n; ++i) {
        v[size_t(i)] = i < 512 ? sample(gen) : any(gen);
        t[size_t(i)] = i < 512 ? tab(gen) : any(gen);
    }
    s[0] = -32768, t[0] = 65535, s[2] = -32768, t[1] = -65535, s[1] = -1, t[2] = 1;
    v[0] = -32768, v[1] = 32767, v[2] = -32768;
    v[600] = INT32_MIN, v[601] = INT32_MAX, t[602] = INT32_MIN, s[1200] = -32768;
    std::vector<float> d(size_t(n) + 1, 99.0f);

    WindowSamples16(s.data(), 1, t.data(), d.data(), n);
    for (int32_t i = 0; i < n; ++i)
        ASSERT_EQ(d[size_t(i)], float(MulDiv32(s[size_t(i)], t[size_t(i)], 32768))) << i;
    EXPECT_EQ(d[size_t(n)], 99.0f);
    WindowSamples16(s.data() + 1, 2, t.data(), d.data(), n); // right channel of stereo frames
    for (int32_t i = 0; i < n; ++i)
        ASSERT_EQ(d[size_t(i)], float(MulDiv32(s[size_t(2 * i + 1)], t[size_t(i)], 32768))) << i;

    for (int32_t div : {128, 32768, 1, 3, -5, 0}) {
        WindowValues(v.data(), t.data(), div, d.data(), n);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ(d[size_t(i)], float(MulDiv32(v[size_t(i)], t[size_t(i)], div))) << div << " " << i;
    }
    WindowValues(v.data(), t.data(), 128, d.data(), 0);
    WindowSamples16(nullptr, 1, t.data(), d.data(), n);
    EXPECT_EQ(d[size_t(n)], 99.0f);
}
