#include "framework/control.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <algorithm>

#include "framework/enum_names.h"
#include "framework/exception_handler.h"

namespace qv {

TControl::TControl(TComponent* AOwner)
    : QWidget(nullptr)
    , TComponent(AOwner)
    , FCanvas(std::make_unique<TCanvas>())
    , FFont(std::make_unique<TFont>())
{
    FFont->setObjectName(QStringLiteral("Font"));
    FFont->OnChange = [this](TFont*) { OwnFontChanged(); };
    setAttribute(Qt::WA_NoSystemBackground, false);
    setMouseTracking(true);
    QWidget::resize(0, 0);
}

TControl::~TControl()
{
    Destroying();
    FFont->OnChange = nullptr;
    // Children that outlive this part of the object (Qt deletes child widgets
    // later) must not reach back into it.
    for (TControl* c : FControls)
        c->FParentControl = nullptr;
    FControls.clear();
    if (FParentControl) {
        auto& list = FParentControl->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        TControl* p = FParentControl;
        FParentControl = nullptr;
        if (FAlign != alNone && !p->IsDestroying())
            p->Realign();
    }
}

bool TControl::IsMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void TControl::RunInMainThread(std::function<void()> f)
{
    if (IsMainThread()) {
        f();
        return;
    }
    // The functor is dropped when this object is destroyed before it runs.
    QMetaObject::invokeMethod(
        this, [f = std::move(f)] { GuardedCall(f); }, Qt::QueuedConnection);
}

// ---- placement ----------------------------------------------------------------

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    AWidth = std::max<int32_t>(AWidth, 0);
    AHeight = std::max<int32_t>(AHeight, 0);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight)
        return;
    const bool resized = AWidth != FWidth || AHeight != FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    QWidget::setGeometry(FLeft, FTop, FWidth, FHeight);
    if (resized) {
        Realign();
        Resize();
    }
    if (FAlign != alNone)
        RequestParentRealign();
}

void TControl::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    // Only a top-level window is resized from outside (by the window system).
    if (width() != FWidth || height() != FHeight) {
        FWidth = width();
        FHeight = height();
        Realign();
        Resize();
    }
}

void TControl::moveEvent(QMoveEvent* e)
{
    QWidget::moveEvent(e);
    if (isWindow()) {
        FLeft = x();
        FTop = y();
    }
}

void TControl::Resize()
{
    if (OnResize)
        OnResize(this);
}

void TControl::SetAlign(TAlign v)
{
    if (v == FAlign)
        return;
    FAlign = v;
    RequestParentRealign();
}

void TControl::RequestParentRealign()
{
    if (FParentControl && !FParentControl->FAligning)
        FParentControl->Realign();
}

void TControl::EnableAlign()
{
    if (FAlignDisabled > 0 && --FAlignDisabled == 0)
        Realign();
}

void TControl::Realign()
{
    if (FAlignDisabled > 0 || FAligning || IsLoading() || IsDestroying())
        return;
    AlignControls(ClientRect());
}

void TControl::AlignControls(TRect R)
{
    if (FControls.empty())
        return;
    FAligning = true;
    try {
        for (TAlign a : { alTop, alBottom, alLeft, alRight, alClient }) {
            std::vector<TControl*> list;
            for (TControl* c : FControls)
                if (c->FAlign == a && (c->FVisible || c->IsDesigning()))
                    list.push_back(c);
            // Each group in the order of its controls' positions; creation
            // order breaks ties (stable sort).
            std::stable_sort(list.begin(), list.end(), [a](const TControl* x, const TControl* y) {
                switch (a) {
                case alTop:
                    return x->FTop < y->FTop;
                case alBottom:
                    return x->FTop + x->FHeight > y->FTop + y->FHeight;
                case alLeft:
                    return x->FLeft < y->FLeft;
                case alRight:
                    return x->FLeft + x->FWidth > y->FLeft + y->FWidth;
                default:
                    return false;
                }
            });
            for (TControl* c : list) {
                switch (a) {
                case alTop:
                    c->SetBounds(R.Left, R.Top, R.Width(), c->FHeight);
                    R.Top += c->FHeight;
                    break;
                case alBottom:
                    c->SetBounds(R.Left, R.Bottom - c->FHeight, R.Width(), c->FHeight);
                    R.Bottom -= c->FHeight;
                    break;
                case alLeft:
                    c->SetBounds(R.Left, R.Top, c->FWidth, R.Height());
                    R.Left += c->FWidth;
                    break;
                case alRight:
                    c->SetBounds(R.Right - c->FWidth, R.Top, c->FWidth, R.Height());
                    R.Right -= c->FWidth;
                    break;
                default:
                    c->SetBounds(R.Left, R.Top, R.Width(), R.Height());
                    break;
                }
            }
        }
    } catch (...) {
        FAligning = false;
        throw;
    }
    FAligning = false;
}

// ---- parenting ------------------------------------------------------------------

void TControl::SetParent(TControl* AParent)
{
    if (AParent == FParentControl || AParent == this)
        return;
    if (FParentControl) {
        TControl* old = FParentControl;
        auto& list = old->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        FParentControl = nullptr;
        if (FAlign != alNone)
            old->Realign();
    }
    QWidget::setParent(AParent);
    FParentControl = AParent;
    QWidget::setGeometry(FLeft, FTop, FWidth, FHeight);
    if (AParent) {
        AParent->FControls.push_back(this);
        if (FParentColor)
            ParentColorChanged();
        if (FParentFont)
            ParentFontChanged();
        if (FParentShowHint)
            ParentShowHintChanged();
        // Qt hides a widget that changes parent.
        QWidget::setVisible(FVisible);
        if (FAlign != alNone)
            AParent->Realign();
    }
}

// ---- look -----------------------------------------------------------------------

void TControl::SetColor(TColor v)
{
    if (v == FColor)
        return;
    FColor = v;
    FParentColor = false;
    ColorChanged();
    for (TControl* c : FControls)
        if (c->FParentColor)
            c->ParentColorChanged();
}

void TControl::ParentColorChanged()
{
    if (!FParentControl || FColor == FParentControl->FColor)
        return;
    FColor = FParentControl->FColor;
    ColorChanged();
    for (TControl* c : FControls)
        if (c->FParentColor)
            c->ParentColorChanged();
}

void TControl::SetParentColor(bool v)
{
    if (v == FParentColor)
        return;
    FParentColor = v;
    if (v)
        ParentColorChanged();
}

void TControl::SetFont(TFont* v)
{
    if (v && v != FFont.get())
        FFont->Assign(*v);
}

void TControl::OwnFontChanged()
{
    if (!FCopyingFont)
        FParentFont = false;
    FontChanged();
    for (TControl* c : FControls)
        if (c->FParentFont)
            c->ParentFontChanged();
}

void TControl::ParentFontChanged()
{
    if (!FParentControl || FFont->SameAs(*FParentControl->FFont))
        return;
    FCopyingFont = true;
    FFont->Assign(*FParentControl->FFont);
    FCopyingFont = false;
}

void TControl::SetParentFont(bool v)
{
    if (v == FParentFont)
        return;
    FParentFont = v;
    if (v)
        ParentFontChanged();
}

void TControl::SetCaption(const QString& v)
{
    if (v == FCaption)
        return;
    FCaption = v;
    TextChanged();
}

void TControl::SetVisible(bool v)
{
    if (v == FVisible)
        return;
    FVisible = v;
    // A child widget follows at once; showing a top-level window is the form's
    // business (Show), hiding it is not.
    if (FParentControl || !v)
        QWidget::setVisible(v);
    if (FAlign != alNone)
        RequestParentRealign();
}

void TControl::SetEnabled(bool v)
{
    if (v == FEnabled)
        return;
    FEnabled = v;
    QWidget::setEnabled(v);
    EnabledChanged();
}

void TControl::SetHint(const QString& v)
{
    FHint = v;
    UpdateToolTip();
}

void TControl::SetShowHint(bool v)
{
    if (v == FShowHint)
        return;
    FShowHint = v;
    FParentShowHint = false;
    UpdateToolTip();
    for (TControl* c : FControls)
        if (c->FParentShowHint)
            c->ParentShowHintChanged();
}

void TControl::SetParentShowHint(bool v)
{
    if (v == FParentShowHint)
        return;
    FParentShowHint = v;
    if (v)
        ParentShowHintChanged();
}

void TControl::ParentShowHintChanged()
{
    if (!FParentControl)
        return;
    FShowHint = FParentControl->FShowHint;
    UpdateToolTip();
    for (TControl* c : FControls)
        if (c->FParentShowHint)
            c->ParentShowHintChanged();
}

void TControl::UpdateToolTip()
{
    setToolTip(FShowHint ? FHint : QString());
}

void TControl::SetCursor(TCursor v)
{
    if (v == FCursor)
        return;
    FCursor = v;
    switch (v) {
    case crDefault:
        unsetCursor();
        return;
    case crNone:
        QWidget::setCursor(Qt::BlankCursor);
        return;
    case crCross:
        QWidget::setCursor(Qt::CrossCursor);
        return;
    case crIBeam:
        QWidget::setCursor(Qt::IBeamCursor);
        return;
    case crSize:
    case crSizeAll:
        QWidget::setCursor(Qt::SizeAllCursor);
        return;
    case crSizeNESW:
        QWidget::setCursor(Qt::SizeBDiagCursor);
        return;
    case crSizeNS:
        QWidget::setCursor(Qt::SizeVerCursor);
        return;
    case crSizeNWSE:
        QWidget::setCursor(Qt::SizeFDiagCursor);
        return;
    case crSizeWE:
        QWidget::setCursor(Qt::SizeHorCursor);
        return;
    case crUpArrow:
        QWidget::setCursor(Qt::UpArrowCursor);
        return;
    case crHourGlass:
    case crSQLWait:
        QWidget::setCursor(Qt::WaitCursor);
        return;
    case crDrag:
    case crMultiDrag:
        QWidget::setCursor(Qt::DragCopyCursor);
        return;
    case crNoDrop:
    case crNo:
        QWidget::setCursor(Qt::ForbiddenCursor);
        return;
    case crHSplit:
        QWidget::setCursor(Qt::SplitHCursor);
        return;
    case crVSplit:
        QWidget::setCursor(Qt::SplitVCursor);
        return;
    case crAppStart:
        QWidget::setCursor(Qt::BusyCursor);
        return;
    case crHelp:
        QWidget::setCursor(Qt::WhatsThisCursor);
        return;
    case crHandPoint:
        QWidget::setCursor(Qt::PointingHandCursor);
        return;
    default:
        QWidget::setCursor(Qt::ArrowCursor);
        return;
    }
}

void TControl::SetOpaque(bool v)
{
    FOpaque = v;
    setAttribute(Qt::WA_OpaquePaintEvent, v);
}

// ---- painting --------------------------------------------------------------------

void TControl::Invalidate()
{
    ContentChanged();
    if (IsMainThread())
        QWidget::update();
    else
        QMetaObject::invokeMethod(
            this, [this] { QWidget::update(); }, Qt::QueuedConnection);
}

void TControl::Repaint()
{
    ContentChanged();
    if (IsMainThread())
        QWidget::repaint();
    else
        Invalidate();
}

void TControl::Update()
{
    if (IsMainThread() && !QWidget::visibleRegion().isEmpty())
        QWidget::repaint(QWidget::visibleRegion());
}

void TControl::PaintWith(QPainter& p)
{
    FCanvas->Lock();
    FCanvas->Attach(&p);
    FCanvas->Font().Assign(*FFont);
    GuardedCall([this] { Paint(); });
    FCanvas->Detach();
    FCanvas->Unlock();
}

void TControl::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    p.setClipRegion(e->region());
    PaintWith(p);
}

// ---- mouse -----------------------------------------------------------------------

TShiftState TControl::ShiftOf(const QMouseEvent* e)
{
    TShiftState s = 0;
    const Qt::KeyboardModifiers m = e->modifiers();
    if (m & Qt::ShiftModifier)
        s |= ssShift;
    if (m & Qt::AltModifier)
        s |= ssAlt;
    if (m & Qt::ControlModifier)
        s |= ssCtrl;
    const Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton)
        s |= ssLeft;
    if (b & Qt::RightButton)
        s |= ssRight;
    if (b & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

namespace {
bool ButtonOf(Qt::MouseButton b, TMouseButton& out)
{
    switch (b) {
    case Qt::LeftButton:
        out = mbLeft;
        return true;
    case Qt::RightButton:
        out = mbRight;
        return true;
    case Qt::MiddleButton:
        out = mbMiddle;
        return true;
    default:
        return false;
    }
}
} // namespace

void TControl::Click()
{
    if (OnClick)
        OnClick(this);
}

void TControl::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::mousePressEvent(QMouseEvent* e)
{
    TMouseButton b;
    if (!ButtonOf(e->button(), b) || !FEnabled)
        return;
    const QPoint p = e->position().toPoint();
    if (b == mbLeft)
        FClicked = true;
    GuardedCall([&] { MouseDown(b, ShiftOf(e), p.x(), p.y()); });
}

void TControl::mouseReleaseEvent(QMouseEvent* e)
{
    TMouseButton b;
    if (!ButtonOf(e->button(), b) || !FEnabled)
        return;
    const QPoint p = e->position().toPoint();
    const bool click = b == mbLeft && FClicked;
    if (b == mbLeft)
        FClicked = false;
    QPointer<TControl> self(this);
    GuardedCall([&] {
        if (click && p.x() >= 0 && p.y() >= 0 && p.x() < FWidth && p.y() < FHeight)
            Click();
        if (self)
            MouseUp(b, ShiftOf(e), p.x(), p.y());
    });
}

void TControl::mouseDoubleClickEvent(QMouseEvent* e)
{
    TMouseButton b;
    if (!ButtonOf(e->button(), b) || !FEnabled)
        return;
    const QPoint p = e->position().toPoint();
    QPointer<TControl> self(this);
    GuardedCall([&] {
        if (b == mbLeft)
            DblClick();
        if (self)
            MouseDown(b, ShiftOf(e) | ssDouble, p.x(), p.y());
    });
}

void TControl::mouseMoveEvent(QMouseEvent* e)
{
    if (!FEnabled)
        return;
    const QPoint p = e->position().toPoint();
    GuardedCall([&] { MouseMove(ShiftOf(e), p.x(), p.y()); });
}

void TControl::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    GuardedCall([this] { MouseEnter(); });
}

void TControl::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    GuardedCall([this] { MouseLeave(); });
}

bool TControl::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnClick")
        return AssignEvent(OnClick, Handler);
    if (Name == "OnDblClick")
        return AssignEvent(OnDblClick, Handler);
    if (Name == "OnMouseDown")
        return AssignEvent(OnMouseDown, Handler);
    if (Name == "OnMouseMove")
        return AssignEvent(OnMouseMove, Handler);
    if (Name == "OnMouseUp")
        return AssignEvent(OnMouseUp, Handler);
    if (Name == "OnResize")
        return AssignEvent(OnResize, Handler);
    return TComponent::SetEvent(Name, Handler);
}

void TControl::Loaded()
{
    TComponent::Loaded();
    Realign();
    if (FAlign != alNone)
        RequestParentRealign();
}

void RegisterControlEnums()
{
    TEnumNames::Register<TAlign>({ "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient" });
    TEnumNames::Register<TAlignment>({ "taLeftJustify", "taRightJustify", "taCenter" });
    TEnumNames::Register<TBorderStyle>({ "bsNone", "bsSingle" });
    TEnumNames::Register<TBevelCut>({ "bvNone", "bvLowered", "bvRaised", "bvSpace" });
    TEnumNames::Register<TMouseButton>({ "mbLeft", "mbRight", "mbMiddle" });
    TEnumNames::Register<TCursor>({ "crDefault", "crNone", "crArrow", "crCross", "crIBeam", "crSize",
        "crSizeNESW", "crSizeNS", "crSizeNWSE", "crSizeWE", "crUpArrow", "crHourGlass", "crDrag", "crNoDrop",
        "crHSplit", "crVSplit", "crMultiDrag", "crSQLWait", "crNo", "crAppStart", "crHelp", "crHandPoint",
        "crSizeAll" });
    TEnumNames::Register<TPenStyle>(
        { "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame" });
    TEnumNames::Register<TBrushStyle>({ "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
        "bsBDiagonal", "bsCross", "bsDiagCross" });
    TEnumNames::Register<TFontStyles>({ "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut" });
}

} // namespace qv
