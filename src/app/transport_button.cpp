#include "app/transport_button.h"

#include <algorithm>

namespace qv {

TTransportButton::TTransportButton(TComponent* AOwner) : TControl(AOwner)
{
    SetBounds(0, 0, 15, 15);
    SetOpaque(true);
    SetCursor(crHandPoint);
}

void TTransportButton::SetBitmapIndex(int32_t v)
{
    if (v == FBitmapIndex)
        return;
    FBitmapIndex = v;
    Invalidate();
}

void TTransportButton::Paint()
{
    TCanvas& c = *Canvas();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    c.FillRect(ClientRect());
    if (FBitmapIndex < 0 || FBitmapIndex > 5)
        return;
    const TColor ink = Lit() ? LitColor : DimColor;
    // The glyph sits in a 15 x 15 cell centred in the control.
    const int32_t ox = (Width() - 15) / 2;
    const int32_t oy = (Height() - 15) / 2;
    c.Brush().SetColor(ink);
    switch (FBitmapIndex / 2) {
    case 0: // play: a triangle pointing right, rows 3..11
        for (int32_t y = 3; y <= 11; ++y) {
            const int32_t half = 4 - std::abs(y - 7);
            c.FillRect(Rect(ox + 4, oy + y, ox + 4 + 2 * half + 1, oy + y + 1));
        }
        break;
    case 1: // pause: two bars
        c.FillRect(Rect(ox + 4, oy + 3, ox + 7, oy + 12));
        c.FillRect(Rect(ox + 9, oy + 3, ox + 12, oy + 12));
        break;
    default: // stop: a square
        c.FillRect(Rect(ox + 4, oy + 4, ox + 11, oy + 11));
        break;
    }
}

void RegisterTransportButton()
{
    TComponentRegistry::Register("TTransportButton", [](TComponent* o) { return new TTransportButton(o); });
}

} // namespace qv
