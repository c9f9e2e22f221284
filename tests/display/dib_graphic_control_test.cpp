#include "display/dib_graphic_control.h"

#include <QCoreApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

using namespace qv;

namespace {

// A view that paints its frame and its picture the way the views do.
class View : public TMMDIBGraphicControl {
public:
    using TMMDIBGraphicControl::TMMDIBGraphicControl;
    int paints = 0;
    int redrawRequests = 0;

    // Draws a test picture into the surface: background, a red top row, a
    // lime bottom row and a blue column at x = 3.
    void DrawPicture()
    {
        TMMDIBCanvas& d = *DIBCanvas();
        TDIBDrawScope draw(d);
        DrawBackground();
        d.SetDrawColor(clRed);
        d.DIBHLine(0, d.Width(), 0);
        d.SetDrawColor(clLime);
        d.DIBHLine(0, d.Width(), d.Height() - 1);
        d.SetDrawColor(clBlue);
        d.DIBVLine(3, 1, d.Height() - 1);
    }
    void Present()
    {
        TMMDIBCanvas& d = *DIBCanvas();
        TDIBDrawScope draw(d);
        d.CopyToDC(Canvas(), 0, 0, d.Width(), d.Height(), 0, 0);
    }

protected:
    void Paint() override
    {
        ++paints;
        DrawPicture();
        Present();
    }
    void RedrawRequested() override { ++redrawRequests; }
};

struct Stage {
    TControl form;
    View view { nullptr };
    Stage(int bpp = 8)
    {
        form.SetBounds(0, 0, 60, 40);
        view.SetBitsPerPixel(bpp);
        view.SetBounds(10, 5, 20, 12);
        view.SetColor(clNavy);
        view.SetParent(&form);
    }
    ~Stage() { view.SetParent(nullptr); }
    // The control rendered anew (its paint handler, from the screen image).
    QImage Grab() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // What the window shows now (the backing store), cut to the control.
    QImage Screen()
    {
        return form.screen()
            ->grabWindow(form.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32)
            .copy(10, 5, 20, 12);
    }
};

bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 400 && !done(); ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(5);
    }
    return done();
}

} // namespace

TEST(DibGraphicControl, DrawPresentAndFindTheColoursAtFlippedRows)
{
    for (int bpp : { 8, 24 }) {
        Stage s(bpp);
        EXPECT_EQ(s.view.DIBCanvas()->Width(), 20); // the canvas covers the whole control
        EXPECT_EQ(s.view.DIBCanvas()->Height(), 12);
        EXPECT_TRUE(s.view.testAttribute(Qt::WA_OpaquePaintEvent));
        s.view.DrawPicture();
        // Picture row 0 is the last memory row of the surface.
        const TMMDIBCanvas& d = *s.view.DIBCanvas();
        const uint8_t* lastRow = d.Bits() + 11 * d.Stride();
        if (bpp == 8)
            EXPECT_EQ(lastRow[0], 249);
        else
            EXPECT_EQ(lastRow[2], 255); // red byte of a blue-green-red pixel
        s.view.PaintDirect(nullptr, [](TMMDIBGraphicControl* c, void*) { static_cast<View*>(c)->Present(); });
        const QImage img = s.Grab();
        EXPECT_EQ(img.pixel(0, 0), qRgb(255, 0, 0)) << bpp;
        EXPECT_EQ(img.pixel(19, 0), qRgb(255, 0, 0));
        EXPECT_EQ(img.pixel(0, 11), qRgb(0, 255, 0));
        EXPECT_EQ(img.pixel(3, 5), qRgb(0, 0, 255));
        EXPECT_EQ(img.pixel(10, 5), qRgb(0, 0, 128));
        EXPECT_EQ(s.view.ScreenImage().pixel(3, 5), qRgb(0, 0, 255));
    }
}

TEST(DibGraphicControl, PaintDirectRunsAtOnceAndOnlyWhenShownInAParent)
{
    Stage s;
    s.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.form));
    int calls = 0;
    s.view.PaintDirect(reinterpret_cast<void*>(42), [&](TMMDIBGraphicControl* c, void* arg) {
        EXPECT_EQ(c, &s.view);
        EXPECT_EQ(arg, reinterpret_cast<void*>(42));
        EXPECT_NE(c->Canvas()->Painter(), nullptr);
        ++calls;
        c->Canvas()->Brush().SetColor(clYellow);
        c->Canvas()->FillRect(Rect(2, 2, 6, 6));
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s.view.Canvas()->Painter(), nullptr);
    EXPECT_EQ(s.view.ScreenImage().pixel(3, 3), qRgb(255, 255, 0));
    // The window shows it at once, without running the event loop.
    EXPECT_EQ(s.Screen().pixel(5, 5), qRgb(255, 255, 0));
    EXPECT_EQ(s.Screen().pixel(2, 2), qRgb(255, 255, 0));

    s.view.SetVisible(false);
    s.view.PaintDirect(nullptr, [&](TMMDIBGraphicControl*, void*) { ++calls; });
    s.view.SetVisible(true);
    View orphan(nullptr);
    orphan.PaintDirect(nullptr, [&](TMMDIBGraphicControl*, void*) { ++calls; });
    EXPECT_EQ(calls, 1);

    // An exception leaves the canvas unbound and unlocked.
    EXPECT_THROW(s.view.PaintDirect(nullptr, [](TMMDIBGraphicControl*, void*) { throw Exception("boom"); }),
        Exception);
    EXPECT_EQ(s.view.Canvas()->Painter(), nullptr);
    EXPECT_TRUE(s.view.Canvas()->TryLock());
    s.view.Canvas()->Unlock();
    s.form.hide();
}

TEST(DibGraphicControl, AnotherThreadDrawsAtOnceAndTheScreenFollows)
{
    Stage s;
    s.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.form));
    QCoreApplication::processEvents();
    std::thread worker([&] {
        s.view.PaintDirect(nullptr, [](TMMDIBGraphicControl* c, void*) {
            TMMDIBCanvas& d = *c->DIBCanvas();
            TDIBDrawScope draw(d);
            d.SetDrawColor(clAqua);
            d.DIBFillRect(Rect(0, 0, 20, 12));
            d.CopyToDC(c->Canvas(), 0, 0, 20, 12, 0, 0);
        });
    });
    worker.join();
    // The surface and the screen image are drawn by the time PaintDirect returns.
    EXPECT_EQ(s.view.DIBCanvas()->Bits()[0], 254);
    EXPECT_EQ(s.view.ScreenImage().pixel(7, 7), qRgb(0, 255, 255));
    EXPECT_TRUE(WaitFor([&] { return s.Screen().pixel(7, 7) == qRgb(0, 255, 255); }));
    s.form.hide();
}

TEST(DibGraphicControl, ScrolledPresentationShowsTheShiftedImage)
{
    Stage s;
    s.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.form));
    s.view.PaintDirect(nullptr, [](TMMDIBGraphicControl* c, void*) {
        auto* v = static_cast<View*>(c);
        v->DrawPicture();
        v->Present();
    });
    EXPECT_EQ(s.Screen().pixel(3, 5), qRgb(0, 0, 255));
    // Move columns 1 .. 19 one to the left; column 19 keeps its pixels.
    s.view.ScrollScreen(-1, 0, Rect(0, 0, 20, 12));
    QCoreApplication::processEvents();
    QImage img = s.Screen();
    EXPECT_EQ(img, s.Grab());
    EXPECT_EQ(img.pixel(2, 5), qRgb(0, 0, 255)); // the blue column was at 3
    EXPECT_EQ(img.pixel(3, 5), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(19, 0), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(18, 11), qRgb(0, 255, 0));
    // A part of the image, and downwards.
    s.view.ScrollScreen(0, 2, Rect(0, 0, 5, 12));
    QCoreApplication::processEvents();
    img = s.Screen();
    EXPECT_EQ(img.pixel(0, 2), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 0, 0)); // uncovered rows keep their old pixels
    EXPECT_EQ(img.pixel(6, 2), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(2, 11), qRgb(0, 0, 255));
    s.form.hide();
}

TEST(DibGraphicControl, InvalidateRepaintsThroughPaint)
{
    Stage s;
    s.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.form));
    QCoreApplication::processEvents();
    const int before = s.view.paints;
    s.view.SetColor(clTeal);
    EXPECT_TRUE(WaitFor([&] { return s.view.paints > before; }));
    EXPECT_EQ(s.Screen().pixel(10, 5), qRgb(0, 128, 128));
    // A flush of a PaintDirect does not run Paint again.
    const int after = s.view.paints;
    s.view.PaintDirect(nullptr, [](TMMDIBGraphicControl* c, void*) { static_cast<View*>(c)->Present(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(s.view.paints, after);
    s.form.hide();
}

TEST(DibGraphicControl, BackgroundPropertiesAndDrawBackground)
{
    Stage s;
    QImage pic(1, 1, QImage::Format_RGB32);
    pic.setPixel(0, 0, qRgb(255, 0, 255));
    TBitmap bmp;

    s.view.SetUseBackGroundDIB(true); // no picture: stays off
    EXPECT_FALSE(s.view.UseBackGroundDIB());
    bmp.SetImage(pic);
    s.view.SetBackGroundDIB(&bmp);
    EXPECT_NE(s.view.BackGroundDIB(), &bmp);
    EXPECT_FALSE(s.view.BackGroundDIB()->Empty());
    EXPECT_EQ(s.view.DIBCanvas()->BackBits(), nullptr); // not used yet
    s.view.SetUseBackGroundDIB(true);
    EXPECT_TRUE(s.view.UseBackGroundDIB());
    EXPECT_TRUE(s.view.PaletteRealize());
    ASSERT_NE(s.view.DIBCanvas()->BackBits(), nullptr);
    s.view.DrawPicture();
    // The picture's colour took entry 10, the lowest index that has it.
    EXPECT_EQ(s.view.DIBCanvas()->PaletteEntries()[10].peBlue, 255);
    EXPECT_EQ(s.view.DIBCanvas()->Bits()[5 * s.view.DIBCanvas()->Stride() + 10], 10);
    s.view.SetUseBackGroundDIB(false);
    EXPECT_EQ(s.view.DIBCanvas()->BackBits(), nullptr);
    EXPECT_FALSE(s.view.PaletteRealize());
    s.view.DrawPicture();
    EXPECT_EQ(s.view.DIBCanvas()->Bits()[5 * s.view.DIBCanvas()->Stride() + 10], 4); // Color: navy

    // While loading the switch waits for Loaded.
    View loading(nullptr);
    loading.SetLoading(true);
    loading.SetBackGroundDIB(&bmp);
    loading.SetUseBackGroundDIB(true);
    EXPECT_FALSE(loading.UseBackGroundDIB());
    loading.Loaded();
    EXPECT_TRUE(loading.UseBackGroundDIB());
    EXPECT_NE(loading.DIBCanvas()->BackBits(), nullptr);

    s.view.SetPaletteMapped(true);
    EXPECT_TRUE(s.view.DIBCanvas()->PaletteMapped());
}

TEST(DibGraphicControl, ClassWideListAndRedrawMarks)
{
    View a(nullptr), b(nullptr), c(nullptr);
    const size_t base = TMMDIBGraphicControl::ControlList().size();
    a.AddToControlList();
    a.AddToControlList(); // once
    b.AddToControlList();
    c.AddToControlList();
    EXPECT_EQ(TMMDIBGraphicControl::ControlList().size(), base + 3);
    a.MarkOthersForRedraw();
    EXPECT_EQ(a.redrawRequests, 0);
    EXPECT_EQ(b.redrawRequests, 1);
    EXPECT_EQ(c.redrawRequests, 1);
    c.RemoveFromControlList();
    a.MarkOthersForRedraw();
    EXPECT_EQ(c.redrawRequests, 1);
    {
        View d(nullptr);
        d.AddToControlList();
    } // leaves the list as it goes
    EXPECT_EQ(TMMDIBGraphicControl::ControlList().size(), base + 2);
    a.RemoveFromControlList();
    b.RemoveFromControlList();
}
