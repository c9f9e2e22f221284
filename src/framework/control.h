#pragma once
// TControl: the base of every visual component, a QWidget that is also a
// TComponent. It keeps the classic control model on top of Qt: bounds that
// the control stores itself, alignment of aligned children in order (top,
// bottom, left, right, client), colour and font that can follow the parent's,
// caption, hint, cursor, a canvas that is valid during Paint, virtual mouse
// handlers and single-listener events.
//
// Painting: Qt's paint event opens a painter on the widget, binds it to
// Canvas() (clipped to the event's region, the canvas font set to Font()) and
// calls the virtual Paint(). Controls that paint their whole area call
// SetOpaque(true) (WA_OpaquePaintEvent), so Qt does not paint behind them.
//
// Threads: only the main thread touches widgets. Invalidate() may be called
// from any thread (it is posted when needed); everything else is main-thread only.
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "framework/canvas.h"
#include "framework/colors.h"
#include "framework/component.h"
#include "framework/font.h"

namespace qv {

enum TAlign : int32_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment : int32_t { taLeftJustify, taRightJustify, taCenter };
enum TBorderStyle : int32_t { bsNone, bsSingle };
enum TBevelCut : int32_t { bvNone, bvLowered, bvRaised, bvSpace };
enum TMouseButton : int32_t { mbLeft, mbRight, mbMiddle };
// Cursor shapes in the classic order; the value is the negated classic number
// (crArrow = 2 here stands for the classic -2).
enum TCursor : int32_t {
    crDefault,
    crNone,
    crArrow,
    crCross,
    crIBeam,
    crSize,
    crSizeNESW,
    crSizeNS,
    crSizeNWSE,
    crSizeWE,
    crUpArrow,
    crHourGlass,
    crDrag,
    crNoDrop,
    crHSplit,
    crVSplit,
    crMultiDrag,
    crSQLWait,
    crNo,
    crAppStart,
    crHelp,
    crHandPoint,
    crSizeAll
};

// Shift state bits of mouse events.
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 1u << 0;
constexpr TShiftState ssAlt = 1u << 1;
constexpr TShiftState ssCtrl = 1u << 2;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;
constexpr TShiftState ssDouble = 1u << 6;

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TMouseEvent
    = std::function<void(TComponent* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TComponent* Sender, TShiftState Shift, int32_t X, int32_t Y)>;

class TControl : public QWidget, public TComponent {
    Q_OBJECT
    Q_PROPERTY(int32_t Left READ Left WRITE SetLeft)
    Q_PROPERTY(int32_t Top READ Top WRITE SetTop)
    Q_PROPERTY(int32_t Width READ Width WRITE SetWidth)
    Q_PROPERTY(int32_t Height READ Height WRITE SetHeight)
    Q_PROPERTY(qv::TAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(qv::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(qv::TFont* Font READ Font WRITE SetFont)
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE SetParentFont)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(bool ParentShowHint READ ParentShowHint WRITE SetParentShowHint)
    Q_PROPERTY(qv::TCursor Cursor READ Cursor WRITE SetCursor)
    Q_PROPERTY(int32_t Tag READ Tag WRITE SetTag)
public:
    explicit TControl(TComponent* AOwner = nullptr);
    ~TControl() override;
    QObject* AsQObject() override { return this; }

    // ---- placement ----
    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }
    // Stores the bounds (sizes below 0 count as 0), moves the widget, realigns
    // the children after a size change and the parent when this one is aligned.
    virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
    // (0, 0, Width, Height).
    virtual TRect ClientRect() const { return Rect(0, 0, FWidth, FHeight); }
    int32_t ClientWidth() const { return ClientRect().Width(); }
    int32_t ClientHeight() const { return ClientRect().Height(); }

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign v);

    // ---- parenting ----
    // Places this control inside AParent (null: none; a control without a
    // parent is a top-level window when shown).
    void SetParent(TControl* AParent);
    TControl* Parent() const { return FParentControl; }
    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int Index) const { return FControls.at(static_cast<size_t>(Index)); }

    // Places the aligned children in Rect: alTop, alBottom, alLeft, alRight
    // and alClient controls in turn, each group in the order of its position.
    // Descendants narrow Rect first (a panel by its frame).
    virtual void AlignControls(TRect Rect);
    // AlignControls(ClientRect()) unless alignment is disabled or loading.
    void Realign();
    void DisableAlign() { ++FAlignDisabled; }
    void EnableAlign();

    // ---- look ----
    TColor Color() const { return FColor; }
    // Stores the colour, clears ParentColor, repaints and passes it on to the
    // children that follow their parent's colour.
    void SetColor(TColor v);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool v);
    TFont* Font() const { return FFont.get(); }
    // Copies the font (never shares it).
    void SetFont(TFont* v);
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool v);
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& v);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool v);
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool v);
    const QString& Hint() const { return FHint; }
    void SetHint(const QString& v);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool v);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool v);
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor v);
    int32_t Tag() const { return FTag; }
    void SetTag(int32_t v) { FTag = v; }
    // The control paints every pixel of its area (WA_OpaquePaintEvent).
    void SetOpaque(bool v);
    bool Opaque() const { return FOpaque; }

    // ---- painting ----
    // Valid during Paint (and whatever binds it explicitly).
    TCanvas* Canvas() const { return FCanvas.get(); }
    // Repaint later; any thread.
    void Invalidate();
    // Repaint now (main thread; from another thread the same as Invalidate).
    void Repaint();
    void Refresh() { Repaint(); }
    // Carries out pending repaints of this control now.
    void Update();

    // ---- events ----
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;

    void Loaded() override;

    // Runs f on the main thread: at once there, posted (and dropped if this
    // control is gone by then) from another thread.
    void RunInMainThread(std::function<void()> f);
    static bool IsMainThread();

protected:
    virtual void Paint() { }
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseEnter() { }
    virtual void MouseLeave() { }
    // After a size change (fires OnResize).
    virtual void Resize();
    // After Color or Font changed (own or the parent's); the base repaints.
    virtual void ColorChanged() { Invalidate(); }
    virtual void FontChanged() { Invalidate(); }
    virtual void EnabledChanged() { Invalidate(); }
    virtual void TextChanged() { Invalidate(); }
    // Told (on any thread) by Invalidate and Repaint that the whole picture is
    // out of date; controls that keep their own screen image redraw it.
    virtual void ContentChanged() { }

    // Qt side.
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

    // Binds the canvas to painter p for one Paint: font and lock.
    void PaintWith(QPainter& p);

    std::unique_ptr<TCanvas> FCanvas;

private:
    void ParentColorChanged();
    void ParentFontChanged();
    void ParentShowHintChanged();
    void UpdateToolTip();
    void OwnFontChanged();
    void RequestParentRealign();
    static TShiftState ShiftOf(const QMouseEvent* e);

    int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = alNone;
    TColor FColor = clBtnFace;
    bool FParentColor = true;
    std::unique_ptr<TFont> FFont;
    bool FParentFont = true;
    bool FCopyingFont = false;
    QString FCaption;
    bool FVisible = true;
    bool FEnabled = true;
    QString FHint;
    bool FShowHint = false;
    bool FParentShowHint = true;
    TCursor FCursor = crDefault;
    int32_t FTag = 0;
    bool FOpaque = false;
    TControl* FParentControl = nullptr;
    std::vector<TControl*> FControls;
    int FAlignDisabled = 0;
    bool FAligning = false;
    bool FClicked = false;
};

// Registers the names of TAlign, TAlignment, TBorderStyle, TBevelCut,
// TMouseButton, TCursor, TPenStyle, TBrushStyle and the set TFontStyles.
void RegisterControlEnums();

} // namespace qv
