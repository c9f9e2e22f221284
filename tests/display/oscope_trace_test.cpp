// Pixel-exact drawing of the oscilloscope's trace kinds and effects, the
// scrolling column, the centre line, grid, disabled line and bar, on small
// hand-made surfaces. '.' is the background, 'F' the trace colour, 'E' the
// effect colour, 'x' what was there before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/dib_canvas.h"
#include "display/oscope_trace.h"

using namespace qv;
using namespace qv::oscope;

namespace {

constexpr uint32_t kBack = 0, kFore = 1, kEffect = 2, kOld = 3;

struct Counter : TOverflowSink {
    int Pcm = 0, Gain = 0;
    std::string Order;
    void PcmOverflow() override
    {
        ++Pcm;
        Order += 'P';
    }
    void GainOverflow() override
    {
        ++Gain;
        Order += 'G';
    }
};

class Trace : public ::testing::Test {
protected:
    void Setup(int32_t W, int32_t H, TMMOscopeKind kind, TMMOscopeEffect effect, uint32_t fill = kBack)
    {
        canvas.SetBounds(0, 0, W, H);
        sink = Counter{};
        pen = TPoint{};
        style = TTraceStyle{};
        style.Kind = kind;
        style.Effect = effect;
        style.W = W;
        style.H = H;
        style.MidY = H / 2;
        style.Map.H = H;
        if (kind == okSpikes) {
            style.Map.ValueRange = 32767;
            style.Map.ValueOffset = 0;
        }
        style.Band = EffectBand(effect, H, {});
        style.Fore = kFore;
        style.EffectColor = kEffect;
        style.Back = kBack;
        TDIBDrawScope d(canvas);
        canvas.SetDrawValue(fill);
        canvas.DIBClear();
    }
    void Draw(std::vector<int16_t> samples)
    {
        TDIBDrawScope d(canvas);
        DrawTrace(canvas, style, samples.data(), &sink);
    }
    void Column(int32_t X, int16_t s0, int16_t s1)
    {
        TDIBDrawScope d(canvas);
        DrawScrollColumn(canvas, style, X, s0, s1, pen, &sink);
    }
    std::vector<std::string> Picture()
    {
        const TDIBSurface s = canvas.Surface();
        std::vector<std::string> rows;
        for (int32_t y = 0; y < s.Height; ++y) {
            std::string r;
            for (int32_t x = 0; x < s.Width; ++x) {
                const uint8_t v = *s.Pixel(x, y);
                r += v == kBack ? '.' : v == kFore ? 'F' : v == kEffect ? 'E' : v == kOld ? 'x' : '?';
            }
            rows.push_back(r);
        }
        return rows;
    }
    std::string ColumnOf(int32_t x)
    {
        std::string c;
        for (const std::string& r : Picture())
            c += r[static_cast<size_t>(x)];
        return c;
    }

    TMMDIBCanvas canvas;
    TTraceStyle style;
    Counter sink;
    TPoint pen;
};

using Pic = std::vector<std::string>;

// H = 10 with Gain 0: 32767 -> row 0, 16384 -> 2, 8192 -> 3, 0 -> 5, -8192 -> 6,
// -16384 -> 7, -32768 -> 9 (heights 9, 7, 6, 4, 3, 2, 0).
const std::vector<int16_t> kDots{0, 16384, 32767, -8192, -32768, 8192};

} // namespace

TEST_F(Trace, DotsWithEachEffectAndSteps)
{
    Setup(6, 10, okDots, efNone);
    Draw(kDots);
    EXPECT_EQ(Picture(), (Pic{"..F...", "......", ".F....", ".....F", "......", "F.....", "...F..", "......",
                              "......", "....F."}));
    EXPECT_EQ(sink.Pcm, 1);
    EXPECT_EQ(sink.Gain, 0);

    // Peak band 3..7 of the heights: 9 and 0 lie outside.
    Setup(6, 10, okDots, efPeak);
    Draw(kDots);
    EXPECT_EQ(Picture(), (Pic{"..E...", "......", ".F....", ".....F", "......", "F.....", "...F..", "......",
                              "......", "....E."}));
    // Split band 0..5: heights above the centre are marked.
    Setup(6, 10, okDots, efSplit);
    Draw(kDots);
    EXPECT_EQ(Picture(), (Pic{"..E...", "......", ".E....", ".....E", "......", "F.....", "...F..", "......",
                              "......", "....F."}));
    // Steps 2: columns 0, 2, 4 only.
    Setup(6, 10, okDots, efNone);
    style.Steps = 2;
    Draw(kDots);
    EXPECT_EQ(Picture(), (Pic{"..F...", "......", "......", "......", "......", "F.....", "......", "......",
                              "......", "....F."}));
}

TEST_F(Trace, ConnectedLinesSegmentColoursAndTheLastStep)
{
    // The final line ends outside the area: clipped there, it leaves out column W - 1.
    Setup(4, 10, okConLines, efNone);
    Draw({0, 0, 16384, 16384});
    EXPECT_EQ(Picture(), (Pic{"....", "....", "..F.", "..F.", ".F..", "FF..", "....", "....", "....", "...."}));

    // Each segment takes the colour of its end point's height.
    Setup(4, 10, okConLines, efSplit);
    Draw({0, 0, 16384, 16384});
    EXPECT_EQ(Picture(), (Pic{"....", "....", "..E.", "..E.", ".E..", "FE..", "....", "....", "....", "...."}));

    // Steps 3 over W = 5: a line to column 3, then on towards column 6 at the last value's row.
    Setup(5, 10, okConLines, efNone);
    style.Steps = 3;
    Draw({0, -32768, -32768, 16384, 16384});
    EXPECT_EQ(Picture(), (Pic{".....", ".....", "...F.", "..F..", ".F...", "F....", ".....", ".....", ".....",
                              "....."}));

    // The first value is not tested; the last one is tested again by the final line.
    Setup(4, 10, okConLines, efNone);
    Draw({32767, 0, 0, 32767});
    EXPECT_EQ(sink.Pcm, 2);
}

TEST_F(Trace, VerticalLinesWithTheCentreBand)
{
    Setup(3, 10, okVertLines, efNone);
    Draw({16384, -32768, 0});
    EXPECT_EQ(Picture(),
              (Pic{"...", "...", "F..", "F..", "FFF", "FFF", ".F.", ".F.", ".F.", "..."}));

    // Peak: tips of 5 pixels from the row outside the band 3..7.
    Setup(3, 10, okVertLines, efPeak);
    Draw({16384, -32768, 0});
    EXPECT_EQ(Picture(),
              (Pic{"...", "...", "E..", "E..", "EEF", "EEF", "EE.", ".E.", ".E.", "..."}));

    // Split: the upper band row and lines above the centre marked.
    Setup(3, 10, okVertLines, efSplit);
    Draw({16384, -32768, 0});
    EXPECT_EQ(Picture(),
              (Pic{"...", "...", "E..", "E..", "EEE", "FFF", ".F.", ".F.", ".F.", "..."}));
}

TEST_F(Trace, MirroredLines)
{
    Setup(4, 10, okMirLines, efNone);
    Draw({16384, -16384, 0, -32768});
    EXPECT_EQ(Picture(), (Pic{"...F", "...F", "FF.F", "FF.F", "FFFF", "FFFF", "FF.F", "...F", "...F", "...."}));

    Setup(2, 10, okMirLines, efSplit);
    Draw({16384, -16384});
    EXPECT_EQ(Picture(), (Pic{"..", "..", "EE", "EE", "EE", "FF", "FF", "..", "..", ".."}));

    // Peak on a taller area (band 10..20): the end pieces at both ends.
    Setup(3, 30, okMirLines, efPeak);
    Draw({32767, -32768, 0});
    const std::string full = "EEEEE" + std::string(19, 'F') + "EEEEE" + ".";
    EXPECT_EQ(ColumnOf(0), full); // u = 29 > 20: u-5..u and H-u+4..H-u-1
    EXPECT_EQ(ColumnOf(1), full); // u = 0 < 10: u..u+5 and H-u-6..H-u-1
    EXPECT_EQ(ColumnOf(2), std::string(14, '.') + "FF" + std::string(14, '.'));
}

TEST_F(Trace, SpikesFromTheBottom)
{
    // Magnitudes over 32767: 16384 -> row 4, 8192 -> 7, 0 -> 9, 32767 and 32768 -> -1.
    Setup(5, 10, okSpikes, efNone);
    Draw({16384, -8192, 0, 32767, -32768});
    EXPECT_EQ(Picture(), (Pic{"...FF", "...FF", "...FF", "...FF", "F..FF", "F..FF", "F..FF", "FF.FF", "FF.FF",
                              "FFFFF"}));
    // Full scale is tested on the signed value: -32768 does not count.
    EXPECT_EQ(sink.Pcm, 1);
    EXPECT_EQ(sink.Gain, 0);

    Setup(5, 10, okSpikes, efPeak);
    Draw({16384, -8192, 0, 32767, -32768});
    EXPECT_EQ(Picture(), (Pic{"...EE", "...EE", "...EE", "...EE", "E..FF", "E..FF", "E..FF", "EF.FF", "EF.FF",
                              "FFFFF"}));

    Setup(5, 10, okSpikes, efSplit);
    Draw({16384, -8192, 0, 32767, -32768});
    EXPECT_EQ(Picture(), (Pic{"...EE", "...EE", "...EE", "...EE", "F..EE", "F..FF", "F..FF", "FF.FF", "FF.FF",
                              "FFFFF"}));

    // Gain 8: 32767 maps to height 20 > 10, once per drawn value, after the full-scale test.
    Setup(2, 10, okSpikes, efNone);
    style.Map.GainFactor = 16;
    Draw({32767, 16384});
    EXPECT_EQ(sink.Order, "PG");
}

TEST_F(Trace, ScrollingColumnForEveryKind)
{
    // The column is cleared, then the pair drawn; other columns keep their pixels.
    Setup(4, 10, okDots, efNone, kOld);
    Column(2, 16384, -16384);
    EXPECT_EQ(ColumnOf(2), "..F....F..");
    EXPECT_EQ(ColumnOf(1), std::string(10, 'x'));

    // Connected: from the last pen through both values; the pen moves to the second.
    Setup(4, 10, okConLines, efNone, kOld);
    pen = Point(1, 5);
    Column(2, 16384, -16384);
    EXPECT_EQ(ColumnOf(2), "..FFFFF...");
    EXPECT_EQ(ColumnOf(1), "xxxxFFxxxx");
    EXPECT_EQ(pen, Point(2, 7));

    // Vertical: the value of larger magnitude; s0 on a tie.
    Setup(4, 10, okVertLines, efNone);
    Column(1, 16384, -32768);
    Column(2, 16384, -16384);
    EXPECT_EQ(ColumnOf(1), ".....FFFF.");
    EXPECT_EQ(ColumnOf(2), "..FFF.....");
    Setup(4, 10, okVertLines, efSplit);
    Column(1, 16384, -32768);
    EXPECT_EQ(ColumnOf(1), "..EEEFFFF.");

    // Mirrored: the larger magnitude for every effect.
    Setup(4, 10, okMirLines, efSplit);
    Column(1, 0, -16384);
    EXPECT_EQ(ColumnOf(1), "..EEEFF...");

    // Spikes: the larger magnitude, its full-scale test on the magnitude.
    Setup(4, 10, okSpikes, efNone);
    Column(1, -32768, 16384);
    EXPECT_EQ(ColumnOf(1), "FFFFFFFFFF");
    EXPECT_EQ(sink.Pcm, 1);
    // With efSplit each value, tested on its signed value.
    Setup(4, 10, okSpikes, efSplit);
    Column(1, -32768, 16384);
    EXPECT_EQ(ColumnOf(1), "EEEEFFFFFF");
    EXPECT_EQ(sink.Pcm, 0);
}

TEST_F(Trace, CentreLineGridDisabledLineAndBar)
{
    Setup(20, 10, okDots, efNone);
    {
        TDIBDrawScope d(canvas);
        DrawMidLine(canvas, 20, 5, kFore);
    }
    EXPECT_EQ(Picture()[5], "FFFF....FFFF....FFFF");

    Setup(20, 10, okDots, efNone);
    {
        TDIBDrawScope d(canvas);
        DrawDisabledLine(canvas, 20, 5, kFore);
    }
    EXPECT_EQ(Picture()[5], ".....FFFFFFFFFF.....");

    // Two amplitude divisions (rows 9, 5, 0) and two time divisions (columns 0, 9, 19), every second pixel.
    Setup(20, 10, okDots, efNone);
    {
        TDIBDrawScope d(canvas);
        DrawGrid(canvas, 20, 10, 2, 2, kFore);
    }
    EXPECT_EQ(Picture(), (Pic{"F.F.F.F.FFF.F.F.F.FF", "....................", "F........F.........F",
                              "....................", "F........F.........F", "F.F.F.F.F.F.F.F.F.F.",
                              "F........F.........F", "....................", "F........F.........F",
                              "F.F.F.F.F.F.F.F.F.F."}));

    // The bar right of the newest column, with its division marks.
    Setup(12, 10, okDots, efNone);
    {
        TDIBDrawScope d(canvas);
        DrawBar(canvas, 3, 8, 10, 2, kFore, kEffect);
    }
    EXPECT_EQ(Picture(), (Pic{"....EEEEE...", "....FFFFF...", "....FFFFF...", "....FFFFF...", "....FFFFF...",
                              "....EEEEE...", "....FFFFF...", "....FFFFF...", "....FFFFF...", "....EEEEE..."}));
}
