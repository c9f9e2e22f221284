#pragma once
// TMMDIBGraphicControl: the base of the live views. It owns a TMMDIBCanvas
// (DIBCanvas, kept at the control's size by SetBounds; a view may resize it
// to its drawing area afterwards), the background picture properties, and the
// control's screen image: a top-down RGB32 QImage of the whole control that
// the widget shows. Painting goes into that image, and the widget copies the
// changed rectangle to the screen.
//
// A view's picture cycle:
//   - Paint() (the window system's request, main thread): draw the frame with
//     the Canvas() calls, then the picture: DIBCanvas()->BeginDraw(), draw,
//     DIBCanvas()->CopyToDC(Canvas(), ...), EndDraw().
//   - after a block: PaintDirect(arg, proc) runs proc(this, arg) at once with
//     Canvas() bound to the screen image; the changed rectangle reaches the
//     screen synchronously on the main thread, or is posted to the main thread
//     when PaintDirect runs on another thread (the drawing still happens at once).
//   - ScrollScreen moves part of the shown image (the scrolling views).
// Lock order: Canvas()'s lock before the drawing lock. PaintDirect and the
// paint handler take them in that order; code that draws outside them takes
// Canvas()->Lock() before BeginDraw and never calls PaintDirect between
// BeginDraw and EndDraw.
#include <QImage>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "display/dib_canvas.h"
#include "display/visual_bases.h"
#include "framework/bitmap.h"

namespace qv {

class TMMDIBGraphicControl : public TMMGraphicControl {
    Q_OBJECT
    Q_PROPERTY(qv::TBitmap* BackGroundDIB READ BackGroundDIB WRITE SetBackGroundDIB)
    Q_PROPERTY(bool UseBackGroundDIB READ UseBackGroundDIB WRITE SetUseBackGroundDIB)
    Q_PROPERTY(bool PaletteRealize READ PaletteRealize WRITE SetPaletteRealize)
    Q_PROPERTY(bool PaletteMapped READ PaletteMapped WRITE SetPaletteMapped)
public:
    using TPaintDirectProc = std::function<void(TMMDIBGraphicControl* Control, void* Argument)>;

    explicit TMMDIBGraphicControl(TComponent* AOwner = nullptr);
    ~TMMDIBGraphicControl() override;

    TMMDIBCanvas* DIBCanvas() const { return FDIBCanvas.get(); }

    TBitmap* BackGroundDIB() const { return FBackGroundDIB.get(); }
    // Copies Value.
    void SetBackGroundDIB(TBitmap* Value);
    bool UseBackGroundDIB() const { return FUseBackGroundDIB; }
    void SetUseBackGroundDIB(bool Value);
    bool PaletteRealize() const { return FDIBCanvas->PaletteRealize(); }
    void SetPaletteRealize(bool Value);
    bool PaletteMapped() const { return FDIBCanvas->PaletteMapped(); }
    void SetPaletteMapped(bool Value);

    // The framework's placement, then the canvas sized to the whole control.
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    // The canvas's bits per pixel (8 or 24), and a repaint.
    virtual void SetBitsPerPixel(int32_t Value);
    // Between BeginDraw and EndDraw: the background picture copied onto the
    // canvas when there is one, else the canvas cleared to Color.
    virtual void DrawBackground();

    // Draws at once, outside the paint cycle: when the control is visible and
    // has a parent, Canvas() is bound to the screen image (origin at the
    // control's top-left, clipped to its size) for Procedure(this, Argument),
    // and what it drew is brought to the screen. Any thread.
    void PaintDirect(void* Argument, const TPaintDirectProc& Procedure);
    // Moves the pixels of R (control coordinates) by (DX, DY) in the shown
    // image; the uncovered strip keeps its old pixels until drawn again. Any thread.
    void ScrollScreen(int32_t DX, int32_t DY, const TRect& R);
    // The control's image as the widget shows it (read under Canvas()->Lock()).
    const QImage& ScreenImage() const { return FScreen; }

    // The class-wide list of DIB controls (used by the spectrogram).
    void AddToControlList();
    void RemoveFromControlList();
    // Asks every other control in the list for a full redraw (RedrawRequested).
    void MarkOthersForRedraw();
    static std::vector<TMMDIBGraphicControl*> ControlList();

    void Loaded() override;

protected:
    // The full-redraw request of MarkOthersForRedraw; the base ignores it.
    virtual void RedrawRequested() { }
    void ContentChanged() override { FNeedsFullPaint = true; }
    void paintEvent(QPaintEvent* e) override;

private:
    // Sizes the screen image to the control; under Canvas()->Lock().
    void EnsureScreen();
    // Brings rectangle R of the screen image to the widget.
    void FlushScreen(const TRect& R);
    void BackGroundDIBChanged();

    std::unique_ptr<TMMDIBCanvas> FDIBCanvas;
    std::unique_ptr<TBitmap> FBackGroundDIB;
    bool FUseBackGroundDIB = false;
    bool FLoadedUseBackGroundDIB = false;
    QImage FScreen;
    std::atomic<bool> FNeedsFullPaint { true };
};

// Registers the display classes and their enumeration names (and the
// framework's control enumerations they use).
void RegisterDisplayComponents();

} // namespace qv
