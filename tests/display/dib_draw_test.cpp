#include "display/dib_draw.h"

#include <gtest/gtest.h>
#include <set>
#include <utility>
#include <vector>

using namespace qv;

namespace {

using Px = std::set<std::pair<int, int>>;

// A DIB of its own memory, 8 or 24 bits, cleared to 0.
struct Dib {
    std::vector<uint8_t> mem;
    TDIBSurface s;
    Dib(int bpp, int w, int h)
    {
        s.BitsPerPixel = bpp;
        s.BytesPerPixel = bpp / 8;
        s.Width = w;
        s.Height = h;
        s.Stride = DIBStride(w, bpp);
        mem.assign(static_cast<size_t>(s.Stride) * h + 16, 0); // a guard past the end
        s.Bits = mem.data();
        s.Clip = Rect(0, 0, w, h);
        Color(kInk);
    }
    // 8 bits: index 7; 24 bits: a colour whose three bytes differ.
    static constexpr uint32_t kInk = 0x00123456;
    void Color(uint32_t v) { s.Color = DIBDrawValue(s.BitsPerPixel, s.BitsPerPixel == 8 ? 7 : v); }
    uint32_t Ink() const { return s.BitsPerPixel == 8 ? 7u : kInk; }
    uint32_t At(int x, int y) const
    {
        const uint8_t* p
            = mem.data() + static_cast<size_t>(s.Height - 1 - y) * s.Stride + x * s.BytesPerPixel;
        if (s.BytesPerPixel == 1)
            return *p;
        return p[2] | p[1] << 8 | p[0] << 16;
    }
    Px Set() const
    {
        Px out;
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (At(x, y) != 0)
                    out.insert({ x, y });
        return out;
    }
    bool GuardIntact() const
    {
        for (size_t i = static_cast<size_t>(s.Stride) * s.Height; i < mem.size(); ++i)
            if (mem[i] != 0)
                return false;
        return true;
    }
    // Fills every pixel with a value of its own (for copies).
    void Pattern()
    {
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                dib::SetPixel(s, x, y, Unique(x, y));
    }
    uint32_t Unique(int x, int y) const
    {
        return s.BitsPerPixel == 8 ? static_cast<uint32_t>((x * 7 + y * 31 + 1) & 0xFF)
                                   : static_cast<uint32_t>((x + 1) | (y + 1) << 8 | 0x5A << 16);
    }
};

// The pixels of [l, r) x [t, b), every step-th column and row.
Px Box(int l, int t, int r, int b, int step = 1)
{
    Px out;
    for (int y = t; y < b; y += step)
        for (int x = l; x < r; x += step)
            out.insert({ x, y });
    return out;
}
Px Span(int x1, int x2, int y)
{
    return Box(x1, y, x2, y + 1);
}
Px Col(int x, int y1, int y2)
{
    return Box(x, y1, x + 1, y2);
}
Px operator+(Px a, const Px& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

class DibDraw : public ::testing::TestWithParam<int> { };

} // namespace

TEST(DibLayout, StrideAndBottomUpAddressing)
{
    EXPECT_EQ(DIBStride(1, 8), 4);
    EXPECT_EQ(DIBStride(4, 8), 4);
    EXPECT_EQ(DIBStride(5, 8), 8);
    EXPECT_EQ(DIBStride(1, 24), 4);
    EXPECT_EQ(DIBStride(3, 24), 12);
    EXPECT_EQ(DIBStride(5, 24), 16);
    EXPECT_EQ(DIBStride(640, 8), 640);
    EXPECT_EQ(DIBStride(641, 24), 1924);

    Dib d8(8, 5, 3);
    dib::SetPixel(d8.s, 1, 0, 9);
    EXPECT_EQ(d8.mem[2 * 8 + 1], 9); // picture row 0 is the last memory row
    dib::SetPixel(d8.s, 4, 2, 200);
    EXPECT_EQ(d8.mem[4], 200);
    EXPECT_EQ(dib::GetPixel(d8.s, 4, 2), 200);
    EXPECT_EQ(dib::GetPixel(d8.s, 5, 2), -1);
    EXPECT_EQ(dib::GetPixel(d8.s, 0, -1), -1);

    Dib d24(24, 3, 2);
    dib::SetPixel(d24.s, 2, 0, 0x00332211); // red 0x11, green 0x22, blue 0x33
    const uint8_t* p = d24.mem.data() + 1 * 12 + 2 * 3;
    EXPECT_EQ(p[0], 0x33); // blue first
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x11);
    EXPECT_EQ(dib::GetPixel(d24.s, 2, 0), 0x00332211);
    EXPECT_EQ(DIBDrawValue(8, 0x1234AB), 0xABABABABu);
    EXPECT_EQ(DIBDrawValue(24, 0xFF1234AB), 0x001234ABu);
}

TEST_P(DibDraw, LineExamplesAndClipping)
{
    const int bpp = GetParam();
    auto line = [&](int x1, int y1, int x2, int y2, int w = 12, int h = 10) {
        Dib d(bpp, w, h);
        dib::Line(d.s, x1, y1, x2, y2);
        EXPECT_TRUE(d.GuardIntact());
        for (auto [x, y] : d.Set())
            EXPECT_EQ(d.At(x, y), d.Ink());
        return d.Set();
    };
    EXPECT_EQ(line(0, 0, 10, 0), Span(0, 10, 0));
    EXPECT_EQ(line(10, 0, 0, 0), Span(0, 10, 0));
    EXPECT_EQ(line(5, 5, 5, 5), Px {});
    EXPECT_EQ(line(-5, 2, 5, 2), Span(0, 5, 2));
    EXPECT_EQ(line(12, 0, 12, 9), Px {}); // a vertical line at X = Width
    EXPECT_EQ(line(0, 0, 4, 2), (Px { { 0, 0 }, { 1, 1 }, { 2, 1 }, { 3, 2 } }));
    EXPECT_EQ(line(4, 2, 0, 0), (Px { { 0, 0 }, { 1, 1 }, { 2, 1 }, { 3, 2 } }));
    EXPECT_EQ(line(3, 8, 3, 2), Col(3, 2, 8));
    // Clipped at the right or bottom: the clipped end is left out too.
    EXPECT_EQ(line(0, 3, 20, 3), Span(0, 11, 3));
    EXPECT_EQ(line(2, 0, 2, 30), Col(2, 0, 9));
    // Both ends on one outside side.
    EXPECT_EQ(line(-3, -1, 20, -5), Px {});
    // Left end moved to the edge: Y := 0 + 5 * 3 / 10 = 1 (truncated).
    EXPECT_EQ(
        line(-3, 0, 7, 5), (Px { { 0, 1 }, { 1, 2 }, { 2, 2 }, { 3, 3 }, { 4, 3 }, { 5, 4 }, { 6, 4 } }));
    // Top end moved: X := 5 + (-5 * 3) / 9 = 5 - 1 (toward zero, not -2).
    EXPECT_EQ(line(5, -3, 0, 6), (Px { { 0, 6 }, { 1, 5 }, { 1, 4 }, { 2, 3 }, { 3, 2 }, { 3, 1 } }));
    // Far-off endpoints clip without overflow.
    EXPECT_EQ(line(-2000000000, 4, 2000000000, 4), Span(0, 11, 4));
    EXPECT_EQ(line(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 8, 8).size(), 7u);
}

TEST_P(DibDraw, XorLineUsesTheComplementOfTheColour)
{
    Dib d(GetParam(), 8, 4);
    d.s.Color = DIBDrawValue(d.s.BitsPerPixel, 0x0F);
    dib::HLine(d.s, 0, 8, 1);
    d.s.Color = DIBDrawValue(d.s.BitsPerPixel, 0x05);
    dib::XorLine(d.s, 2, 1, 5, 1);
    if (d.s.BitsPerPixel == 8) {
        EXPECT_EQ(d.At(2, 1), 0x0Fu ^ 0xFAu);
        EXPECT_EQ(d.At(4, 1), 0xF5u);
    } else {
        EXPECT_EQ(d.At(2, 1), 0x0Fu ^ 0xFFFFFAu);
    }
    EXPECT_EQ(d.At(5, 1), 0x0Fu);
    EXPECT_EQ(d.At(1, 1), 0x0Fu);
}

TEST_P(DibDraw, SpansDashesAndDots)
{
    const int bpp = GetParam();
    auto run = [&](auto&& draw, int w = 16, int h = 12, TRect clip = Rect(0, 0, 16, 12)) {
        Dib d(bpp, w, h);
        d.s.Clip = clip;
        draw(d.s);
        EXPECT_TRUE(d.GuardIntact());
        return d.Set();
    };
    EXPECT_EQ(run([](auto& s) { dib::HLine(s, 3, 3, 2); }), Px {});
    EXPECT_EQ(run([](auto& s) { dib::HLine(s, 8, 2, 2); }), Span(2, 8, 2));
    EXPECT_EQ(run([](auto& s) { dib::HLine(s, -4, 40, 11); }), Span(0, 16, 11));
    EXPECT_EQ(run([](auto& s) { dib::HLine(s, 0, 16, 12); }), Px {});
    EXPECT_EQ(run([](auto& s) { dib::HLine(s, 0, 16, 5); }, 16, 12, Rect(3, 4, 9, 8)), Span(3, 9, 5));
    EXPECT_EQ(run([](auto& s) { dib::HLine(s, 0, 2, 5); }, 16, 12, Rect(3, 4, 9, 8)), Px {});

    // Dashes: 4 on, 4 off from the clipped start; nothing under 4 pixels.
    EXPECT_EQ(run([](auto& s) { dib::DashHLine(s, 0, 3, 1); }), Px {});
    EXPECT_EQ(run([](auto& s) { dib::DashHLine(s, 5, 2, 1); }, 16, 12, Rect(0, 0, 4, 12)), Px {});
    const Px dash = Span(0, 4, 1) + Span(8, 10, 1);
    EXPECT_EQ(run([](auto& s) { dib::DashHLine(s, 0, 10, 1); }), dash);
    EXPECT_EQ(run([](auto& s) { dib::DashHLine(s, -6, 10, 1); }), dash);
    EXPECT_EQ(run([](auto& s) { dib::DashHLine(s, 0, 13, 1); }, 16, 12, Rect(3, 0, 16, 12)),
        Span(3, 7, 1) + Span(11, 13, 1));
    // Vertical dashes have no minimum length.
    EXPECT_EQ(run([](auto& s) { dib::DashVLine(s, 2, 0, 3); }), Col(2, 0, 3));
    EXPECT_EQ(run([](auto& s) { dib::DashVLine(s, 2, 11, 1); }), Col(2, 1, 5) + Col(2, 9, 11));

    // Dots: one drawn, Gap skipped; a Gap below 1 counts as 1.
    const Px every2 = Box(1, 4, 11, 5, 2);
    Px every3;
    for (int x = 1; x < 11; x += 3)
        every3.insert({ x, 4 });
    EXPECT_EQ(run([](auto& s) { dib::DotHLine(s, 1, 11, 4, 0); }), every2);
    EXPECT_EQ(run([](auto& s) { dib::DotHLine(s, 11, 1, 4, -3); }), every2);
    EXPECT_EQ(run([](auto& s) { dib::DotHLine(s, 1, 11, 4, 2); }), every3);
    EXPECT_EQ(run([](auto& s) { dib::DotHLine(s, 1, 11, 4, INT32_MAX); }), (Px { { 1, 4 } }));
    EXPECT_EQ(run([](auto& s) { dib::DotVLine(s, 2, 0, 12, INT32_MAX); }), (Px { { 2, 0 } }));
    EXPECT_EQ(run([](auto& s) { dib::DotVLine(s, 6, -20, 30, 1); }), Box(6, 0, 7, 12, 2));

    EXPECT_EQ(run([](auto& s) { dib::VLine(s, 4, 9, 2); }), Col(4, 2, 9));
    EXPECT_EQ(run([](auto& s) { dib::VLine(s, 16, 0, 9); }), Px {});
    EXPECT_EQ(run([](auto& s) { dib::VLine(s, -1, 0, 9); }), Px {});
    EXPECT_EQ(run([](auto& s) { dib::VLine(s, 0, -5, 50); }), Col(0, 0, 12));
}

TEST_P(DibDraw, XorAndInvertVerticalSpans)
{
    Dib d(GetParam(), 4, 6);
    d.s.Color = DIBDrawValue(d.s.BitsPerPixel, 0x30);
    dib::VLine(d.s, 1, 0, 6);
    d.s.Color = DIBDrawValue(d.s.BitsPerPixel, 0x11);
    dib::XorVLine(d.s, 1, 1, 3);
    dib::InvertVLine(d.s, 1, 3, 5);
    const uint32_t mask = d.s.BitsPerPixel == 8 ? 0xFF : 0xFFFFFF;
    EXPECT_EQ(d.At(1, 0), 0x30u);
    EXPECT_EQ(d.At(1, 1), 0x30u ^ 0x11u);
    EXPECT_EQ(d.At(1, 2), 0x30u ^ 0x11u);
    EXPECT_EQ(d.At(1, 3), 0x30u ^ (~0x11u & mask));
    EXPECT_EQ(d.At(1, 5), 0x30u);
}

TEST_P(DibDraw, RectanglesPatternsAndClear)
{
    const int bpp = GetParam();
    auto run = [&](auto&& draw, TRect clip = Rect(0, 0, 10, 8)) {
        Dib d(bpp, 10, 8);
        d.s.Clip = clip;
        draw(d.s);
        EXPECT_TRUE(d.GuardIntact());
        return d.Set();
    };
    const Px box = Box(1, 2, 4, 5);
    EXPECT_EQ(run([](auto& s) { dib::FillRect(s, Rect(1, 2, 4, 5)); }), box);
    EXPECT_EQ(run([](auto& s) { dib::FillRect(s, Rect(4, 5, 1, 2)); }), box); // corners in any order
    EXPECT_EQ(run([](auto& s) { dib::FillRect(s, Rect(3, 1, 3, 6)); }), Px {});
    EXPECT_EQ(run([](auto& s) { dib::FillRect(s, Rect(-5, -5, 2, 3)); }).size(), 6u);
    EXPECT_EQ(run([](auto& s) { dib::FillRect(s, Rect(0, 0, 10, 8)); }, Rect(2, 2, 5, 3)), Span(2, 5, 2));

    EXPECT_EQ(run([](auto& s) { dib::FrameRect(s, 1, 1, 5, 5); }),
        Span(1, 5, 1) + Span(1, 5, 4) + Col(1, 1, 5) + Col(4, 1, 5));
    // Corners are not ordered: the right and bottom edges come from the first pair.
    EXPECT_EQ(run([](auto& s) { dib::FrameRect(s, 5, 5, 1, 1); }),
        Span(1, 5, 5) + Span(1, 5, 0) + Col(5, 1, 5) + Col(0, 1, 5));

    const Px pattern = Box(3, 1, 8, 6, 2);
    EXPECT_EQ(run([](auto& s) { dib::PatternFillRect(s, Rect(3, 1, 8, 6), 1); }), pattern);
    EXPECT_EQ(
        run([](auto& s) { dib::PatternFillRect(s, Rect(-1, 1, 8, 6), 1); }, Rect(3, 0, 10, 8)), pattern);
    EXPECT_EQ(run([](auto& s) { dib::PatternFillRect(s, Rect(1, 2, 4, 5), 0); }), box);

    Dib d(bpp, 10, 8);
    d.s.Color = DIBDrawValue(bpp, 0x0F);
    dib::FillRect(d.s, Rect(0, 0, 10, 8));
    d.s.Color = DIBDrawValue(bpp, 0x11);
    dib::XorFillRect(d.s, Rect(2, 2, 4, 3));
    EXPECT_EQ(d.At(2, 2), 0x0Fu ^ 0x11u);
    EXPECT_EQ(d.At(4, 2), 0x0Fu);

    Dib c(bpp, 7, 3);
    c.s.Clip = Rect(2, 1, 3, 2); // clearing ignores the clip
    dib::Clear(c.s);
    EXPECT_EQ(c.Set().size(), 21u);
    EXPECT_EQ(c.At(6, 2), c.Ink());
    EXPECT_TRUE(c.GuardIntact());
}

TEST(DibDraw8, ColumnWritesEachByteToItsOwnRow)
{
    Dib d(8, 4, 6);
    const uint8_t bytes[] = { 11, 12, 13, 14, 15, 16, 17, 18 };
    dib::Column(d.s, 1, 2, 3, bytes);
    EXPECT_EQ(d.At(1, 2), 11u);
    EXPECT_EQ(d.At(1, 3), 12u);
    EXPECT_EQ(d.At(1, 4), 13u);
    EXPECT_EQ(d.Set().size(), 3u);
    // Clipped at the top and the bottom: row Y + k still gets Bytes[k].
    Dib e(8, 4, 6);
    dib::Column(e.s, 2, -2, 8, bytes);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(e.At(2, y), static_cast<uint32_t>(bytes[y + 2])) << y;
    dib::Column(e.s, 4, 0, 8, bytes); // outside: nothing
    EXPECT_EQ(e.Set().size(), 6u);
    EXPECT_TRUE(e.GuardIntact());
    Dib f(24, 4, 6);
    dib::Column(f.s, 1, 0, 3, bytes); // 8 bits only
    EXPECT_TRUE(f.Set().empty());
}

TEST_P(DibDraw, CopyRectMovesOverlappingBlocksInEveryDirection)
{
    const int bpp = GetParam();
    struct Move {
        int sx, sy, w, h, dx, dy;
    };
    const Move moves[] = {
        { 0, 0, 12, 9, 1, 0 }, // right by one (the scroll of a trace)
        { 1, 0, 12, 9, 0, 0 }, // left
        { 0, 0, 12, 9, 0, 2 }, // down
        { 0, 3, 12, 6, 0, 0 }, // up
        { 2, 1, 6, 5, 4, 3 }, // down and right
        { 4, 3, 6, 5, 1, 0 }, // up and left
        { 5, 0, 6, 5, 1, 4 }, // down and left
        { 0, 4, 7, 4, 3, 1 }, // up and right
    };
    for (const Move& m : moves) {
        Dib d(bpp, 13, 10);
        d.Pattern();
        const Dib before = d;
        dib::CopyRect(d.s, m.sx, m.sy, m.w, m.h, m.dx, m.dy, d.s.Bits);
        EXPECT_TRUE(d.GuardIntact());
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 13; ++x) {
                const bool inDest = x >= m.dx && x < m.dx + m.w && y >= m.dy && y < m.dy + m.h;
                const uint32_t want = inDest ? before.At(x - m.dx + m.sx, y - m.dy + m.sy) : before.At(x, y);
                ASSERT_EQ(d.At(x, y), want) << "move " << m.sx << "," << m.sy << "->" << m.dx << "," << m.dy
                                            << " at " << x << "," << y;
            }
    }
}

TEST_P(DibDraw, CopyRectClipsBothBlocksAndKeepsThemPaired)
{
    const int bpp = GetParam();
    Dib src(bpp, 10, 8);
    src.Pattern();
    auto copy = [&](int sx, int sy, int w, int h, int dx, int dy, TRect clip) {
        Dib d(bpp, 10, 8);
        d.s.Clip = clip;
        dib::CopyRect(d.s, sx, sy, w, h, dx, dy, src.s.Bits);
        EXPECT_TRUE(d.GuardIntact());
        // Every written pixel holds its own partner from the source.
        for (auto [x, y] : d.Set())
            EXPECT_EQ(d.At(x, y), src.At(x - dx + sx, y - dy + sy)) << x << "," << y;
        return d.Set();
    };
    const TRect all = Rect(0, 0, 10, 8);
    // The source starts left of and above the clip: both blocks move by the overhang.
    EXPECT_EQ(copy(-2, -1, 5, 4, 2, 0, all), Box(4, 1, 7, 4));
    // The destination starts outside: the source moves with it.
    EXPECT_EQ(copy(3, 3, 5, 4, -2, -2, all), Box(0, 0, 3, 2));
    // Past the right and bottom edges: shortened.
    EXPECT_EQ(copy(0, 0, 6, 6, 7, 5, all).size(), 9u);
    // Wholly outside, or no size.
    EXPECT_TRUE(copy(0, 0, 4, 4, 10, 0, all).empty());
    EXPECT_TRUE(copy(0, 0, 0, 4, 1, 1, all).empty());
    EXPECT_TRUE(copy(0, 0, 4, -1, 1, 1, all).empty());
    // A narrower clip limits both.
    EXPECT_EQ(copy(0, 0, 10, 8, 0, 0, Rect(2, 2, 4, 3)), Span(2, 4, 2));
}

INSTANTIATE_TEST_SUITE_P(BothFormats, DibDraw, ::testing::Values(8, 24),
    [](const ::testing::TestParamInfo<int>& i) { return "bpp" + std::to_string(i.param); });
