#include "display/visual_bases.h"

#include <QCoreApplication>
#include <QImage>
#include <QVariant>
#include <gtest/gtest.h>

using namespace qv;

namespace {

const QRgb kShadow = qRgb(128, 128, 128);
const QRgb kHighlight = qRgb(255, 255, 255);

// A white form holding one control at (5, 5).
struct Stage {
    TControl form;
    Stage()
    {
        form.SetBounds(0, 0, 80, 60);
        form.SetColor(clWhite);
    }
    QImage Grab() { return form.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

class CountingGraphic : public TMMGraphicControl {
public:
    using TMMGraphicControl::TMMGraphicControl;
    int paints = 0;

protected:
    void Paint() override
    {
        ++paints;
        TMMGraphicControl::Paint();
    }
};

} // namespace

TEST(VisualBases, GraphicControlPaintsBevelThenItsColour)
{
    Stage s;
    CountingGraphic g(nullptr);
    g.SetBounds(5, 5, 20, 10);
    g.SetParent(&s.form);
    g.SetColor(clNavy);
    EXPECT_TRUE(g.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(g.GetBevelRect(), Rect(1, 1, 19, 9));
    QImage img = s.Grab();
    EXPECT_EQ(img.pixel(5, 5), kShadow);
    EXPECT_EQ(img.pixel(24, 5), kHighlight);
    EXPECT_EQ(img.pixel(5, 14), kHighlight);
    EXPECT_EQ(img.pixel(6, 6), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(23, 13), qRgb(0, 0, 128));

    // A space bevel: the colour fills its band.
    g.Bevel()->SetBevelOuter(bvSpace);
    g.Bevel()->SetBevelOuterWidth(3);
    EXPECT_EQ(g.BevelExtent(), 3);
    EXPECT_EQ(g.GetBevelRect(), Rect(3, 3, 17, 7));
    img = s.Grab();
    EXPECT_EQ(img.pixel(5, 5), qRgb(0, 0, 128));

    // Assigning a bevel copies it, never shares it.
    TMMBevel other;
    other.SetBorderStyle(bsSingle);
    g.SetBevel(&other);
    EXPECT_NE(g.Bevel(), &other);
    EXPECT_EQ(g.Bevel()->BorderStyle(), bsSingle);
    EXPECT_EQ(g.Bevel()->BevelOuter(), bvLowered);
    g.SetBevel(g.Bevel()); // its own bevel: nothing happens
    img = s.Grab();
    EXPECT_EQ(img.pixel(5, 5), qRgb(0, 0, 0)); // the single frame
    EXPECT_EQ(img.pixel(6, 6), kShadow);

    // A transparent control leaves its inside to what lies behind.
    g.SetTransparent(true);
    EXPECT_FALSE(g.testAttribute(Qt::WA_OpaquePaintEvent));
    img = s.Grab();
    EXPECT_NE(img.pixel(12, 9), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(12, 9), img.pixel(40, 40)); // the form's own background
    g.SetParent(nullptr);
}

TEST(VisualBases, CustomControlPaintsLikeTheGraphicOne)
{
    Stage s;
    TMMCustomControl c(nullptr);
    c.SetBounds(5, 5, 10, 8);
    c.SetParent(&s.form);
    c.SetColor(clMaroon);
    c.Bevel()->SetBevelOuter(bvRaised);
    EXPECT_EQ(c.GetBevelRect(), Rect(1, 1, 9, 7));
    const QImage img = s.Grab();
    EXPECT_EQ(img.pixel(5, 5), kHighlight);
    EXPECT_EQ(img.pixel(14, 5), kShadow);
    EXPECT_EQ(img.pixel(8, 8), qRgb(128, 0, 0));
    c.SetParent(nullptr);
}

TEST(VisualBases, PanelAlignsInsideItsBevelAndRealignsOnChange)
{
    TMMCustomPanel p(nullptr);
    EXPECT_EQ(p.Width(), 185);
    EXPECT_EQ(p.Height(), 41);
    EXPECT_EQ(p.Color(), clBtnFace);
    EXPECT_EQ(p.Alignment(), taCenter);
    p.SetBounds(0, 0, 100, 50);
    TControl child(nullptr);
    child.SetParent(&p);
    child.SetAlign(alClient);
    EXPECT_EQ(child.BoundsRect(), Rect(1, 1, 99, 49));
    p.Bevel()->SetBorderWidth(4); // the bevel's notice realigns
    EXPECT_EQ(child.BoundsRect(), Rect(5, 5, 95, 45));
    auto* bevel = p.property("Bevel").value<TMMBevel*>();
    ASSERT_EQ(bevel, p.Bevel());
    bevel->setProperty("BevelOuter", QVariant::fromValue(bvNone));
    EXPECT_EQ(child.BoundsRect(), Rect(4, 4, 96, 46));
    child.SetParent(nullptr);
}

TEST(VisualBases, PanelPaintingCaptionAndHandlers)
{
    Stage s;
    TMMCustomPanel p(nullptr);
    p.SetBounds(5, 5, 60, 30);
    p.SetParent(&s.form);
    p.SetColor(clBlack);
    p.Bevel()->SetBorderWidth(2);
    p.Bevel()->SetBorderColor(clRed);
    QImage img = s.Grab();
    EXPECT_EQ(img.pixel(5, 5), kShadow);
    EXPECT_EQ(img.pixel(6, 6), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(7, 7), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(8, 8), qRgb(0, 0, 0));

    // Without the border the band is left as it was, and the inside still
    // starts inside it.
    p.SetDrawBorder(false);
    TRect seen;
    p.OnPaintBackground = [&](TComponent* sender, TCanvas* c, const TRect& r) {
        EXPECT_EQ(sender, &p);
        seen = r;
        c->Brush().SetColor(clLime);
        c->FillRect(r);
    };
    img = s.Grab();
    EXPECT_EQ(seen, Rect(3, 3, 57, 27));
    EXPECT_EQ(img.pixel(9, 9), qRgb(0, 255, 0));
    EXPECT_NE(img.pixel(6, 6), qRgb(255, 0, 0));

    // The caption: text-height band centred vertically, aligned as asked.
    p.OnPaintBackground = nullptr;
    p.SetDrawBorder(true);
    p.Font()->SetColor(clYellow);
    p.SetCaption(QStringLiteral("W"));
    auto yellowColumns = [&](const QImage& im) {
        int minX = 1000, maxX = -1;
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x)
                if (x > 8 && x < 62 && y > 8 && y < 32 && im.pixel(x, y) != qRgb(0, 0, 0)) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                }
        return std::make_pair(minX, maxX);
    };
    auto centred = yellowColumns(s.Grab());
    ASSERT_GE(centred.second, 0);
    EXPECT_NEAR((centred.first + centred.second) / 2.0, 5 + 30, 3.0);
    p.SetAlignment(taLeftJustify);
    auto left = yellowColumns(s.Grab());
    EXPECT_LT(left.first, centred.first);
    EXPECT_LE(left.first, 5 + 3 + 2);
    p.SetAlignment(taRightJustify);
    auto right = yellowColumns(s.Grab());
    EXPECT_GT(right.second, centred.second);
    EXPECT_GE(right.second, 5 + 57 - 4);

    // A paint handler replaces all painting.
    int calls = 0;
    p.OnPaint = [&](TComponent*) {
        ++calls;
        p.Canvas()->Brush().SetColor(clBlue);
        p.Canvas()->FillRect(p.ClientRect());
    };
    img = s.Grab();
    EXPECT_GE(calls, 1);
    EXPECT_EQ(img.pixel(5, 5), qRgb(0, 0, 255));
    p.SetParent(nullptr);
}

TEST(VisualBases, BevelChangesRepaintAndStopAtDestruction)
{
    Stage s;
    auto* g = new CountingGraphic(nullptr);
    g->SetBounds(0, 0, 10, 10);
    g->SetParent(&s.form);
    s.form.show();
    QCoreApplication::processEvents();
    const int before = g->paints;
    g->Bevel()->SetBevelInner(bvRaised);
    for (int i = 0; i < 100 && g->paints == before; ++i)
        QCoreApplication::processEvents();
    EXPECT_GT(g->paints, before);
    TMMBevel* bevel = g->Bevel();
    delete g; // detaches from its bevel before freeing it
    (void)bevel;
    s.form.hide();
}
