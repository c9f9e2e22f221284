// The oscilloscope's integer arithmetic: layout, block sizes, divisions,
// capture into trace values, smoothing, vertical mapping, read-out geometry.
#include <gtest/gtest.h>

#include <vector>

#include "display/oscope_math.h"

using namespace qv;
using namespace qv::oscope;

namespace {

std::vector<uint8_t> Bytes16(std::initializer_list<int16_t> v)
{
    std::vector<uint8_t> out;
    for (int16_t s : v) {
        const auto u = static_cast<uint16_t>(s);
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

std::vector<int16_t> Columns(const std::vector<uint8_t>& data, TMMBits bits, TMMMode mode, TMMChannel ch,
                             int32_t zoom, int32_t w)
{
    std::vector<int16_t> out(static_cast<size_t>(w), 12345);
    CaptureColumns(data.data(), static_cast<int32_t>(data.size()), bits, mode, ch, zoom, out.data(), w);
    return out;
}

TMinMaxPair MinMax(const std::vector<uint8_t>& data, TMMBits bits, TMMMode mode, TMMChannel ch)
{
    return CaptureMinMax(data.data(), static_cast<int32_t>(data.size()), bits, mode, ch);
}

} // namespace

TEST(OscopeMath, LayoutAndSizeConstraints)
{
    EXPECT_EQ(ScopeRect(194, 90, 1, false, false), Rect(1, 1, 193, 89));
    EXPECT_EQ(ScopeRect(194, 90, 1, true, false), Rect(33, 1, 161, 89));
    EXPECT_EQ(ScopeRect(194, 90, 2, false, true), Rect(2, 2, 192, 48));
    EXPECT_EQ(ScopeRect(194, 90, 0, true, true), Rect(32, 0, 162, 50));
    EXPECT_EQ(MinWidth(1, false), 4);
    EXPECT_EQ(MinWidth(1, true), 68);
    EXPECT_EQ(MinHeight(3, false), 8);
    EXPECT_EQ(MinHeight(3, true), 48);
}

TEST(OscopeMath, Divisions)
{
    EXPECT_EQ(AmpDivisions(39), 2);
    EXPECT_EQ(AmpDivisions(40), 4);
    EXPECT_EQ(AmpDivisions(59), 4);
    EXPECT_EQ(AmpDivisions(60), 6);
    EXPECT_EQ(AmpDivisions(79), 6);
    EXPECT_EQ(AmpDivisions(80), 8);
    EXPECT_EQ(AmpDivisions(99), 8);
    EXPECT_EQ(AmpDivisions(100), 10);
    EXPECT_EQ(AmpDivisions(4), 2);
    EXPECT_EQ(TimeDivisions(19), 1);
    EXPECT_EQ(TimeDivisions(20), 2);
    EXPECT_EQ(TimeDivisions(319), 16);
    EXPECT_EQ(TimeDivisions(320), 32);
    EXPECT_EQ(TimeDivisions(4), 1);
}

TEST(OscopeMath, BlockBytesForEveryZoomAndFormat)
{
    // The worked examples.
    EXPECT_EQ(ComputeBlockBytes(b8Bit, mMono, false, 128, 10, -2), 8);
    EXPECT_EQ(ComputeBlockBytes(b16Bit, mStereo, false, 128, 100, 3), 1200);
    // Positive zoom: every Zoom-th frame over the width.
    EXPECT_EQ(ComputeBlockBytes(b8Bit, mMono, false, 128, 600, 1), 600);
    EXPECT_EQ(ComputeBlockBytes(b16Bit, mMono, false, 128, 600, 9), 10800);
    // Negative zoom: ((A div k) + 5) div 4 * 4.
    EXPECT_EQ(ComputeBlockBytes(b16Bit, mStereo, false, 128, 600, -1), 1204);  // k = 2: (1200 + 5) div 4 * 4
    EXPECT_EQ(ComputeBlockBytes(b16Bit, mMono, false, 128, 601, -2), 404);    // 1202 div 3 = 400
    EXPECT_EQ(ComputeBlockBytes(b8Bit, mStereo, false, 128, 7, -9), 4);       // 14 div 10 = 1 -> 6 div 4 * 4
    EXPECT_EQ(ComputeBlockBytes(b8Bit, mMono, false, 128, 4, -9), 4);         // 0 -> 5 div 4 * 4
    // Scrolling: whole FFT length of frames.
    EXPECT_EQ(ComputeBlockBytes(b16Bit, mStereo, true, 128, 600, 5), 512);
    EXPECT_EQ(ComputeBlockBytes(b8Bit, mMono, true, 4096, 600, -3), 4096);

    // A negative zoom never needs a frame beyond the block.
    for (int32_t bits = 0; bits < 2; ++bits)
        for (int32_t mode = 0; mode < 2; ++mode)
            for (int32_t zoom = -9; zoom <= -1; ++zoom)
                for (int32_t w = 4; w < 700; ++w) {
                    const int32_t bpf = (bits + 1) * (mode + 1);
                    const int32_t bytes = ComputeBlockBytes(static_cast<TMMBits>(bits), static_cast<TMMMode>(mode),
                                                            false, 128, w, zoom);
                    ASSERT_LE((ColumnFrame(w - 1, zoom) + 1) * bpf, bytes) << w << " " << zoom;
                }
}

TEST(OscopeMath, FFTLengthIsClampedAndRoundedDown)
{
    EXPECT_EQ(LimitFFTLength(1000), 512);
    EXPECT_EQ(LimitFFTLength(5000), 4096);
    EXPECT_EQ(LimitFFTLength(0), 1);
    EXPECT_EQ(LimitFFTLength(-7), 1);
    EXPECT_EQ(LimitFFTLength(128), 128);
    EXPECT_EQ(LimitFFTLength(255), 128);
    EXPECT_EQ(LimitFFTLength(3), 2);
}

TEST(OscopeMath, ColumnsFromEveryFormatAndChannel)
{
    // 8-bit mono: (b - 128) * 256.
    EXPECT_EQ(Columns({0, 128, 255, 129}, b8Bit, mMono, chBoth, 1, 4), (std::vector<int16_t>{-32768, 0, 32512, 256}));
    // The channel setting does not matter for mono.
    EXPECT_EQ(Columns({0, 255}, b8Bit, mMono, chRight, 1, 2), (std::vector<int16_t>{-32768, 32512}));
    // 8-bit stereo: left, right, ((L + R) shr 1 - 128) * 256.
    const std::vector<uint8_t> st8{255, 0, 130, 131, 0, 1};
    EXPECT_EQ(Columns(st8, b8Bit, mStereo, chLeft, 1, 3), (std::vector<int16_t>{32512, 512, -32768}));
    EXPECT_EQ(Columns(st8, b8Bit, mStereo, chRight, 1, 3), (std::vector<int16_t>{-32768, 768, -32512}));
    EXPECT_EQ(Columns(st8, b8Bit, mStereo, chBoth, 1, 3), (std::vector<int16_t>{-256, 512, -32768}));
    // 16-bit mono.
    EXPECT_EQ(Columns(Bytes16({-32768, 32767, 5}), b16Bit, mMono, chBoth, 1, 3),
              (std::vector<int16_t>{-32768, 32767, 5}));
    // 16-bit stereo: (L + R) div 2 truncates toward zero.
    const auto st16 = Bytes16({-3, 0, 3, 0, 32767, 32767, -32768, 32767});
    EXPECT_EQ(Columns(st16, b16Bit, mStereo, chBoth, 1, 4), (std::vector<int16_t>{-1, 1, 32767, 0}));
    EXPECT_EQ(Columns(st16, b16Bit, mStereo, chLeft, 1, 4), (std::vector<int16_t>{-3, 3, 32767, -32768}));
    EXPECT_EQ(Columns(st16, b16Bit, mStereo, chRight, 1, 4), (std::vector<int16_t>{0, 0, 32767, 32767}));
}

TEST(OscopeMath, ColumnsUnderZoom)
{
    const std::vector<uint8_t> ramp{128, 129, 130, 131, 132, 133, 134, 135};
    // Zoom 3 takes every third frame without averaging.
    EXPECT_EQ(Columns(ramp, b8Bit, mMono, chBoth, 3, 3), (std::vector<int16_t>{0, 768, 1536}));
    // Zoom -2: each frame fills three columns (W = 10, BlockBytes 8).
    EXPECT_EQ(Columns(ramp, b8Bit, mMono, chBoth, -2, 10),
              (std::vector<int16_t>{0, 0, 0, 256, 256, 256, 512, 512, 512, 768}));
    // A block shorter than the columns need repeats its last frame; no bytes give silence.
    EXPECT_EQ(Columns({128, 255}, b8Bit, mMono, chBoth, 1, 4), (std::vector<int16_t>{0, 32512, 32512, 32512}));
    EXPECT_EQ(Columns({7}, b16Bit, mMono, chBoth, 1, 2), (std::vector<int16_t>{0, 0}));
}

TEST(OscopeMath, MinMaxPairsInOrderOfOccurrence)
{
    // Maximum first when it comes first.
    EXPECT_EQ(MinMax(Bytes16({5, 100, -7, 3}), b16Bit, mMono, chBoth), (TMinMaxPair{100, -7}));
    EXPECT_EQ(MinMax(Bytes16({-7, 3, 100, 5}), b16Bit, mMono, chBoth), (TMinMaxPair{-7, 100}));
    // Ties keep the first occurrence: min at 1, max at 0.
    EXPECT_EQ(MinMax(Bytes16({9, -2, 9, -2}), b16Bit, mMono, chBoth), (TMinMaxPair{9, -2}));
    // All equal: one frame, the minimum first.
    EXPECT_EQ(MinMax(Bytes16({42, 42, 42}), b16Bit, mMono, chBoth), (TMinMaxPair{42, 42}));
    // The search starts at (+32767, -32767).
    EXPECT_EQ(MinMax(Bytes16({-32768, -32768}), b16Bit, mMono, chBoth), (TMinMaxPair{-32768, -32767}));
    EXPECT_EQ(MinMax(Bytes16({32767, 32767}), b16Bit, mMono, chBoth), (TMinMaxPair{32767, 32767}));
    // No whole frame.
    EXPECT_EQ(MinMax({}, b16Bit, mMono, chBoth), (TMinMaxPair{0, 0}));
    EXPECT_EQ(MinMax({1, 2, 3}, b16Bit, mStereo, chBoth), (TMinMaxPair{0, 0}));
    // 8 bits: on b - 128 from (+127, -127), then times 256.
    EXPECT_EQ(MinMax({0, 0}, b8Bit, mMono, chBoth), (TMinMaxPair{-32768, -32512}));
    EXPECT_EQ(MinMax({200, 100, 255}, b8Bit, mMono, chBoth), (TMinMaxPair{-7168, 32512}));

    // Stereo: per channel, then the channel's pair or the element-wise average.
    const auto st = Bytes16({10, -100, -20, 50, 30, 7});
    EXPECT_EQ(MinMax(st, b16Bit, mStereo, chLeft), (TMinMaxPair{-20, 30}));
    EXPECT_EQ(MinMax(st, b16Bit, mStereo, chRight), (TMinMaxPair{-100, 50}));
    EXPECT_EQ(MinMax(st, b16Bit, mStereo, chBoth), (TMinMaxPair{-60, 40}));
    // 16-bit averages truncate toward zero.
    EXPECT_EQ(MinMax(Bytes16({-3, 0, 0, 1}), b16Bit, mStereo, chBoth), (TMinMaxPair{-1, 0}));
    // 8-bit: average of the unsigned bytes, truncating, then converted.
    const std::vector<uint8_t> st8{128, 0, 131, 255};
    EXPECT_EQ(MinMax(st8, b8Bit, mStereo, chLeft), (TMinMaxPair{0, 768}));
    EXPECT_EQ(MinMax(st8, b8Bit, mStereo, chRight), (TMinMaxPair{-32768, 32512}));
    // (128 + 0) div 2 = 64 -> -64 * 256; (131 + 255) div 2 = 193 -> 65 * 256.
    EXPECT_EQ(MinMax(st8, b8Bit, mStereo, chBoth), (TMinMaxPair{-16384, 16640}));
}

TEST(OscopeMath, LowPassUsesTheUnsmoothedNeighbours)
{
    std::vector<int16_t> x{100, 200, -3, 32767, -32768};
    LowPass(x.data(), static_cast<int32_t>(x.size()));
    // 3*100/4 = 75; (100 + 600)/4 = 175; (200 - 9)/4 = 47; (-3 + 98301)/4 = 24574;
    // (32767 - 98304)/4 = -16384 (truncating toward zero).
    EXPECT_EQ(x, (std::vector<int16_t>{75, 175, 47, 24574, -16384}));
    std::vector<int16_t> y{-3, -1};
    LowPass(y.data(), 2);
    EXPECT_EQ(y, (std::vector<int16_t>{-2, -1})); // -9/4 = -2; (-3 - 3)/4 = -1
}

TEST(OscopeMath, VerticalMappingAndItsLimits)
{
    TVerticalMap m;
    m.H = 100;
    // 16-bit mono, Gain 0: 65534 * 100 div 65535 = 99, row 0.
    EXPECT_EQ(m.Height(32767), 99);
    EXPECT_EQ(m.Row(32767), 0);
    EXPECT_EQ(m.Height(-32768), 0);
    EXPECT_EQ(m.Row(-32768), 99);
    EXPECT_EQ(m.Height(0), 49);
    // Gain 8 stretches by 2: v = 149 > H.
    m.GainFactor = 16;
    EXPECT_EQ(m.Height(32767), 149);
    // (s * GainFactor) div 8 truncates toward zero before the offset.
    m.GainFactor = 9;
    EXPECT_EQ(m.Height(-7), (-7 * 9 / 8 + 32767) * 100 / 65535);
    EXPECT_EQ(-7 * 9 / 8, -7);
    // Gain -8 flattens every value onto the centre row.
    m.GainFactor = 0;
    for (int32_t s : {-32768, -1, 0, 1, 32767})
        EXPECT_EQ(m.Row(s), 50);
    // Spikes: magnitude 0..32768 over 32767.
    TVerticalMap sp;
    sp.H = 100;
    sp.ValueRange = 32767;
    sp.ValueOffset = 0;
    EXPECT_EQ(sp.Height(Magnitude(-32768)), 100);
    EXPECT_EQ(sp.Row(Magnitude(-32768)), -1);
    EXPECT_EQ(sp.Height(Magnitude(16384)), 50);
    EXPECT_EQ(Magnitude(-32768), 32768);
    // No 32-bit overflow at the largest heights and gains.
    TVerticalMap big;
    big.H = 32767;
    big.GainFactor = 40;
    EXPECT_EQ(big.Height(32767), static_cast<int32_t>((int64_t{32767} * 40 / 8 + 32767) * 32767 / 65535));
    EXPECT_EQ(big.Height(-32768), static_cast<int32_t>((int64_t{-32768} * 40 / 8 + 32767) * 32767 / 65535));
    EXPECT_GT(big.Height(32767), big.H);
}

TEST(OscopeMath, EffectBandsAndScaleRows)
{
    EXPECT_EQ(EffectBand(efPeak, 100, {}).Low, 33);
    EXPECT_EQ(EffectBand(efPeak, 100, {}).High, 67);
    EXPECT_EQ(EffectBand(efSplit, 99, {}).Low, 0);
    EXPECT_EQ(EffectBand(efSplit, 99, {}).High, 49);
    EXPECT_EQ(EffectBand(efNone, 99, {7, 8}).Low, 7); // left as it was
    EXPECT_EQ(EffectBand(efNone, 99, {7, 8}).High, 8);

    // Grid rows with 32760 against the scale's 32768.
    EXPECT_EQ(GridRow(0, 10, 100), 99);
    EXPECT_EQ(GridRow(5, 10, 100), 50);
    EXPECT_EQ(GridRow(10, 10, 100), 0); // 32760 / 327.68 = 99.97
    EXPECT_EQ(ScaleTick(10, 10, 100), 100);
    EXPECT_EQ(ScaleTick(3, 10, 100), 30);
    EXPECT_EQ(GridRow(1, 6, 66), 65 - 10);
    // 32768/6 over the 32-bit float 32768/66 falls just short of 11.
    EXPECT_EQ(ScaleTick(1, 6, 66), 10);
    EXPECT_EQ(GridColumn(0, 32, 600), 0);
    EXPECT_EQ(GridColumn(32, 32, 600), 599);
    EXPECT_EQ(GridColumn(7, 32, 600), 599 * 7 / 32);
    EXPECT_EQ(BarTickRow(0, 4, 50), 49);
    EXPECT_EQ(BarTickRow(4, 4, 50), 0);
    EXPECT_EQ(BarTickRow(1, 4, 50), 50 - 12 - 1);
}

TEST(OscopeMath, ReadOutValuesAndBoxPosition)
{
    EXPECT_FLOAT_EQ(InfoVoltage(0, 100, false), 1.0f);
    EXPECT_FLOAT_EQ(InfoVoltage(50, 100, false), 0.0f);
    EXPECT_FLOAT_EQ(InfoVoltage(99, 100, false), -1.0f);
    EXPECT_FLOAT_EQ(InfoVoltage(51, 100, false), -0.04f); // c = -1 - 1
    EXPECT_FLOAT_EQ(InfoVoltage(0, 100, true), 1.0f);
    EXPECT_FLOAT_EQ(InfoVoltage(99, 100, true), 0.0f);
    EXPECT_FLOAT_EQ(InfoTime(100, 1, 200), 0.5f);
    EXPECT_FLOAT_EQ(InfoTime(17, 200, 200), 17.0f);

    // Room below-right: 15 pixels under the pointer.
    EXPECT_EQ(InfoBox(10, 5, 200, 100, 60, 13), Rect(10, 20, 74, 35));
    // Near the bottom right corner: up by 40 and left into the area.
    EXPECT_EQ(InfoBox(190, 90, 200, 100, 60, 13), Rect(136, 65, 200, 80));
    // A short area: moved up past the top, the box starts at row 0.
    EXPECT_EQ(InfoBox(0, 10, 200, 30, 60, 13), Rect(0, 0, 64, 15));
}
