#include "display/dib_canvas.h"

#include <QImage>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>

using namespace qv;

namespace {

uint32_t Pixel(const TMMDIBCanvas& c, int x, int y)
{
    const uint8_t* p
        = c.Bits() + static_cast<size_t>(c.Height() - 1 - y) * c.Stride() + x * (c.BitsPerPixel() / 8);
    return c.BitsPerPixel() == 8 ? p[0] : static_cast<uint32_t>(p[2] | p[1] << 8 | p[0] << 16);
}

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EMMDIBError& e) {
        return e.Message();
    }
    return "";
}

TPaletteEntry Entry(const TMMDIBCanvas& c, int i)
{
    return c.PaletteEntries()[i];
}

} // namespace

TEST(DibCanvas, FirstDibHeaderAndFixedPalette)
{
    TMMDIBCanvas c;
    EXPECT_EQ(c.Width(), 1);
    EXPECT_EQ(c.Height(), 1);
    EXPECT_EQ(c.BitsPerPixel(), 8);
    EXPECT_TRUE(c.StretchBackGround());
    EXPECT_FALSE(c.PaletteRealize());
    EXPECT_TRUE(c.HandleAllocated());
    ASSERT_NE(c.Bits(), nullptr);
    EXPECT_EQ(c.Stride(), 4);
    // 40-byte header, positive height (bottom-up rows), 1 plane, 8 bits, no
    // compression, 256 colours used, all else 0.
    const TBitmapInfoHeader want { 40, 1, 1, 1, 8, 0, 0, 0, 0, 256, 0 };
    EXPECT_EQ(std::memcmp(&c.BitmapInfo()->bmiHeader, &want, sizeof want), 0);
    const uint8_t low[10][3] = { { 0, 0, 0 }, { 128, 0, 0 }, { 0, 128, 0 }, { 128, 128, 0 }, { 0, 0, 128 },
        { 128, 0, 128 }, { 0, 128, 128 }, { 192, 192, 192 }, { 192, 220, 192 }, { 166, 202, 240 } };
    const uint8_t high[10][3] = { { 255, 251, 240 }, { 160, 160, 164 }, { 128, 128, 128 }, { 255, 0, 0 },
        { 0, 255, 0 }, { 255, 255, 0 }, { 0, 0, 255 }, { 255, 0, 255 }, { 0, 255, 255 }, { 255, 255, 255 } };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Entry(c, i).peRed, low[i][0]);
        EXPECT_EQ(Entry(c, i).peGreen, low[i][1]);
        EXPECT_EQ(Entry(c, i).peBlue, low[i][2]);
        EXPECT_EQ(Entry(c, 246 + i).peRed, high[i][0]);
        EXPECT_EQ(Entry(c, 246 + i).peGreen, high[i][1]);
        EXPECT_EQ(Entry(c, 246 + i).peBlue, high[i][2]);
    }
    for (int i = 10; i < 246; ++i)
        EXPECT_EQ(Entry(c, i).peRed | Entry(c, i).peGreen | Entry(c, i).peBlue, 0) << i;
    // The colour table copies the palette in blue-green-red order, reserved
    // byte 4 on the middle entries.
    const TRGBQuad* t = c.BitmapInfo()->bmiColors;
    EXPECT_EQ(t[1].rgbRed, 128);
    EXPECT_EQ(t[1].rgbBlue, 0);
    EXPECT_EQ(t[9].rgbBlue, 240);
    EXPECT_EQ(t[9].rgbReserved, 0);
    EXPECT_EQ(t[10].rgbReserved, 4);
    EXPECT_EQ(t[245].rgbReserved, 4);
    EXPECT_EQ(t[246].rgbReserved, 0);
    EXPECT_EQ(c.ColorTable()[249], 0xFFFF0000u);
    EXPECT_EQ(c.ColorTable()[9], 0xFFA6CAF0u);
}

TEST(DibCanvas, FormatSizeAndRebuildRules)
{
    TMMDIBCanvas c;
    EXPECT_EQ(MessageOf([&] { c.SetBitsPerPixel(16); }), "Bitlength not supported yet");
    EXPECT_EQ(c.BitsPerPixel(), 8);
    c.SetBounds(10, 20, 5, 3); // only the size counts
    EXPECT_FALSE(c.HandleAllocated()); // rebuilt lazily
    EXPECT_EQ(c.ClipRect(), Rect(0, 0, 5, 3));
    c.BeginDraw();
    EXPECT_TRUE(c.HandleAllocated());
    EXPECT_EQ(c.Stride(), 8);
    EXPECT_EQ(c.BitmapInfo()->bmiHeader.biWidth, 5);
    EXPECT_FALSE(c.Idle());
    EXPECT_EQ(
        MessageOf([&] { c.SetBitsPerPixel(24); }), "Attempt to create new DIB while initialized for drawing");
    EXPECT_EQ(MessageOf([&] { c.SetPaletteRealize(true); }),
        "Attempt to create new DIB while initialized for drawing");
    c.EndDraw();
    EXPECT_TRUE(c.Idle());
    c.SetBitsPerPixel(24);
    EXPECT_EQ(c.BitmapInfo()->bmiHeader.biBitCount, 24);
    EXPECT_EQ(c.BitmapInfo()->bmiHeader.biClrUsed, 0u);
    EXPECT_EQ(c.Stride(), 16);
    c.SetBounds(0, 0, 0, -4);
    EXPECT_EQ(c.Width(), 1);
    EXPECT_EQ(c.Height(), 1);
    c.EndDraw(); // an unmatched EndDraw does nothing
    c.SetWidth(3);
    c.SetHeight(2);
    c.BeginDraw();
    EXPECT_EQ(c.BitmapInfo()->bmiHeader.biHeight, 2);
    c.EndDraw();
}

TEST(DibCanvas, ColourMappingToNearestPaletteIndex)
{
    TMMDIBCanvas c;
    EXPECT_EQ(c.MapColor(clRed), 249u);
    EXPECT_EQ(c.MapColor(clBtnFace), 7u); // (192, 192, 192)
    EXPECT_EQ(c.MapColor(clWhite), 255u);
    EXPECT_EQ(c.MapColor(RGB(250, 10, 5)), 249u);
    // (64, 0, 0) lies as far from black (0) as from (128, 0, 0) (1): the lower index wins.
    EXPECT_EQ(c.MapColor(RGB(64, 0, 0)), 0u);
    EXPECT_EQ(c.MapColor(RGB(65, 0, 0)), 1u);
    c.SetBounds(0, 0, 4, 2);
    c.BeginDraw();
    EXPECT_EQ(c.SetDrawColor(clAqua), 254u);
    c.DIBHLine(0, 4, 1);
    c.SetDrawValue(0x1203);
    c.DIBSetPixel(2, 0, 0x1203);
    c.DIBHLine(0, 1, 0);
    EXPECT_EQ(c.DIBGetPixel(3, 1), 254);
    EXPECT_EQ(c.DIBGetPixel(2, 0), 3);
    EXPECT_EQ(c.DIBGetPixel(0, 0), 3);
    EXPECT_EQ(c.DIBGetPixel(4, 0), -1);
    c.EndDraw();
    // Drawing routines do nothing outside a drawing session.
    c.DIBHLine(0, 4, 0);
    EXPECT_EQ(Pixel(c, 1, 0), 0u);

    TMMDIBCanvas t;
    t.SetBitsPerPixel(24);
    EXPECT_EQ(t.MapColor(clRed), 0x0000FFu);
    EXPECT_EQ(t.MapColor(clBtnShadow), 0x808080u);
    t.SetBounds(0, 0, 2, 2);
    t.BeginDraw();
    t.SetDrawColor(RGB(1, 2, 3));
    t.DIBSetPixel(1, 1, RGB(1, 2, 3));
    t.EndDraw();
    EXPECT_EQ(Pixel(t, 1, 1), static_cast<uint32_t>(RGB(1, 2, 3)));
    const uint8_t* row0 = t.Bits(); // picture row 1 is memory row 0
    EXPECT_EQ(row0[3], 3); // blue byte first
    EXPECT_EQ(row0[5], 1);
}

TEST(DibCanvas, CustomPaletteFillsTheMiddleEntries)
{
    TMMDIBCanvas c;
    TLogPalette pal {};
    pal.palVersion = 0x300;
    pal.palNumEntries = 240;
    for (int i = 0; i < 256; ++i)
        pal.palPalEntry[i] = TPaletteEntry { static_cast<uint8_t>(i), 100, static_cast<uint8_t>(255 - i), 0 };
    c.SetCustomPalette(&pal);
    EXPECT_EQ(Entry(c, 9).peRed, 166); // fixed entries stay
    EXPECT_EQ(Entry(c, 10).peRed, 10);
    EXPECT_EQ(Entry(c, 10).peFlags, PC_NOCOLLAPSE);
    EXPECT_EQ(Entry(c, 239).peRed, 239);
    EXPECT_EQ(Entry(c, 240).peRed, 0); // beyond its own count: black
    EXPECT_EQ(Entry(c, 240).peGreen, 0);
    EXPECT_EQ(Entry(c, 246).peFlags, PC_NOCOLLAPSE); // entry 246 goes to the custom palette
    EXPECT_EQ(Entry(c, 247).peRed, 160);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[100].rgbRed, 100);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[100].rgbBlue, 155);
    EXPECT_EQ(c.MapColor(RGB(100, 100, 155)), 100u);

    pal.palVersion = 0x200; // unusable: dropped
    c.SetCustomPalette(&pal);
    EXPECT_EQ(Entry(c, 100).peRed, 0);
    pal.palVersion = 0x300;
    c.SetCustomPalette(&pal);
    c.SetCustomPalette(nullptr);
    EXPECT_EQ(Entry(c, 100).peGreen, 0);
}

TEST(DibCanvas, PaletteAnimation)
{
    TMMDIBCanvas c;
    EXPECT_EQ(MessageOf([&] { c.SetAnimatedColors(237); }), "Invalid count of animated colors");
    EXPECT_EQ(MessageOf([&] { c.SetAnimatedColors(-1); }), "Invalid count of animated colors");
    c.SetAnimatedColors(236);
    EXPECT_EQ(c.AnimatedColors(), 236);
    EXPECT_EQ(c.FirstAnimated(), 11); // entries 11 .. 246
    EXPECT_EQ(c.AnimatedColorIndex(0), 11);
    EXPECT_EQ(Entry(c, 10).peFlags, 0);
    EXPECT_EQ(Entry(c, 11).peFlags, PC_RESERVED);
    EXPECT_EQ(Entry(c, 246).peFlags, PC_RESERVED);
    EXPECT_EQ(Entry(c, 247).peFlags, 0);
    // Placeholders: the smallest values whose colour no entry has; black (0)
    // and entry 1's (128, 0, 0) are taken.
    ASSERT_EQ(c.AnimatedList().size(), 236u);
    EXPECT_EQ(c.AnimatedList()[0], 1u);
    EXPECT_EQ(c.AnimatedList()[126], 127u);
    EXPECT_EQ(c.AnimatedList()[127], 129u);
    EXPECT_EQ(c.AnimatedList()[235], 237u);
    EXPECT_EQ(Entry(c, 11).peRed, 1);
    EXPECT_EQ(Entry(c, 246).peRed, 237);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[10].rgbReserved, 4);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[11].rgbReserved, 0);

    c.SetAnimatedColors(5);
    EXPECT_EQ(c.FirstAnimated(), 242);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[241].rgbReserved, 4);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[242].rgbReserved, 0);
    c.SetAnimatedColor(1, clRed);
    EXPECT_EQ(c.BitmapInfo()->bmiColors[243].rgbRed, 255);
    EXPECT_EQ(c.ColorTable()[243], 0xFFFF0000u);
    EXPECT_EQ(Entry(c, 243).peRed, 255);
    EXPECT_EQ(Entry(c, 243).peFlags, PC_RESERVED);
    EXPECT_EQ(MessageOf([&] { c.SetAnimatedColor(5, clRed); }), "Invalidate animated color index");
    EXPECT_EQ(MessageOf([&] { c.SetAnimatedColor(-1, clRed); }), "Invalidate animated color index");

    // A batch shows nothing until its end.
    c.BeginAnimate();
    c.SetAnimatedColor(0, clLime);
    c.BeginAnimate();
    c.SetAnimatedColor(4, clBlue);
    c.EndAnimate();
    EXPECT_EQ(c.ColorTable()[242], 0xFF010000u);
    c.EndAnimate();
    EXPECT_EQ(c.ColorTable()[242], 0xFF00FF00u);
    EXPECT_EQ(c.ColorTable()[246], 0xFF0000FFu);
    EXPECT_EQ(c.ColorTable()[243], 0xFFFF0000u);

    // A 24-bit surface has no colour table to animate.
    TMMDIBCanvas t;
    t.SetBitsPerPixel(24);
    t.SetAnimatedColors(2);
    EXPECT_EQ(MessageOf([&] { t.SetAnimatedColor(0, clRed); }), "Get palette entries failed");
    EXPECT_EQ(MessageOf([&] { t.BeginAnimate(); }), "Get palette entries failed");
    t.EndAnimate();
}

TEST(DibCanvas, BackgroundPictureStretchedOrTiled)
{
    QImage pic(2, 2, QImage::Format_Indexed8);
    QList<QRgb> table(256, qRgb(0, 0, 0));
    table[20] = qRgb(10, 200, 30);
    table[21] = qRgb(250, 40, 90);
    pic.setColorTable(table);
    pic.setPixel(0, 0, 20);
    pic.setPixel(1, 0, 21);
    pic.setPixel(0, 1, 21);
    pic.setPixel(1, 1, 20);
    TBitmap bmp;
    bmp.SetImage(pic);

    TMMDIBCanvas c;
    c.SetBounds(0, 0, 4, 4);
    c.SetBackGroundBitmap(&bmp);
    EXPECT_EQ(Entry(c, 20).peGreen, 200); // the picture's palette entries 10 .. 244
    EXPECT_EQ(Entry(c, 21).peRed, 250);
    ASSERT_NE(c.BackBits(), nullptr);
    auto back = [&](int x, int y) { return c.BackBits()[(3 - y) * c.Stride() + x]; };
    EXPECT_EQ(back(0, 0), 20); // stretched: each picture pixel covers 2 x 2
    EXPECT_EQ(back(1, 1), 20);
    EXPECT_EQ(back(2, 0), 21);
    EXPECT_EQ(back(3, 3), 20);
    EXPECT_EQ(back(0, 3), 21);

    c.SetStretchBackGround(false);
    EXPECT_EQ(back(0, 0), 20); // tiled at its own size
    EXPECT_EQ(back(1, 0), 21);
    EXPECT_EQ(back(2, 0), 20);
    EXPECT_EQ(back(3, 1), 20);

    c.BeginDraw();
    c.DIBCopyRect(0, 0, 4, 4, 0, 0, c.BackBits());
    c.EndDraw();
    EXPECT_EQ(Pixel(c, 1, 0), 21u);

    c.SetBitsPerPixel(24);
    auto back24 = [&](int x, int y) {
        const uint8_t* p = c.BackBits() + (3 - y) * c.Stride() + 3 * x;
        return static_cast<uint32_t>(p[2] | p[1] << 8 | p[0] << 16);
    };
    EXPECT_EQ(back24(1, 0), static_cast<uint32_t>(RGB(250, 40, 90)));
    c.SetBackGroundBitmap(nullptr);
    EXPECT_EQ(c.BackBits(), nullptr);
}

TEST(DibCanvas, FrameworkCanvasCallsWriteMappedPixels)
{
    TMMDIBCanvas c;
    c.SetBounds(0, 0, 60, 20);
    c.Brush().SetColor(clNavy);
    c.FillRect(Rect(0, 0, 60, 20));
    EXPECT_EQ(Pixel(c, 30, 10), 4u);
    c.Pen().SetColor(clRed);
    c.MoveTo(10, 0);
    c.LineTo(0, 0); // the classic rule: 10 .. 1
    EXPECT_EQ(Pixel(c, 10, 0), 249u);
    EXPECT_EQ(Pixel(c, 1, 0), 249u);
    EXPECT_EQ(Pixel(c, 0, 0), 4u);
    c.Brush().SetStyle(bsClear);
    c.Font().SetColor(clYellow);
    c.TextOut(2, 3, QStringLiteral("Hz"));
    std::set<uint32_t> seen;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x)
            seen.insert(Pixel(c, x, y));
    // Only palette indices of the colours used: no blended text pixels.
    EXPECT_EQ(seen, (std::set<uint32_t> { 4u, 249u, 251u }));
    EXPECT_FALSE(c.UpdateRect().IsEmpty());

    QImage pic(2, 1, QImage::Format_RGB32);
    pic.setPixel(0, 0, qRgb(0, 0, 255));
    pic.setPixel(1, 0, qRgb(250, 250, 250));
    c.Draw(40, 15, pic);
    EXPECT_EQ(Pixel(c, 40, 15), 252u);
    EXPECT_EQ(Pixel(c, 41, 15), 255u);
    c.Pen().SetWidth(3);
    c.MoveTo(50, 2);
    c.LineTo(58, 2);
    EXPECT_EQ(Pixel(c, 54, 3), 249u);
}

TEST(DibCanvas, CopyToImageFlipsRowsThroughTheColourTable)
{
    for (int bpp : { 8, 24 }) {
        TMMDIBCanvas c;
        c.SetBitsPerPixel(bpp);
        c.SetBounds(0, 0, 6, 4);
        c.BeginDraw();
        c.SetDrawColor(clBlue);
        c.DIBHLine(0, 6, 0); // top row
        c.SetDrawColor(clLime);
        c.DIBSetPixel(5, 3, c.MapColor(clLime));
        c.EndDraw();
        QImage img(10, 10, QImage::Format_RGB32);
        img.fill(qRgb(1, 2, 3));
        const TRect done = c.CopyToImage(img, 2, 1, 6, 4, 0, 0);
        EXPECT_EQ(done, Bounds(2, 1, 6, 4));
        EXPECT_EQ(img.pixel(2, 1), qRgb(0, 0, 255)) << bpp;
        EXPECT_EQ(img.pixel(7, 1), qRgb(0, 0, 255));
        EXPECT_EQ(img.pixel(7, 4), qRgb(0, 255, 0));
        EXPECT_EQ(img.pixel(3, 2), qRgb(0, 0, 0));
        EXPECT_EQ(img.pixel(1, 1), qRgb(1, 2, 3));
        // Clipped at both ends, pairs kept.
        QImage small(4, 4, QImage::Format_RGB32);
        small.fill(0);
        EXPECT_EQ(c.CopyToImage(small, -2, 1, 6, 4, 0, 0), Bounds(0, 1, 4, 3));
        EXPECT_EQ(small.pixel(3, 3), qRgb(0, 0, 0));
        EXPECT_EQ(small.pixel(0, 1), qRgb(0, 0, 255));
        EXPECT_EQ(c.CopyToImage(small, 0, 0, 3, 3, 4, 3), Bounds(0, 0, 2, 1));
        EXPECT_EQ(small.pixel(1, 0), qRgb(0, 255, 0));
    }
}

TEST(DibCanvas, NestedSessionsAndThreadsKeepTheirOwnState)
{
    TMMDIBCanvas a, b;
    a.SetBounds(0, 0, 4, 4);
    b.SetBounds(0, 0, 4, 4);
    a.BeginDraw();
    a.SetDrawColor(clRed);
    b.BeginDraw(); // nested on the same thread
    b.SetDrawColor(clBlue);
    b.DIBFillRect(Rect(0, 0, 4, 4));
    a.DIBFillRect(Rect(0, 0, 4, 4)); // not the canvas drawing now: nothing
    b.EndDraw();
    a.DIBFillRect(Rect(0, 0, 2, 2)); // the outer state is back
    a.EndDraw();
    EXPECT_EQ(Pixel(b, 3, 3), 252u);
    EXPECT_EQ(Pixel(a, 1, 1), 249u);
    EXPECT_EQ(Pixel(a, 3, 3), 0u);

    // Two threads drawing two canvases: each session sees only its own pixels.
    std::atomic<int> bad { 0 };
    auto worker = [&](TMMDIBCanvas& c, TColor colour) {
        for (int i = 0; i < 300; ++i) {
            TDIBDrawScope draw(c);
            const uint32_t v = c.SetDrawColor(colour);
            c.DIBFillRect(Rect(0, 0, 4, 4));
            c.DIBLine(0, 0, 3, 3);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    if (static_cast<uint32_t>(c.DIBGetPixel(x, y)) != v)
                        ++bad;
        }
    };
    std::thread t1(worker, std::ref(a), clAqua);
    std::thread t2(worker, std::ref(b), clYellow);
    t1.join();
    t2.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_TRUE(a.Idle());
    EXPECT_TRUE(b.Idle());
}
