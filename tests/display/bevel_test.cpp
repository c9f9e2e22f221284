#include "display/bevel.h"

#include <QImage>
#include <QVariant>
#include <gtest/gtest.h>
#include <string>

#include "framework/exceptions.h"

using namespace qv;

namespace {

const QRgb kShadow = qRgb(128, 128, 128); // clBtnShadow
const QRgb kHighlight = qRgb(255, 255, 255); // clBtnHighlight
const QRgb kFrame = qRgb(0, 0, 0); // clWindowFrame
const QRgb kBlank = qRgb(1, 2, 3);

QImage Paint(TMMBevel& b, int w, int h, TRect& inner, bool drawBorder = true)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kBlank);
    TCanvas c;
    c.AttachDevice(&img);
    b.PaintBevel(c, Rect(0, 0, w, h), inner, drawBorder);
    c.Detach();
    return img;
}

} // namespace

TEST(Bevel, ExtentCountsEveryRing)
{
    TMMBevel b;
    EXPECT_EQ(b.BevelExtent(), 1); // the lowered outer bevel
    EXPECT_EQ(b.BevelInner(), bvNone);
    EXPECT_EQ(b.BevelOuter(), bvLowered);
    EXPECT_EQ(b.BorderColor(), clBtnFace);
    EXPECT_EQ(b.BorderSpaceColor(), clBlack);
    EXPECT_EQ(b.Colors(bcInnerLightColor), clBtnHighlight);
    EXPECT_EQ(b.Colors(bcOuterShadowColor), clBtnShadow);
    b.SetBorderStyle(bsSingle);
    EXPECT_EQ(b.BevelExtent(), 2);
    b.SetBorderStyle(bsNone);
    b.SetBevelOuter(bvSpace);
    b.SetBevelOuterWidth(3);
    EXPECT_EQ(b.BevelExtent(), 3);
    b.SetBevelInner(bvRaised);
    b.SetBevelInnerWidth(2);
    b.SetBorderWidth(4);
    b.SetBorderSpace(1);
    EXPECT_EQ(b.BevelExtent(), 3 + 2 + 4 + 1);
    b.SetBevelOuter(bvNone);
    EXPECT_EQ(b.BevelExtent(), 2 + 4 + 1);
    // Widths keep their ranges.
    b.SetBevelInnerWidth(0);
    EXPECT_EQ(b.BevelInnerWidth(), 1);
    b.SetBorderWidth(-3);
    EXPECT_EQ(b.BorderWidth(), 0);
}

TEST(Bevel, FreshBevelPaintsOneLoweredRing)
{
    TMMBevel b;
    TRect inner;
    const QImage img = Paint(b, 6, 5, inner);
    EXPECT_EQ(inner, Rect(1, 1, 5, 4));
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(img.pixel(x, 0), kShadow) << x; // top row, but its right end
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(img.pixel(0, y), kShadow) << y; // left column, but its bottom end
    EXPECT_EQ(img.pixel(5, 0), kHighlight); // top-right corner
    EXPECT_EQ(img.pixel(0, 4), kHighlight); // bottom-left corner
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(img.pixel(5, y), kHighlight);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(img.pixel(x, 4), kHighlight);
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 5; ++x)
            EXPECT_EQ(img.pixel(x, y), kBlank);
}

TEST(Bevel, RingsInOrderAndTheBorderBand)
{
    TMMBevel b;
    b.SetBorderStyle(bsSingle);
    b.SetBevelOuter(bvRaised);
    b.SetBevelOuterWidth(2);
    b.SetBorderWidth(1);
    b.SetBorderColor(clRed);
    b.SetBevelInner(bvLowered);
    b.SetInnerShadowColor(clNavy);
    b.SetInnerLightColor(clYellow);
    b.SetBorderSpace(1);
    b.SetBorderSpaceColor(clLime);
    EXPECT_EQ(b.BevelExtent(), 1 + 2 + 1 + 1 + 1);
    TRect inner;
    const QImage img = Paint(b, 20, 16, inner);
    EXPECT_EQ(inner, Rect(6, 6, 14, 10));
    // Along the top-left diagonal: frame, raised outer (light) x2, border,
    // lowered inner (shadow), spacing.
    EXPECT_EQ(img.pixel(0, 0), kFrame);
    EXPECT_EQ(img.pixel(1, 1), kHighlight);
    EXPECT_EQ(img.pixel(2, 2), kHighlight);
    EXPECT_EQ(img.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(4, 4), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(5, 5), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(6, 6), kBlank);
    // Along the bottom-right diagonal: frame, outer shadow x2, border, inner light, spacing.
    EXPECT_EQ(img.pixel(19, 15), kFrame);
    EXPECT_EQ(img.pixel(18, 14), kShadow);
    EXPECT_EQ(img.pixel(17, 13), kShadow);
    EXPECT_EQ(img.pixel(16, 12), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(15, 11), qRgb(255, 255, 0));
    EXPECT_EQ(img.pixel(14, 10), qRgb(0, 255, 0));

    // Without DrawBorder the border band stays unpainted but is still taken off.
    TRect inner2;
    const QImage img2 = Paint(b, 20, 16, inner2, false);
    EXPECT_EQ(inner2, inner);
    EXPECT_EQ(img2.pixel(3, 3), kBlank);
    EXPECT_EQ(img2.pixel(10, 3), kBlank);
    EXPECT_EQ(img2.pixel(4, 4), qRgb(0, 0, 128));

    // A space bevel neither draws nor shrinks.
    TMMBevel s;
    s.SetBevelOuter(bvSpace);
    s.SetBevelOuterWidth(3);
    TRect inner3;
    const QImage img3 = Paint(s, 10, 10, inner3);
    EXPECT_EQ(inner3, Rect(0, 0, 10, 10));
    EXPECT_EQ(img3.pixel(0, 0), kBlank);
}

TEST(Bevel, AssignCopiesEverythingWithOneNotice)
{
    TMMBevel src;
    src.SetBevelInner(bvRaised);
    src.SetBevelOuter(bvRaised);
    src.SetBevelInnerWidth(2);
    src.SetBevelOuterWidth(3);
    src.SetBorderStyle(bsSingle);
    src.SetBorderWidth(4);
    src.SetBorderSpace(5);
    src.SetBorderColor(clRed);
    src.SetBorderSpaceColor(clLime);
    src.SetOuterLightColor(clYellow);
    src.SetOuterShadowColor(clNavy);
    src.SetInnerLightColor(clAqua);
    src.SetInnerShadowColor(clTeal);

    TMMBevel dst;
    int notices = 0;
    dst.OnChange = [&](TMMObject* sender) {
        EXPECT_EQ(sender, &dst);
        ++notices;
    };
    dst.Assign(&src);
    EXPECT_EQ(notices, 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dst.Colors(i), src.Colors(i)) << i;
    EXPECT_EQ(dst.BevelExtent(), src.BevelExtent());
    EXPECT_EQ(dst.BevelInnerWidth(), 2);
    dst.Assign(&src); // the batch's end tells the owner even when nothing differs
    EXPECT_EQ(notices, 2);
    dst.SetBorderWidth(4); // an equal value: no notice
    EXPECT_EQ(notices, 2);
    dst.SetBorderWidth(6);
    EXPECT_EQ(notices, 3);

    // Batches nest; the owner hears once at the end.
    dst.BeginUpdate();
    dst.BeginUpdate();
    dst.SetBorderWidth(7);
    dst.SetBorderSpace(8);
    dst.EndUpdate();
    EXPECT_EQ(notices, 3);
    dst.EndUpdate();
    EXPECT_EQ(notices, 4);

    // Any other source, the bevel itself included, is a conversion error.
    try {
        dst.Assign(&dst);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TMMBevel to a TMMBevel");
    }
    TMMObject other;
    EXPECT_THROW(dst.Assign(&other), EConvertError);
    EXPECT_THROW(dst.Assign(nullptr), EConvertError);
    EXPECT_EQ(notices, 4);
}

TEST(Bevel, PropertiesAreSetByName)
{
    TMMBevel b;
    EXPECT_TRUE(b.setProperty("BevelOuter", QVariant::fromValue(bvRaised)));
    EXPECT_TRUE(b.setProperty("BorderWidth", 3));
    EXPECT_TRUE(b.setProperty("OuterLightColor", QVariant::fromValue<TColor>(clAqua)));
    EXPECT_EQ(b.BevelOuter(), bvRaised);
    EXPECT_EQ(b.BorderWidth(), 3);
    EXPECT_EQ(b.OuterLightColor(), clAqua);
}
