#include "display/visual_bases.h"

namespace qv {

namespace {
// Text-height of "W" centred band, as the panel lays out its caption.
TRect CaptionBand(TCanvas& c, TRect r)
{
    const int32_t h = c.TextHeight(QStringLiteral("W"));
    r.Top = (r.Top + r.Bottom - h) / 2;
    r.Bottom = r.Top + h;
    return r;
}
} // namespace

// ---- TMMGraphicControl ------------------------------------------------------

TMMGraphicControl::TMMGraphicControl(TComponent* AOwner)
    : TControl(AOwner)
{
    FBevel = std::make_unique<TMMBevel>();
    FBevel->setObjectName(QStringLiteral("Bevel"));
    FBevel->OnChange = [this](TMMObject*) { BevelChanged(); };
    SetOpaque(true);
}

TMMGraphicControl::~TMMGraphicControl()
{
    // No notice may reach a control that is going away.
    FBevel->OnChange = nullptr;
}

void TMMGraphicControl::SetBevel(TMMBevel* Value)
{
    if (Value && Value != FBevel.get())
        FBevel->Assign(Value);
}

TRect TMMGraphicControl::GetBevelRect() const
{
    const int32_t e = BevelExtent();
    return Rect(e, e, Width() - e, Height() - e);
}

void TMMGraphicControl::SetTransparent(bool v)
{
    if (v == FTransparent)
        return;
    FTransparent = v;
    // Qt would leave stale pixels under an opaque widget that skips its inside.
    SetOpaque(!v);
    Invalidate();
}

void TMMGraphicControl::BevelChanged()
{
    Invalidate();
}

void TMMGraphicControl::Paint()
{
    TCanvas& c = *Canvas();
    TRect inner;
    FBevel->PaintBevel(c, ClientRect(), inner, true);
    if (!FTransparent) {
        c.Brush().SetColor(Color());
        c.Brush().SetStyle(bsSolid);
        c.FillRect(inner);
    }
}

// ---- TMMCustomControl -------------------------------------------------------

TMMCustomControl::TMMCustomControl(TComponent* AOwner)
    : TControl(AOwner)
{
    FBevel = std::make_unique<TMMBevel>();
    FBevel->setObjectName(QStringLiteral("Bevel"));
    FBevel->OnChange = [this](TMMObject*) { BevelChanged(); };
    SetOpaque(true);
}

TMMCustomControl::~TMMCustomControl()
{
    FBevel->OnChange = nullptr;
}

void TMMCustomControl::SetBevel(TMMBevel* Value)
{
    if (Value && Value != FBevel.get())
        FBevel->Assign(Value);
}

TRect TMMCustomControl::GetBevelRect() const
{
    const int32_t e = BevelExtent();
    return Rect(e, e, Width() - e, Height() - e);
}

void TMMCustomControl::BevelChanged()
{
    Invalidate();
}

void TMMCustomControl::Paint()
{
    TCanvas& c = *Canvas();
    TRect inner;
    FBevel->PaintBevel(c, ClientRect(), inner, true);
    c.Brush().SetColor(Color());
    c.Brush().SetStyle(bsSolid);
    c.FillRect(inner);
}

// ---- TMMCustomPanel ---------------------------------------------------------

TMMCustomPanel::TMMCustomPanel(TComponent* AOwner)
    : TControl(AOwner)
{
    FBevel = std::make_unique<TMMBevel>();
    FBevel->setObjectName(QStringLiteral("Bevel"));
    FBevel->OnChange = [this](TMMObject*) { BevelChanged(); };
    SetColor(clBtnFace);
    SetBounds(Left(), Top(), 185, 41);
    SetOpaque(true);
}

TMMCustomPanel::~TMMCustomPanel()
{
    FBevel->OnChange = nullptr;
}

void TMMCustomPanel::SetBevel(TMMBevel* Value)
{
    if (Value && Value != FBevel.get())
        FBevel->Assign(Value);
}

void TMMCustomPanel::SetAlignment(TAlignment v)
{
    if (v == FAlignment)
        return;
    FAlignment = v;
    Invalidate();
}

void TMMCustomPanel::SetDrawBorder(bool v)
{
    if (v == FDrawBorder)
        return;
    FDrawBorder = v;
    Invalidate();
}

void TMMCustomPanel::BevelChanged()
{
    Realign();
    Invalidate();
}

void TMMCustomPanel::AlignControls(TRect Rect)
{
    const int32_t e = BevelExtent();
    TControl::AlignControls(InflateRect(Rect, -e, -e));
}

void TMMCustomPanel::Paint()
{
    if (OnPaint) {
        OnPaint(this);
        return;
    }
    TCanvas& c = *Canvas();
    TRect inner;
    FBevel->PaintBevel(c, ClientRect(), inner, FDrawBorder);
    if (OnPaintBackground) {
        OnPaintBackground(this, &c, inner);
    } else {
        c.Brush().SetColor(Color());
        c.Brush().SetStyle(bsSolid);
        c.FillRect(inner);
    }
    if (!Caption().isEmpty()) {
        c.Brush().SetStyle(bsClear);
        c.Font().Assign(*Font());
        TRect band = CaptionBand(c, inner);
        uint32_t align = DT_CENTER;
        if (FAlignment == taLeftJustify)
            align = DT_LEFT;
        else if (FAlignment == taRightJustify)
            align = DT_RIGHT;
        c.DrawText(Caption(), band, align | DT_VCENTER | DT_EXPANDTABS);
    }
}

} // namespace qv
