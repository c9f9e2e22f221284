#include "framework/canvas.h"
#include "framework/exceptions.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QVariant>
#include <gtest/gtest.h>
#include <set>
#include <utility>

using namespace qv;

namespace {

// A white RGB32 image with a canvas bound to it.
struct Surface {
    QImage image;
    TCanvas canvas;
    explicit Surface(int w = 16, int h = 12)
        : image(w, h, QImage::Format_RGB32)
    {
        image.fill(Qt::white);
        canvas.AttachDevice(&image);
    }
    QImage Done()
    {
        canvas.Detach();
        return image;
    }
};

std::set<std::pair<int, int>> PixelsOf(const QImage& img, QRgb color)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == color)
                out.insert({ x, y });
    return out;
}

std::set<std::pair<int, int>> NotWhite(const QImage& img)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                out.insert({ x, y });
    return out;
}

using Px = std::set<std::pair<int, int>>;

} // namespace

TEST(Canvas, LineToLeavesOutTheSecondPointInEitherDirection)
{
    auto line = [](int x1, int y1, int x2, int y2) {
        Surface s;
        s.canvas.MoveTo(x1, y1);
        s.canvas.LineTo(x2, y2);
        EXPECT_EQ(s.canvas.PenPos(), Point(x2, y2));
        return NotWhite(s.Done());
    };
    auto box = [](int x1, int x2, int y1, int y2) {
        Px out;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                out.insert({ x, y });
        return out;
    };
    EXPECT_EQ(line(0, 0, 10, 0), box(0, 9, 0, 0));
    EXPECT_EQ(line(10, 0, 0, 0), box(1, 10, 0, 0)); // drawn from 10 down to 1
    EXPECT_EQ(line(3, 8, 3, 2), box(3, 3, 3, 8)); // rows 8 up to 3
    EXPECT_EQ(line(0, 0, 4, 2), (Px { { 0, 0 }, { 1, 1 }, { 2, 1 }, { 3, 2 } }));
    EXPECT_EQ(line(4, 2, 0, 0), (Px { { 4, 2 }, { 3, 1 }, { 2, 1 }, { 1, 0 } })); // walked from the other end
    EXPECT_EQ(line(5, 5, 5, 5), Px {});
    EXPECT_EQ(line(2, 9, 6, 5), (Px { { 2, 9 }, { 3, 8 }, { 4, 7 }, { 5, 6 } }));
}

TEST(Canvas, PolylineRingGivesBottomRightColourToTwoCorners)
{
    // One ring as the bevel draws it: (L, B) -> (L, T) -> (R, T) in the light
    // colour, (R, T) -> (R, B) -> (L - 1, B) in the dark one.
    Surface s(8, 6);
    const TPoint a[] = { { 1, 4 }, { 1, 1 }, { 6, 1 } };
    const TPoint b[] = { { 6, 1 }, { 6, 4 }, { 0, 4 } };
    s.canvas.Pen().SetColor(clRed);
    s.canvas.Polyline(a, 3);
    s.canvas.Pen().SetColor(clBlue);
    s.canvas.Polyline(b, 3);
    const QImage img = s.Done();
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    EXPECT_EQ(img.pixel(1, 1), red); // top-left
    EXPECT_EQ(img.pixel(6, 1), blue); // top-right
    EXPECT_EQ(img.pixel(1, 4), blue); // bottom-left
    EXPECT_EQ(img.pixel(6, 4), blue); // bottom-right
    EXPECT_EQ(img.pixel(5, 1), red);
    EXPECT_EQ(img.pixel(1, 2), red);
    EXPECT_EQ(img.pixel(0, 4), qRgb(255, 255, 255)); // the last point is left out
    EXPECT_EQ(NotWhite(img).size(), 16u);
}

TEST(Canvas, RectanglesFillsAndFrames)
{
    {
        Surface s;
        s.canvas.Pen().SetColor(clBlack);
        s.canvas.Brush().SetColor(clLime);
        s.canvas.Rectangle(2, 2, 7, 6);
        const QImage img = s.Done();
        EXPECT_EQ(PixelsOf(img, qRgb(0, 0, 0)).size(), 5u * 2 + 2u * 2); // a 5 x 4 frame
        EXPECT_EQ(PixelsOf(img, qRgb(0, 255, 0)),
            (Px { { 3, 3 }, { 4, 3 }, { 5, 3 }, { 3, 4 }, { 4, 4 }, { 5, 4 } }));
        EXPECT_EQ(img.pixel(6, 5), qRgb(0, 0, 0));
        EXPECT_EQ(img.pixel(7, 6), qRgb(255, 255, 255));
    }
    {
        // No pen: the classic rectangle loses its right column and bottom row.
        Surface s;
        s.canvas.Pen().SetStyle(psClear);
        s.canvas.Brush().SetColor(clRed);
        s.canvas.Rectangle(1, 1, 4, 3);
        EXPECT_EQ(NotWhite(s.Done()), (Px { { 1, 1 }, { 2, 1 } }));
    }
    {
        Surface s;
        s.canvas.Brush().SetColor(clNavy);
        s.canvas.FillRect(Rect(1, 2, 4, 4));
        s.canvas.Brush().SetColor(clRed);
        s.canvas.FrameRect(Rect(6, 6, 9, 9));
        s.canvas.Brush().SetStyle(bsClear);
        s.canvas.FillRect(Rect(0, 0, 16, 12)); // a clear brush fills nothing
        const QImage img = s.Done();
        EXPECT_EQ(PixelsOf(img, qRgb(0, 0, 128)).size(), 6u);
        EXPECT_EQ(PixelsOf(img, qRgb(255, 0, 0)).size(), 8u);
        EXPECT_EQ(img.pixel(7, 7), qRgb(255, 255, 255));
        EXPECT_EQ(s.canvas.UpdateRect(), Rect(1, 2, 9, 9));
    }
}

TEST(Canvas, DottedPenFollowsTheCosmeticPattern)
{
    Surface s(24, 2);
    s.canvas.Pen().SetStyle(psDot);
    s.canvas.MoveTo(0, 0);
    s.canvas.LineTo(20, 0);
    const QImage img = s.Done();
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(img.pixel(x, 0) != qRgb(255, 255, 255), (x % 6) < 3) << x;
    EXPECT_EQ(img.pixel(20, 0), qRgb(255, 255, 255));
}

TEST(Canvas, SystemColoursAreResolved)
{
    Surface s(4, 4);
    s.canvas.Brush().SetColor(clBtnFace);
    s.canvas.FillRect(Rect(0, 0, 4, 4));
    EXPECT_EQ(s.Done().pixel(2, 2), qRgb(192, 192, 192));
    EXPECT_EQ(ToQColor(clBtnShadow), QColor(128, 128, 128));
}

TEST(Canvas, DrawTextAlignsLikeTextOutAtTheComputedPlace)
{
    const QString text = QStringLiteral("Hz 42");
    auto render = [&](auto&& draw) {
        Surface s(120, 40);
        s.canvas.Font().SetColor(clBlack);
        s.canvas.Brush().SetStyle(bsClear);
        draw(s.canvas);
        return s.Done();
    };
    TCanvas probe;
    probe.Font().SetColor(clBlack);
    const int w = probe.TextWidth(text), h = probe.TextHeight(text);
    ASSERT_GT(w, 10);
    ASSERT_GT(h, 5);
    const TRect box = Rect(10, 4, 110, 36);

    const QImage centred = render([&](TCanvas& c) {
        TRect r = box;
        c.DrawText(text, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    });
    const QImage placed = render([&](TCanvas& c) { c.TextOut(10 + (100 - w) / 2, 4 + (32 - h) / 2, text); });
    EXPECT_EQ(centred, placed);
    EXPECT_FALSE(NotWhite(centred).empty());

    const QImage right = render([&](TCanvas& c) {
        TRect r = box;
        c.DrawText(text, r, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    });
    EXPECT_EQ(right, render([&](TCanvas& c) { c.TextOut(110 - w, 36 - h, text); }));

    // Prefixes: "&&" is one ampersand, "&x" shows x.
    const QImage prefixed = render([&](TCanvas& c) {
        TRect r = box;
        c.DrawText(QStringLiteral("&Hz &&"), r, DT_LEFT);
    });
    EXPECT_EQ(prefixed, render([&](TCanvas& c) { c.TextOut(10, 4, QStringLiteral("Hz &")); }));

    TRect calc = Rect(5, 5, 6, 6);
    EXPECT_EQ(probe.DrawText(QStringLiteral("ab\ncd"), calc, DT_CALCRECT), 2 * h);
    EXPECT_EQ(calc.Bottom, 5 + 2 * h);
    EXPECT_EQ(calc.Right, 5 + std::max(probe.TextWidth("ab"), probe.TextWidth("cd")));

    TRect tabs = Rect(0, 0, 1, 1);
    probe.DrawText(QStringLiteral("a\tb"), tabs, DT_CALCRECT | DT_EXPANDTABS | DT_SINGLELINE);
    EXPECT_GE(tabs.Right, 8 * QFontMetrics(probe.Font().ToQFont()).averageCharWidth());
}

TEST(Canvas, TextBackgroundFollowsTheBrushAndTurnedTextReadsUpwards)
{
    TCanvas probe;
    const QString t = QStringLiteral("MMM");
    const int w = probe.TextWidth(t), h = probe.TextHeight(t);
    {
        Surface s(60, 30);
        s.canvas.Brush().SetColor(clYellow);
        s.canvas.Font().SetColor(clBlue);
        s.canvas.TextOut(2, 3, t);
        const QImage img = s.Done();
        EXPECT_EQ(img.pixel(2, 3), qRgb(255, 255, 0)); // the cell's corner is background
        EXPECT_EQ(img.pixel(2 + w, 3), qRgb(255, 255, 255));
        EXPECT_EQ(img.pixel(1 + w, 2 + h), qRgb(255, 255, 0));
        EXPECT_EQ(img.pixel(1 + w, 3 + h), qRgb(255, 255, 255));
        EXPECT_FALSE(PixelsOf(img, qRgb(0, 0, 255)).empty());
        EXPECT_EQ(s.canvas.PenPos(), Point(2 + w, 3));
    }
    {
        Surface s(40, 60);
        s.canvas.Brush().SetStyle(bsClear);
        s.canvas.Font().SetOrientation(900);
        s.canvas.TextOut(10, 50, t);
        const auto ink = NotWhite(s.Done());
        ASSERT_FALSE(ink.empty());
        for (auto [x, y] : ink) {
            EXPECT_GE(x, 10);
            EXPECT_LT(x, 10 + h);
            EXPECT_GE(y, 50 - w - 1);
            EXPECT_LE(y, 50);
        }
    }
}

TEST(Canvas, DrawingWithoutAHandleIsRefused)
{
    TCanvas c;
    EXPECT_FALSE(c.HandleAllocated());
    EXPECT_THROW(c.LineTo(3, 3), Exception);
    EXPECT_GT(c.TextWidth("abc"), 0); // measuring needs no handle
}

TEST(Font, SizeHeightAndFaceMapping)
{
    TFont f;
    int changes = 0;
    f.OnChange = [&](TFont*) { ++changes; };
    EXPECT_EQ(f.Height(), -11);
    EXPECT_EQ(f.Size(), 8); // 11 * 72 / 96 = 8.25
    f.SetSize(10);
    EXPECT_EQ(f.Height(), -13); // 10 * 96 / 72 = 13.33
    f.SetHeight(-13);
    EXPECT_EQ(changes, 1);
    TFont g;
    g.SetName("ARIAL");
    g.SetStyle(FontStyles({ fsBold, fsItalic }));
    g.SetColor(clAqua);
    f.Assign(g);
    EXPECT_EQ(changes, 2); // one notice for the whole copy
    EXPECT_TRUE(f.SameAs(g));
    EXPECT_EQ(TFont::MapFaceName("MS Sans Serif"), "Liberation Sans");
    EXPECT_TRUE(f.ToQFont().bold());
    EXPECT_EQ(f.ToQFont().pixelSize(), 11);
    // A positive height is the cell height.
    g.SetHeight(10);
    EXPECT_NEAR(QFontMetrics(g.ToQFont()).height(), 10, 1);
    EXPECT_EQ(f.setProperty("Color", QVariant::fromValue<TColor>(clRed)), true);
    EXPECT_EQ(f.Color(), clRed);
}
