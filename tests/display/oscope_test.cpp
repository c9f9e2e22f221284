// The oscilloscope view as a component: property rules, layout, the view
// operations, drawing through the screen image, scrolling with and without
// acceleration, restarting together, the scales, the read-out and registration.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "display/oscope.h"
#include "display/scale_text.h"
#include "framework/enum_names.h"

using namespace qv;

namespace {

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& v)
{
    std::vector<uint8_t> out;
    for (int16_t s : v) {
        const auto u = static_cast<uint16_t>(s);
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

TWaveFormatEx Pcm(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

// A value whose row is r in an area of height H (Gain 0, not spikes).
int16_t ValueForRow(int32_t r, int32_t H)
{
    oscope::TVerticalMap m;
    m.H = H;
    for (int32_t s = -32768; s <= 32767; s += 16)
        if (m.Row(s) == r)
            return static_cast<int16_t>(s);
    ADD_FAILURE() << "no value for row " << r;
    return 0;
}

class Oscope : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = std::make_unique<TControl>();
        parent->SetBounds(0, 0, 400, 300);
        parent->SetColor(clNavy);
        parent->show();
    }
    // A scope of W x H trace pixels (bevel 1) in the parent, below the previous one, painted once.
    TMMOscope& Make(int32_t W, int32_t H)
    {
        const int32_t top = scopes.empty() ? 20 : scopes.back()->Top() + scopes.back()->Height() + 4;
        scopes.push_back(std::make_unique<TMMOscope>());
        TMMOscope& s = *scopes.back();
        s.SetParent(parent.get());
        s.SetBounds(10, top, W + 2, H + 2);
        QApplication::processEvents();
        s.Repaint();
        return s;
    }
    void Block(TMMOscope& s, const std::vector<uint8_t>& data)
    {
        std::vector<uint8_t> padded(data);
        padded.resize(std::max<size_t>(padded.size(), static_cast<size_t>(s.BlockBytes())), 0);
        s.ProcessBlock(padded.data());
    }
    // The DIB's pixel (palette index).
    static int Dib(TMMOscope& s, int32_t x, int32_t y)
    {
        const TDIBSurface d = s.DIBCanvas()->Surface();
        return *d.Pixel(x, y);
    }
    static std::vector<uint8_t> DibBytes(TMMOscope& s)
    {
        const TDIBSurface d = s.DIBCanvas()->Surface();
        return std::vector<uint8_t>(d.Bits, d.Bits + static_cast<size_t>(d.Stride) * d.Height);
    }
    // The screen image's pixel at trace-area (x, y), as a palette index of the DIB (-1: none).
    static int Screen(TMMOscope& s, int32_t x, int32_t y)
    {
        const QRgb px = s.ScreenImage().pixel(s.ScopeRect().Left + x, s.ScopeRect().Top + y);
        return Index(s, px);
    }
    static int Index(TMMOscope& s, QRgb px)
    {
        const uint32_t* lut = s.DIBCanvas()->ColorTable();
        for (int i = 0; i < 256; ++i)
            if ((lut[i] & 0xFFFFFF) == (px & 0xFFFFFF))
                return i;
        return -1;
    }
    static int Map(TMMOscope& s, TColor c) { return static_cast<int>(s.DIBCanvas()->MapColor(c)); }

    std::unique_ptr<TControl> parent;
    std::vector<std::unique_ptr<TMMOscope>> scopes;
};

} // namespace

TEST_F(Oscope, DefaultsAndLayout)
{
    TMMOscope s;
    EXPECT_EQ(std::make_tuple(s.Kind(), s.Effect(), s.Gain(), s.Zoom(), s.Steps(), s.FFTLength(), s.SampleRate()),
              std::make_tuple(okDots, efNone, 0, 1, 1, 128, 11025));
    EXPECT_EQ(std::make_tuple(s.BitLength(), s.Channel(), s.Mode(), s.BarWidth(), s.Cursor(), s.Color()),
              std::make_tuple(b8Bit, chBoth, mMono, 5, crCross, clBlack));
    EXPECT_FALSE(s.Scroll() || s.DrawAmpScale() || s.DrawTimeScale() || s.DrawGrid() || s.DrawMidLine()
                 || s.LowPass());
    EXPECT_TRUE(s.Accelerate() && s.ShowInfo() && s.Enabled());
    const TColor colours[] = {clAqua, clTeal, clRed, clGray, clBlack, clBlack, clGray, clGray, clWhite};
    for (int i = 0; i < TMMOscope::ColorCount; ++i)
        EXPECT_EQ(s.GetColor(static_cast<TMMOscope::TColorIndex>(i)), colours[i]) << i;
    EXPECT_EQ(s.ForegroundColor(), clAqua);
    EXPECT_EQ(s.BarTickColor(), clWhite);
    EXPECT_EQ(s.Width(), 194);
    EXPECT_EQ(s.Height(), 90);
    // The fresh bevel is one pixel wide.
    EXPECT_EQ(s.ScopeRect(), Rect(1, 1, 193, 89));
    EXPECT_EQ(s.ScopeWidth(), 192);
    EXPECT_EQ(s.ScopeHeight(), 88);
    EXPECT_EQ(s.MidY(), 44);
    EXPECT_EQ(s.AmpDivisions(), 8);
    EXPECT_EQ(s.TimeDivisions(), 16);
    EXPECT_EQ(s.BlockBytes(), 192);
    EXPECT_EQ(s.ScrollX(), -5);
    EXPECT_EQ(s.DIBCanvas()->Width(), 192);
    EXPECT_EQ(s.DIBCanvas()->Height(), 88);

    // The scales narrow the area and force a minimum size.
    s.SetDrawAmpScale(true);
    EXPECT_EQ(s.ScopeRect(), Rect(33, 1, 161, 89));
    EXPECT_EQ(s.BlockBytes(), 128);
    s.SetBounds(0, 0, 10, 3);
    EXPECT_EQ(s.Width(), 68);
    EXPECT_EQ(s.Height(), 4);
    EXPECT_EQ(s.ScopeWidth(), 4);
    EXPECT_EQ(s.ScopeHeight(), 4); // never below 4
    s.SetDrawTimeScale(true);
    EXPECT_EQ(s.Height(), 44);
    s.SetDrawAmpScale(false);
    s.SetDrawTimeScale(false);
    s.SetBounds(0, 0, 200, 100);
    // A wider bevel moves the area in.
    s.Bevel()->SetBevelOuterWidth(3);
    EXPECT_EQ(s.ScopeRect(), Rect(3, 3, 197, 97));
    EXPECT_EQ(s.DIBCanvas()->Width(), 194);
}

TEST_F(Oscope, PropertySetterRules)
{
    TMMOscope s;
    s.SetGain(33);
    EXPECT_EQ(s.Gain(), 0);
    s.SetGain(-9);
    EXPECT_EQ(s.Gain(), 0);
    s.SetGain(-8);
    EXPECT_EQ(s.Gain(), -8);
    EXPECT_EQ(s.VerticalMap().GainFactor, 0);
    s.SetGain(32);
    EXPECT_EQ(s.VerticalMap().GainFactor, 40);

    s.SetZoom(0);
    EXPECT_EQ(s.Zoom(), 1);
    s.SetZoom(12);
    EXPECT_EQ(s.Zoom(), 9);
    EXPECT_EQ(s.BlockBytes(), 192 * 9);
    s.SetZoom(-20);
    EXPECT_EQ(s.Zoom(), -9);
    EXPECT_EQ(s.BlockBytes(), (192 / 10 + 5) / 4 * 4);

    s.SetSteps(20);
    EXPECT_EQ(s.Steps(), 9);
    s.SetSteps(0);
    EXPECT_EQ(s.Steps(), 1);
    s.SetBarWidth(0);
    EXPECT_EQ(s.BarWidth(), 1);
    s.SetSampleRate(4000);
    EXPECT_EQ(s.SampleRate(), 8000);
    s.SetSampleRate(100000);
    EXPECT_EQ(s.SampleRate(), 88200);

    // The FFT length counts only while scrolling.
    s.SetZoom(1);
    s.SetFFTLength(1000);
    EXPECT_EQ(s.FFTLength(), 512);
    EXPECT_EQ(s.BlockBytes(), 192);
    s.SetScroll(true);
    EXPECT_EQ(s.BlockBytes(), 512);
    s.SetMode(mStereo);
    s.SetBitLength(b16Bit);
    EXPECT_EQ(s.BlockBytes(), 2048);
    s.SetFFTLength(5000);
    EXPECT_EQ(s.BlockBytes(), 4096 * 4);

    s.SetKind(okSpikes);
    EXPECT_EQ(s.VerticalMap().ValueRange, 32767);
    EXPECT_EQ(s.VerticalMap().ValueOffset, 0);
    s.SetKind(okMirLines);
    EXPECT_EQ(s.VerticalMap().ValueRange, 65535);
    EXPECT_EQ(s.VerticalMap().ValueOffset, 32767);

    s.SetEffect(efPeak);
    EXPECT_EQ(s.EffectBand().Low, 88 / 3);
    EXPECT_EQ(s.EffectBand().High, 88 - 88 / 3);
    s.SetEffect(efSplit);
    EXPECT_EQ(s.EffectBand().High, 44);

    s.SetColor(TMMOscope::ciBarTick, clLime);
    EXPECT_EQ(s.BarTickColor(), clLime);
    s.SetGridColor(clYellow);
    EXPECT_EQ(s.GetColor(TMMOscope::ciGrid), clYellow);

    // The view's own switch leaves the widget enabled for the mouse.
    s.SetEnabled(false);
    EXPECT_FALSE(s.Enabled());
    EXPECT_TRUE(static_cast<TControl&>(s).TControl::Enabled());
}

TEST_F(Oscope, ApplyPCMFormat)
{
    TMMOscope s;
    const TWaveFormatEx f = Pcm(16, 2, 44100);
    s.ApplyPCMFormat(&f);
    EXPECT_EQ(s.SampleRate(), 44100);
    EXPECT_EQ(s.BitLength(), b16Bit);
    EXPECT_EQ(s.Mode(), mStereo);
    EXPECT_EQ(s.BlockBytes(), 192 * 4);

    TWaveFormatEx bad = Pcm(16, 1, 8000);
    bad.wBitsPerSample = 12;
    try {
        s.ApplyPCMFormat(&bad);
        FAIL() << "12-bit samples were accepted";
    } catch (const EMMOscopeError& e) {
        EXPECT_EQ(e.Message(), "Invalid WaveFormat");
    }
    EXPECT_EQ(s.SampleRate(), 44100);
    EXPECT_EQ(s.BitLength(), b16Bit);
    EXPECT_EQ(s.Mode(), mStereo);
    EXPECT_THROW(s.ApplyPCMFormat(nullptr), EMMOscopeError);

    // A valid rate below 8000 is stored clamped.
    const TWaveFormatEx slow = Pcm(8, 1, 4000);
    s.ApplyPCMFormat(&slow);
    EXPECT_EQ(s.SampleRate(), 8000);
    EXPECT_EQ(s.BitLength(), b8Bit);
    EXPECT_EQ(s.Mode(), mMono);
}

TEST_F(Oscope, BlockDrawnIntoTheDIBAndOntoTheScreen)
{
    TMMOscope& s = Make(10, 10);
    s.SetBitLength(b16Bit);
    s.Repaint();
    const int aqua = Map(s, clAqua), black = Map(s, clBlack);
    std::vector<int16_t> v(10);
    for (int32_t i = 0; i < 10; ++i)
        v[static_cast<size_t>(i)] = ValueForRow(i, 10);
    int post = 0;
    s.OnPostPaint = [&](TComponent*) { ++post; };
    Block(s, Bytes16(v));
    EXPECT_EQ(post, 1);
    for (int32_t x = 0; x < 10; ++x)
        for (int32_t y = 0; y < 10; ++y) {
            const int want = x == y ? aqua : black;
            ASSERT_EQ(Dib(s, x, y), want) << x << "," << y;
            ASSERT_EQ(Screen(s, x, y), want) << x << "," << y;
        }

    // LowPass smooths before drawing.
    s.SetLowPass(true);
    Block(s, Bytes16({32767, 32767}));
    EXPECT_EQ(s.Samples()[0], 24575);
    EXPECT_EQ(s.Samples()[1], 32767);
    s.SetLowPass(false);

    // Disabled, hidden, or frozen by the read-out: the block is not taken.
    s.SetEnabled(false);
    Block(s, Bytes16({100}));
    EXPECT_EQ(s.Samples()[0], 24575);
    s.SetEnabled(true);
    s.SetVisible(false);
    Block(s, Bytes16({100}));
    EXPECT_EQ(s.Samples()[0], 24575);
    EXPECT_EQ(post, 2);
}

TEST_F(Oscope, DisabledLineCentreLineAndGridInAFullPass)
{
    TMMOscope& s = Make(20, 10);
    s.SetDrawMidLine(true);
    s.SetDrawGrid(true);
    s.SetKind(okSpikes); // the resting trace sits on the bottom row
    s.Repaint();
    const int gray = Map(s, clGray), aqua = Map(s, clAqua), black = Map(s, clBlack);
    // Grid dots on rows 0, 5, 9; the dashed centre line (DisabledColor, gray too) on row 5.
    EXPECT_EQ(Dib(s, 0, 0), gray);
    EXPECT_EQ(Dib(s, 1, 0), black);
    EXPECT_EQ(Dib(s, 1, 5), gray); // dash
    EXPECT_EQ(Dib(s, 5, 5), black); // dash gap, no grid dot at an odd column
    EXPECT_EQ(Dib(s, 6, 5), gray);  // grid dot in the gap
    EXPECT_EQ(Dib(s, 9, 2), gray);  // time division column
    EXPECT_EQ(Dib(s, 3, 9), aqua);
    EXPECT_EQ(Dib(s, 3, 8), black);

    s.SetEnabled(false);
    s.SetDisabledColor(clRed);
    s.Repaint();
    const int red = Map(s, clRed);
    EXPECT_EQ(Dib(s, 4, 5), Map(s, clBlack));
    EXPECT_EQ(Dib(s, 5, 5), red);
    EXPECT_EQ(Dib(s, 14, 5), red);
    EXPECT_EQ(Dib(s, 15, 5), Map(s, clBlack));
    EXPECT_EQ(Dib(s, 0, 0), Map(s, clBlack)); // no grid while disabled
    EXPECT_EQ(Screen(s, 5, 5), red);
}

TEST_F(Oscope, OverflowEventsOnTheWorkedExample)
{
    TMMOscope& s = Make(4, 100);
    s.SetBitLength(b16Bit);
    s.Repaint();
    int pcm = 0, gain = 0;
    s.OnPcmOverflow = [&](TComponent*) { ++pcm; };
    s.OnGainOverflow = [&](TComponent*) { ++gain; };
    Block(s, Bytes16({32767, 0, 0, 0}));
    EXPECT_EQ(pcm, 1);
    EXPECT_EQ(gain, 0);
    EXPECT_EQ(Dib(s, 0, 0), Map(s, clAqua)); // v = 99: row 0
    s.SetGain(8);
    s.Repaint(); // the full pass draws the held values again
    EXPECT_EQ(pcm, 2);
    EXPECT_EQ(gain, 1);
    Block(s, Bytes16({32767, 0, 0, 0}));
    EXPECT_EQ(pcm, 3);
    EXPECT_EQ(gain, 2);

    // 8-bit data: the largest trace value is 32512, never full scale through a signed test...
    s.SetGain(0);
    s.SetBitLength(b8Bit);
    s.Repaint();
    pcm = 0;
    Block(s, {255, 255, 0, 0});
    EXPECT_EQ(pcm, 0);
    // ...only the magnitude test of scrolling spikes fires, for the byte 0.
    s.SetKind(okSpikes);
    s.SetScroll(true);
    s.SetFFTLength(4);
    s.Repaint();
    pcm = 0;
    Block(s, {128, 0, 128, 128});
    EXPECT_EQ(pcm, 1);
    s.SetEffect(efSplit);
    s.Repaint();
    pcm = 0;
    Block(s, {128, 0, 128, 128});
    EXPECT_EQ(pcm, 0);
}

TEST_F(Oscope, ScrollingAcceleratedFromRestartToFullAndBeyond)
{
    TMMOscope& s = Make(20, 10);
    s.SetBitLength(b16Bit);
    s.SetScroll(true);
    s.SetFFTLength(2);
    ASSERT_EQ(s.BlockBytes(), 4);
    // The full pass restarts at -BarWidth, draws its (hidden) column and advances.
    s.Repaint();
    EXPECT_EQ(s.ScrollX(), -4);
    EXPECT_EQ(s.ScrollCount(), 1);
    const int aqua = Map(s, clAqua), gray = Map(s, clGray), white = Map(s, clWhite), black = Map(s, clBlack);
    auto rowOf = [](int n) { return n % 10; };
    auto block = [&](int n) {
        const int16_t v = ValueForRow(rowOf(n), 10);
        Block(s, Bytes16({v, v}));
    };

    for (int n = 1; n <= 19; ++n) {
        block(n);
        ASSERT_EQ(s.ScrollX(), n - 4);
        ASSERT_EQ(s.ScrollCount(), n + 1);
        // Block n is column n - 5: the first ones fall left of the area.
        if (n >= 5) {
            ASSERT_EQ(Screen(s, n - 5, rowOf(n)), aqua) << n;
            ASSERT_EQ(Screen(s, n - 5, (rowOf(n) + 3) % 10), black) << n;
        }
        // The bar covers the five columns right of the newest, with its division marks.
        for (int x = std::max(0, n - 4); x <= n; ++x) {
            ASSERT_EQ(Screen(s, x, 1), gray) << n << " " << x;
            ASSERT_EQ(Screen(s, x, 9), white) << n << " " << x;
        }
        if (n < 19) {
            ASSERT_EQ(Screen(s, n + 1, 1), black) << n;
        }
    }
    // Full: the newest column stays at W - BarWidth, and the screen image moves left.
    for (int n = 20; n <= 26; ++n) {
        block(n);
        ASSERT_EQ(s.ScrollX(), 15);
        ASSERT_EQ(s.ScrollCount(), 20);
        ASSERT_EQ(Screen(s, 15, rowOf(n)), aqua);
        for (int x = 0; x <= 14; ++x) {
            ASSERT_EQ(Screen(s, x, rowOf(x + n - 14)), aqua) << n << " " << x;
        }
        for (int x = 16; x < 20; ++x) {
            ASSERT_EQ(Screen(s, x, 1), gray);
        }
    }
    // The DIB is not shifted: it stopped mirroring the screen.
    EXPECT_EQ(Dib(s, 14, rowOf(19)), aqua);
    EXPECT_EQ(Dib(s, 15, rowOf(26)), aqua);

    // A full pass restarts at the left.
    s.Repaint();
    EXPECT_EQ(s.ScrollX(), -4);
    EXPECT_EQ(s.ScrollCount(), 1);
}

TEST_F(Oscope, ScrollingInTheSurfaceWithoutAcceleration)
{
    TMMOscope& s = Make(20, 10);
    s.SetBitLength(b16Bit);
    s.SetScroll(true);
    s.SetAccelerate(false);
    s.SetFFTLength(2);
    s.SetBarWidth(3);
    s.Repaint();
    EXPECT_EQ(s.ScrollX(), -2);
    const int aqua = Map(s, clAqua), gray = Map(s, clGray);
    auto rowOf = [](int n) { return (n * 3) % 10; };
    auto block = [&](int n) {
        const int16_t v = ValueForRow(rowOf(n), 10);
        Block(s, Bytes16({v, v}));
    };
    for (int n = 1; n <= 19; ++n) {
        block(n);
        // The bar is in the DIB: the three columns right of the newest (n - 3).
        for (int x = std::max(0, n - 2); x <= n; ++x) {
            ASSERT_EQ(Dib(s, x, 1), gray) << n << " " << x;
        }
        if (n >= 3) {
            ASSERT_EQ(Dib(s, n - 3, rowOf(n)), aqua);
        }
        // The screen shows the whole DIB.
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(Screen(s, x, 1), Dib(s, x, 1));
        }
    }
    EXPECT_EQ(s.ScrollX(), 17);
    EXPECT_EQ(s.ScrollCount(), 20);
    for (int n = 20; n <= 25; ++n) {
        block(n);
        // The screen got the picture before the shift; the DIB moved one column left.
        for (int x = 0; x <= 17; ++x) {
            ASSERT_EQ(Screen(s, x, rowOf(x + n - 17)), aqua) << n << " " << x;
        }
        for (int x = 0; x <= 16; ++x) {
            ASSERT_EQ(Dib(s, x, rowOf(x + n - 16)), aqua) << n << " " << x;
        }
        ASSERT_EQ(Dib(s, 17, 1), gray);
        ASSERT_EQ(Dib(s, 19, 1), gray); // the last column keeps its pixels
        ASSERT_EQ(s.ScrollX(), 17);
    }
}

TEST_F(Oscope, EveryScrollingScopeRestartsTogether)
{
    TMMOscope& a = Make(20, 10);
    TMMOscope& b = Make(20, 10);
    for (TMMOscope* s : {&a, &b}) {
        s->SetScroll(true);
        s->SetFFTLength(2);
    }
    QApplication::processEvents(); // both full passes
    a.Repaint(); // tells b to restart
    EXPECT_TRUE(b.RestartPending());
    b.Repaint(); // restarts on its own full pass, told by a: tells nobody
    EXPECT_FALSE(b.RestartPending());
    EXPECT_FALSE(a.RestartPending());
    EXPECT_EQ(TMMOscope::ScopeList().size(), 2u);
    for (int n = 0; n < 7; ++n) {
        Block(a, {128, 128});
        Block(b, {128, 128});
    }
    EXPECT_EQ(a.ScrollCount(), 8);
    EXPECT_EQ(b.ScrollCount(), 8);

    b.Repaint(); // a full pass of b
    EXPECT_EQ(b.ScrollCount(), 1);
    EXPECT_TRUE(a.RestartPending());
    EXPECT_EQ(a.ScrollCount(), 8);
    Block(a, {128, 128}); // restarts with its next block
    EXPECT_EQ(a.ScrollX(), -4);
    EXPECT_EQ(a.ScrollCount(), 1);
    EXPECT_FALSE(a.RestartPending());
    EXPECT_FALSE(b.RestartPending());

    scopes.pop_back();
    EXPECT_EQ(TMMOscope::ScopeList().size(), 1u);
}

TEST_F(Oscope, CustomDrawingReplacesTheTrace)
{
    TMMOscope& s = Make(8, 6);
    TRect seen;
    int16_t* data = nullptr;
    s.OnDrawLine = [&](TComponent* sender, TMMDIBCanvas* dib, const TRect& r, int16_t* d) {
        EXPECT_EQ(sender, &s);
        seen = r;
        data = d;
        dib->SetDrawColor(clRed);
        dib->DIBHLine(0, 8, 0);
    };
    Block(s, {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(seen, Rect(0, 0, 8, 6));
    EXPECT_EQ(data, s.Samples());
    EXPECT_EQ(data[0], -32768);
    EXPECT_EQ(Screen(s, 3, 0), Map(s, clRed));
    // No background, no trace of its own.
    EXPECT_EQ(Dib(s, 3, 5), Map(s, clBlack));
}

TEST_F(Oscope, ReadOutBoxFrozenTraceAndRestoredPatch)
{
    TMMOscope& s = Make(200, 100);
    s.SetBitLength(b16Bit);
    s.SetShowHint(true);
    // 400 bytes of 16-bit mono at 11025 Hz are 18 whole milliseconds.
    EXPECT_EQ(s.InfoText(1 + 99, 1), " 9.0 ms 1.00 V");
    EXPECT_EQ(s.InfoText(1 + 199, 1 + 99), "18.0 ms -1.00 V");
    EXPECT_EQ(s.InfoText(1, 1 + 50), " 0.1 ms 0.00 V");

    std::vector<int16_t> v(200);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<int16_t>(static_cast<int>(i) * 300 - 30000);
    Block(s, Bytes16(v));
    const std::vector<uint8_t> shown = DibBytes(s);

    // Near the bottom right corner: the box moves up by 40 and left into the area.
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(1 + 190, 1 + 90));
    ASSERT_TRUE(s.InfoActive());
    EXPECT_EQ(QWidget::mouseGrabber(), &s);
    EXPECT_FALSE(s.ShowHint());
    const int white = Map(s, clWhite);
    int left = 1000, right = -1, top = 1000, bottom = -1;
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 200; ++x)
            if (Dib(s, x, y) == white) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    // Inside the black frame: the frame's right column is the area's last (199).
    EXPECT_EQ(right, 198);
    EXPECT_EQ(top, 90 + 15 - 40 + 1);
    EXPECT_GT(left, 100);
    EXPECT_LT(bottom, 100 - 1);
    EXPECT_EQ(Index(s, s.ScreenImage().pixel(1 + 198, 1 + top)), white);

    // Frozen: blocks do not change the picture.
    const std::vector<uint8_t> withBox = DibBytes(s);
    Block(s, Bytes16(std::vector<int16_t>(200, 1234)));
    EXPECT_EQ(DibBytes(s), withBox);

    // Moving puts the patch back and the box elsewhere; outside the area it is put away.
    QTest::mouseMove(&s, QPoint(1 + 20, 1 + 10));
    EXPECT_EQ(Dib(s, 198, top), Dib(s, 198, top)); // readable
    EXPECT_NE(Dib(s, 198, top), white);
    EXPECT_EQ(Dib(s, 21, 26), white);

    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(1 + 20, 1 + 10));
    EXPECT_FALSE(s.InfoActive());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_TRUE(s.ShowHint());
    EXPECT_EQ(DibBytes(s), shown);
    // Running again.
    Block(s, Bytes16(std::vector<int16_t>(200, 0)));
    EXPECT_EQ(Dib(s, 50, 50), Map(s, clAqua));

    // Not with ShowInfo off, nor while disabled.
    s.SetShowInfo(false);
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_FALSE(s.InfoActive());
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    s.SetShowInfo(true);
    s.SetEnabled(false);
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_FALSE(s.InfoActive());
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
}

TEST_F(Oscope, ResetDisplayEndsTheReadOutAndClearsTheTrace)
{
    TMMOscope& s = Make(100, 40);
    s.SetBitLength(b16Bit);
    Block(s, Bytes16(std::vector<int16_t>(100, 20000)));
    EXPECT_EQ(s.Samples()[0], 20000);
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(30, 10));
    ASSERT_TRUE(s.InfoActive());
    int ups = 0;
    s.OnMouseUp = [&](TComponent*, TMouseButton b, TShiftState, int32_t, int32_t) {
        EXPECT_EQ(b, mbLeft);
        ++ups;
    };
    s.ResetDisplay();
    EXPECT_FALSE(s.InfoActive());
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(s.Samples()[0], 0);
    EXPECT_EQ(Dib(s, 10, 20), Map(s, clAqua)); // resting on the centre row
}

TEST_F(Oscope, ReadOutAfterAcceleratedScrollingShowsTheScreen)
{
    TMMOscope& s = Make(30, 20);
    s.SetBitLength(b16Bit);
    s.SetScroll(true);
    s.SetFFTLength(2);
    s.Repaint();
    for (int n = 1; n <= 40; ++n) {
        const int16_t v = ValueForRow(n % 20, 20);
        Block(s, Bytes16({v, v}));
    }
    // Screen and DIB differ after scrolling on the screen.
    bool differ = false;
    for (int32_t x = 0; x < 25 && !differ; ++x)
        for (int32_t y = 0; y < 20; ++y)
            differ = differ || Screen(s, x, y) != Dib(s, x, y);
    ASSERT_TRUE(differ);
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(1 + 28, 1 + 1));
    ASSERT_TRUE(s.InfoActive());
    // Left of the box the DIB now holds what the screen shows.
    for (int32_t x = 0; x < 5; ++x)
        for (int32_t y = 0; y < 20; ++y)
            ASSERT_EQ(Dib(s, x, y), Screen(s, x, y)) << x << "," << y;
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(1 + 28, 1 + 1));
}

TEST_F(Oscope, ScalesAroundTheTraceArea)
{
    TMMOscope& s = Make(200, 100);
    s.SetDrawAmpScale(true);
    s.SetDrawTimeScale(true);
    s.SetScaleLineColor(clRed);
    s.SetScaleTextColor(clLime);
    s.SetBounds(10, 20, 202, 102);
    s.Repaint();
    ASSERT_EQ(s.ScopeRect(), Rect(33, 1, 169, 61));
    const QImage& img = s.ScreenImage();
    auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    const QRgb navy = 0x000080, red = 0xFF0000;
    // Gaps in the parent's colour.
    EXPECT_EQ(at(29, 5), navy);
    EXPECT_EQ(at(31, 30), navy);
    EXPECT_EQ(at(202 - 32, 5), navy);
    EXPECT_EQ(at(100, 102 - 39), navy);
    // Left scale: six divisions of H = 60; ticks at bitmap x 31..29, drawn at -3.
    const int32_t hs = 62;
    for (int32_t k = 0; k <= 6; ++k) {
        const int32_t y = hs - 1 - oscope::ScaleTick(k, 6, 60) - 1;
        EXPECT_EQ(at(26, y), red) << k;
        EXPECT_EQ(at(27, y), red) << k;
        EXPECT_EQ(at(28, y), red) << k;
        EXPECT_EQ(at(202 - 29, y), red) << k;
        EXPECT_EQ(at(202 - 27, y), red) << k;
    }
    EXPECT_EQ(at(28, 30), red); // the scale's vertical line
    // Time scale: 8 divisions of W = 136, ticks three pixels down from row 65.
    for (int32_t k = 0; k <= 8; ++k) {
        const int32_t x = 32 + 1 + 135 * k / 8;
        EXPECT_EQ(at(x, 65), red) << k;
        EXPECT_EQ(at(x, 67), red) << k;
        EXPECT_NE(at(x, 68), red) << k;
    }
    // Labels and unit captions are drawn in the text colour (some of their pixels are exact).
    auto hasText = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (at(x, y) == 0x00FF00)
                    return true;
        return false;
    };
    EXPECT_TRUE(hasText(172, 74, 202, 90));  // "mS"
    EXPECT_TRUE(hasText(0, 62, 17, 75));     // "V" left
    EXPECT_TRUE(hasText(0, 0, 26, 62));      // amplitude labels
    EXPECT_TRUE(hasText(33, 70, 169, 102));  // time labels
    EXPECT_EQ(at(100, 30), 0x000000u);       // the trace area itself is black
}

TEST(ScaleText, AlignmentsPlaceTheText)
{
    QImage img(120, 120, QImage::Format_RGB32);
    auto extent = [&](int align, int x, int y, QRect& box, TSize& size) {
        img.fill(Qt::white);
        TCanvas c;
        c.AttachDevice(&img);
        c.Font().SetColor(clBlack);
        c.Font().SetName(QStringLiteral("Courier"));
        DrawScaleText(&c, x, y, QStringLiteral("0.50"), QStringLiteral("ARIAL"), 10, align);
        EXPECT_EQ(c.Font().Name(), QStringLiteral("Courier")); // restored
        TFont f;
        f.SetName(QStringLiteral("ARIAL"));
        f.SetHeight(10);
        c.Font().Assign(f);
        size = c.TextExtent(QStringLiteral("0.50"));
        c.Detach();
        box = QRect();
        for (int yy = 0; yy < img.height(); ++yy)
            for (int xx = 0; xx < img.width(); ++xx)
                if ((img.pixel(xx, yy) & 0xFFFFFF) != 0xFFFFFF)
                    box |= QRect(xx, yy, 1, 1);
    };
    QRect box;
    TSize sz;
    extent(1, 60, 50, box, sz);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_LT(box.right(), 60);
    EXPECT_GE(box.left(), 60 - sz.cx);
    EXPECT_GE(box.top(), 50 - sz.cy / 2);
    EXPECT_LT(box.bottom(), 50 - sz.cy / 2 + sz.cy);
    extent(0, 60, 50, box, sz);
    EXPECT_GE(box.left(), 60);
    EXPECT_LT(box.right(), 60 + sz.cx);
    // Turned: centred on X, reaching down from Y.
    extent(2, 60, 20, box, sz);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_GE(box.left(), 60 - sz.cy / 2);
    EXPECT_LT(box.right(), 60 - sz.cy / 2 + sz.cy);
    EXPECT_GE(box.top(), 20);
    EXPECT_LE(box.bottom(), 20 + sz.cx);
    EXPECT_GT(box.height(), box.width()); // reads upwards
}

TEST(OscopeRegistration, ClassAndEnumerationNames)
{
    RegisterOscopeComponents();
    std::unique_ptr<TComponent> c(TComponentRegistry::Create("TMMOscope", nullptr));
    ASSERT_NE(dynamic_cast<TMMOscope*>(c.get()), nullptr);
    // The connector finds the view operations through a QObject.
    EXPECT_NE(dynamic_cast<TMMOscopeView*>(c->AsQObject()), nullptr);
    const char* kind = QMetaType::fromType<TMMOscopeKind>().name();
    EXPECT_EQ(TEnumNames::ValueOf(kind, "okSpikes"), 4);
    EXPECT_EQ(TEnumNames::NameOf(kind, 1), "okConLines");
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TMMOscopeEffect>().name(), "efSplit"), 2);
    // Published by name.
    QObject* o = c->AsQObject();
    EXPECT_TRUE(o->setProperty("Gain", 4));
    EXPECT_EQ(static_cast<TMMOscope*>(c.get())->Gain(), 4);
    EXPECT_TRUE(o->setProperty("Kind", QVariant::fromValue(okMirLines)));
    EXPECT_EQ(static_cast<TMMOscope*>(c.get())->Kind(), okMirLines);
    c.reset();
    EXPECT_TRUE(TMMOscope::ScopeList().empty());
}
