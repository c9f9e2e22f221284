#include "display/bevel.h"

#include <algorithm>

namespace qv {

void DrawBevelRings(TCanvas& Canvas, TRect& R, TColor TopLeft, TColor BottomRight, int32_t Width)
{
    if (Width <= 0)
        return;
    Canvas.Pen().SetWidth(1);
    --R.Bottom;
    --R.Right;
    for (int32_t i = 0; i < Width; ++i) {
        Canvas.Pen().SetColor(TopLeft);
        const TPoint tl[3] = { { R.Left, R.Bottom }, { R.Left, R.Top }, { R.Right, R.Top } };
        Canvas.Polyline(tl, 3);
        Canvas.Pen().SetColor(BottomRight);
        const TPoint br[3] = { { R.Right, R.Top }, { R.Right, R.Bottom }, { R.Left - 1, R.Bottom } };
        Canvas.Polyline(br, 3);
        R = InflateRect(R, -1, -1);
    }
    ++R.Bottom;
    ++R.Right;
}

TMMBevel::TMMBevel()
    : FColors { clBtnFace, clBlack, clBtnHighlight, clBtnShadow, clBtnHighlight, clBtnShadow }
{
}

void TMMBevel::SetBevelInner(TBevelCut v)
{
    if (v == FBevelInner)
        return;
    FBevelInner = v;
    Changed();
}

void TMMBevel::SetBevelOuter(TBevelCut v)
{
    if (v == FBevelOuter)
        return;
    FBevelOuter = v;
    Changed();
}

void TMMBevel::SetBevelInnerWidth(int32_t v)
{
    v = std::max<int32_t>(v, 1);
    if (v == FBevelInnerWidth)
        return;
    FBevelInnerWidth = v;
    Changed();
}

void TMMBevel::SetBevelOuterWidth(int32_t v)
{
    v = std::max<int32_t>(v, 1);
    if (v == FBevelOuterWidth)
        return;
    FBevelOuterWidth = v;
    Changed();
}

void TMMBevel::SetBorderStyle(TBorderStyle v)
{
    if (v == FBorderStyle)
        return;
    FBorderStyle = v;
    Changed();
}

void TMMBevel::SetBorderWidth(int32_t v)
{
    v = std::max<int32_t>(v, 0);
    if (v == FBorderWidth)
        return;
    FBorderWidth = v;
    Changed();
}

void TMMBevel::SetBorderSpace(int32_t v)
{
    v = std::max<int32_t>(v, 0);
    if (v == FBorderSpace)
        return;
    FBorderSpace = v;
    Changed();
}

TColor TMMBevel::Colors(int32_t Index) const
{
    if (Index < 0 || Index > 5)
        return 0;
    return FColors[Index];
}

void TMMBevel::SetColors(int32_t Index, TColor Value)
{
    if (Index < 0 || Index > 5 || FColors[Index] == Value)
        return;
    FColors[Index] = Value;
    Changed();
}

void TMMBevel::Assign(const TMMObject* Source)
{
    const auto* b = qobject_cast<const TMMBevel*>(Source);
    if (!b || b == this) {
        TMMObject::Assign(Source);
        return;
    }
    BeginUpdate();
    try {
        SetBevelInner(b->FBevelInner);
        SetBevelOuter(b->FBevelOuter);
        SetBevelInnerWidth(b->FBevelInnerWidth);
        SetBevelOuterWidth(b->FBevelOuterWidth);
        SetBorderStyle(b->FBorderStyle);
        SetBorderWidth(b->FBorderWidth);
        SetBorderSpace(b->FBorderSpace);
        SetBorderColor(b->BorderColor());
        SetBorderSpaceColor(b->BorderSpaceColor());
        SetOuterLightColor(b->OuterLightColor());
        SetOuterShadowColor(b->OuterShadowColor());
        SetInnerLightColor(b->InnerLightColor());
        SetInnerShadowColor(b->InnerShadowColor());
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int32_t TMMBevel::BevelExtent() const
{
    int32_t e = FBorderWidth + FBorderSpace;
    if (FBevelOuter != bvNone)
        e += FBevelOuterWidth;
    if (FBevelInner != bvNone)
        e += FBevelInnerWidth;
    if (FBorderStyle != bsNone)
        e += 1;
    return e;
}

void TMMBevel::PaintBevel(TCanvas& Canvas, const TRect& Rect, TRect& Inner, bool DrawBorder)
{
    TRect r = Rect;
    if (FBorderStyle == bsSingle)
        DrawBevelRings(Canvas, r, clWindowFrame, clWindowFrame, 1);
    if (FBevelOuter == bvLowered)
        DrawBevelRings(Canvas, r, OuterShadowColor(), OuterLightColor(), FBevelOuterWidth);
    else if (FBevelOuter == bvRaised)
        DrawBevelRings(Canvas, r, OuterLightColor(), OuterShadowColor(), FBevelOuterWidth);
    if (DrawBorder)
        DrawBevelRings(Canvas, r, BorderColor(), BorderColor(), FBorderWidth);
    else
        r = InflateRect(r, -FBorderWidth, -FBorderWidth);
    if (FBevelInner == bvLowered)
        DrawBevelRings(Canvas, r, InnerShadowColor(), InnerLightColor(), FBevelInnerWidth);
    else if (FBevelInner == bvRaised)
        DrawBevelRings(Canvas, r, InnerLightColor(), InnerShadowColor(), FBevelInnerWidth);
    if (FBorderSpace != 0)
        DrawBevelRings(Canvas, r, BorderSpaceColor(), BorderSpaceColor(), FBorderSpace);
    Inner = r;
}

} // namespace qv
