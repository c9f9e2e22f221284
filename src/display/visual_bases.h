#pragma once
// The visual bases of the display and control components. Each owns one
// TMMBevel (published as Bevel; assigning copies it) and draws it around its
// content:
//   TMMGraphicControl  window-less controls (the views, the bitmap button),
//   TMMCustomControl   windowed controls (the slider),
//   TMMCustomPanel     containers (the splitter); aligned children sit inside
//                      the bevel.
// In Qt every one of them is a widget; the difference is kept in their
// painting and in what they publish.
#include <functional>

#include "display/bevel.h"
#include "framework/control.h"

namespace qv {

class TMMGraphicControl : public TControl {
    Q_OBJECT
    Q_PROPERTY(qv::TMMBevel* Bevel READ Bevel WRITE SetBevel)
public:
    explicit TMMGraphicControl(TComponent* AOwner = nullptr);
    ~TMMGraphicControl() override;

    TMMBevel* Bevel() const { return FBevel.get(); }
    // Copies Value into the own bevel.
    void SetBevel(TMMBevel* Value);
    // The bevel's total width on one side.
    int32_t BevelExtent() const { return FBevel ? FBevel->BevelExtent() : 0; }
    // (0, 0, Width, Height) shrunk by BevelExtent on every side: the content area.
    TRect GetBevelRect() const;

    // A transparent control leaves its inner area unpainted (and is then not opaque).
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);

protected:
    // The bevel, then (unless Transparent) the inner area in Color.
    void Paint() override;
    // The bevel changed: repaint.
    virtual void BevelChanged();

    std::unique_ptr<TMMBevel> FBevel;
    bool FTransparent = false;
};

class TMMCustomControl : public TControl {
    Q_OBJECT
    Q_PROPERTY(qv::TMMBevel* Bevel READ Bevel WRITE SetBevel)
public:
    explicit TMMCustomControl(TComponent* AOwner = nullptr);
    ~TMMCustomControl() override;

    TMMBevel* Bevel() const { return FBevel.get(); }
    void SetBevel(TMMBevel* Value);
    int32_t BevelExtent() const { return FBevel ? FBevel->BevelExtent() : 0; }
    TRect GetBevelRect() const;

protected:
    // The bevel, then the inner area in Color.
    void Paint() override;
    virtual void BevelChanged();

    std::unique_ptr<TMMBevel> FBevel;
};

using TMMPanelPaintEvent = std::function<void(TComponent* Sender)>;
using TMMPanelBackgroundEvent = std::function<void(TComponent* Sender, TCanvas* Canvas, const TRect& Rect)>;

class TMMCustomPanel : public TControl {
    Q_OBJECT
    Q_PROPERTY(qv::TMMBevel* Bevel READ Bevel WRITE SetBevel)
    Q_PROPERTY(qv::TAlignment Alignment READ Alignment WRITE SetAlignment)
public:
    // 185 x 41, clBtnFace, caption centred; opaque.
    explicit TMMCustomPanel(TComponent* AOwner = nullptr);
    ~TMMCustomPanel() override;

    TMMBevel* Bevel() const { return FBevel.get(); }
    void SetBevel(TMMBevel* Value);
    int32_t BevelExtent() const { return FBevel ? FBevel->BevelExtent() : 0; }

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment v);
    // Paint the border band (BorderWidth rings); initially True.
    bool DrawBorder() const { return FDrawBorder; }
    void SetDrawBorder(bool v);

    // Aligned children share Rect shrunk by BevelExtent on every side.
    void AlignControls(TRect Rect) override;

    // Replaces the whole painting when set.
    TMMPanelPaintEvent OnPaint;
    // Replaces the background fill of the inner rectangle when set.
    TMMPanelBackgroundEvent OnPaintBackground;

protected:
    void Paint() override;
    // The bevel changed: realign the children, then repaint.
    virtual void BevelChanged();

    std::unique_ptr<TMMBevel> FBevel;
    TAlignment FAlignment = taCenter;
    bool FDrawBorder = true;
};

} // namespace qv
