#pragma once
// TMMBevel: the frame every visual component draws around its content, as a
// set of concentric rings (a single line, an outer bevel, a border, an inner
// bevel and a spacing ring). PaintBevel paints them ring by ring and hands
// back the rectangle that remains inside; BevelExtent is their total width on
// one side.
#include <cstdint>

#include "display/mm_object.h"
#include "framework/canvas.h"
#include "framework/colors.h"
#include "framework/control.h"

namespace qv {

// Bevel colour indices of the indexed colour family.
enum TMMBevelColorIndex : int32_t {
    bcBorderColor = 0,
    bcBorderSpaceColor = 1,
    bcInnerLightColor = 2,
    bcInnerShadowColor = 3,
    bcOuterLightColor = 4,
    bcOuterShadowColor = 5
};

// Width rings inside R: top and left lines in TopLeft, right and bottom lines
// in BottomRight (which also takes the top-right and bottom-left corners); R
// shrinks by one per ring. A Width of 0 or less draws nothing.
void DrawBevelRings(TCanvas& Canvas, TRect& R, TColor TopLeft, TColor BottomRight, int32_t Width);

class TMMBevel : public TMMObject {
    Q_OBJECT
    Q_PROPERTY(qv::TBevelCut BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(qv::TBevelCut BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(int32_t BevelInnerWidth READ BevelInnerWidth WRITE SetBevelInnerWidth)
    Q_PROPERTY(int32_t BevelOuterWidth READ BevelOuterWidth WRITE SetBevelOuterWidth)
    Q_PROPERTY(qv::TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(int32_t BorderWidth READ BorderWidth WRITE SetBorderWidth)
    Q_PROPERTY(int32_t BorderSpace READ BorderSpace WRITE SetBorderSpace)
    Q_PROPERTY(qv::TColor BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(qv::TColor BorderSpaceColor READ BorderSpaceColor WRITE SetBorderSpaceColor)
    Q_PROPERTY(qv::TColor InnerLightColor READ InnerLightColor WRITE SetInnerLightColor)
    Q_PROPERTY(qv::TColor InnerShadowColor READ InnerShadowColor WRITE SetInnerShadowColor)
    Q_PROPERTY(qv::TColor OuterLightColor READ OuterLightColor WRITE SetOuterLightColor)
    Q_PROPERTY(qv::TColor OuterShadowColor READ OuterShadowColor WRITE SetOuterShadowColor)
public:
    // Lowered outer bevel of width 1, nothing else.
    TMMBevel();

    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut v);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut v);
    // Bevel widths are at least 1 (smaller values count as 1).
    int32_t BevelInnerWidth() const { return FBevelInnerWidth; }
    void SetBevelInnerWidth(int32_t v);
    int32_t BevelOuterWidth() const { return FBevelOuterWidth; }
    void SetBevelOuterWidth(int32_t v);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle v);
    // Border widths are at least 0.
    int32_t BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int32_t v);
    int32_t BorderSpace() const { return FBorderSpace; }
    void SetBorderSpace(int32_t v);

    // The indexed colour family (TMMBevelColorIndex); an unknown index reads 0
    // and writes nothing.
    TColor Colors(int32_t Index) const;
    void SetColors(int32_t Index, TColor Value);
    TColor BorderColor() const { return FColors[bcBorderColor]; }
    void SetBorderColor(TColor v) { SetColors(bcBorderColor, v); }
    TColor BorderSpaceColor() const { return FColors[bcBorderSpaceColor]; }
    void SetBorderSpaceColor(TColor v) { SetColors(bcBorderSpaceColor, v); }
    TColor InnerLightColor() const { return FColors[bcInnerLightColor]; }
    void SetInnerLightColor(TColor v) { SetColors(bcInnerLightColor, v); }
    TColor InnerShadowColor() const { return FColors[bcInnerShadowColor]; }
    void SetInnerShadowColor(TColor v) { SetColors(bcInnerShadowColor, v); }
    TColor OuterLightColor() const { return FColors[bcOuterLightColor]; }
    void SetOuterLightColor(TColor v) { SetColors(bcOuterLightColor, v); }
    TColor OuterShadowColor() const { return FColors[bcOuterShadowColor]; }
    void SetOuterShadowColor(TColor v) { SetColors(bcOuterShadowColor, v); }

    // Copies another bevel inside one update batch (one change notice); any
    // other source, this bevel itself included, goes to the framework's
    // assignment, which raises EConvertError.
    void Assign(const TMMObject* Source) override;

    // Total width of all rings on one side.
    int32_t BevelExtent() const;
    // Paints the rings inside Rect and returns the remaining area in Inner.
    // Without DrawBorder the border band is skipped but still taken off.
    virtual void PaintBevel(TCanvas& Canvas, const TRect& Rect, TRect& Inner, bool DrawBorder);

private:
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvLowered;
    int32_t FBevelInnerWidth = 1;
    int32_t FBevelOuterWidth = 1;
    TBorderStyle FBorderStyle = bsNone;
    int32_t FBorderWidth = 0;
    int32_t FBorderSpace = 0;
    TColor FColors[6];
};

} // namespace qv
