#include "framework/std_controls.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QTimer>
#include <algorithm>

#include "framework/enum_names.h"
#include "framework/exception_handler.h"
#include "framework/forms.h"

namespace qv {

// ---- Frame3D ----------------------------------------------------------------------

void Frame3D(TCanvas& Canvas, TRect& R, TColor TopColor, TColor BottomColor, int32_t Width)
{
    Canvas.Pen().SetWidth(1);
    Canvas.Pen().SetStyle(psSolid);
    --R.Bottom;
    --R.Right;
    while (Width-- > 0) {
        const TPoint topLeft = Point(R.Left, R.Top);
        const TPoint topRight = Point(R.Right, R.Top);
        const TPoint bottomRight = Point(R.Right, R.Bottom);
        Canvas.Pen().SetColor(TopColor);
        Canvas.Polyline({Point(R.Left, R.Bottom), topLeft, topRight});
        Canvas.Pen().SetColor(BottomColor);
        Canvas.Polyline({topRight, bottomRight, Point(R.Left - 1, R.Bottom)});
        R = InflateRect(R, -1, -1);
    }
    ++R.Bottom;
    ++R.Right;
}

namespace {

void BevelColors(TBevelCut cut, TColor& top, TColor& bottom)
{
    top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
}

uint32_t AlignmentFlags(TAlignment a)
{
    switch (a) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
    }
}

} // namespace

// ---- TPanel -----------------------------------------------------------------------

TPanel::TPanel(TComponent* AOwner) : TControl(AOwner)
{
    SetColor(clBtnFace);
    SetBounds(0, 0, 185, 41);
    SetOpaque(true);
}

void TPanel::FrameChanged()
{
    Realign();
    Invalidate();
}

void TPanel::SetBevelInner(TBevelCut v)
{
    if (v == FBevelInner)
        return;
    FBevelInner = v;
    FrameChanged();
}

void TPanel::SetBevelOuter(TBevelCut v)
{
    if (v == FBevelOuter)
        return;
    FBevelOuter = v;
    FrameChanged();
}

void TPanel::SetBevelWidth(int32_t v)
{
    v = std::max<int32_t>(v, 1);
    if (v == FBevelWidth)
        return;
    FBevelWidth = v;
    FrameChanged();
}

void TPanel::SetBorderWidth(int32_t v)
{
    v = std::max<int32_t>(v, 0);
    if (v == FBorderWidth)
        return;
    FBorderWidth = v;
    FrameChanged();
}

void TPanel::SetAlignment(TAlignment v)
{
    if (v == FAlignment)
        return;
    FAlignment = v;
    Invalidate();
}

int32_t TPanel::FrameWidth() const
{
    return FBorderWidth + (FBevelOuter != bvNone ? FBevelWidth : 0) + (FBevelInner != bvNone ? FBevelWidth : 0);
}

void TPanel::AlignControls(TRect R)
{
    const int32_t f = FrameWidth();
    TControl::AlignControls(InflateRect(R, -f, -f));
}

void TPanel::Paint()
{
    TCanvas& c = *Canvas();
    TRect r = ClientRect();
    TColor top = clBtnHighlight, bottom = clBtnShadow;
    if (FBevelOuter != bvNone) {
        BevelColors(FBevelOuter, top, bottom);
        Frame3D(c, r, top, bottom, FBevelWidth);
    }
    Frame3D(c, r, Color(), Color(), FBorderWidth);
    if (FBevelInner != bvNone) {
        BevelColors(FBevelInner, top, bottom);
        Frame3D(c, r, top, bottom, FBevelWidth);
    }
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    c.FillRect(r);
    if (Caption().isEmpty())
        return;
    c.Brush().SetStyle(bsClear);
    const int32_t h = c.TextHeight(QStringLiteral("W"));
    r.Top = (r.Top + r.Bottom - h) / 2;
    r.Bottom = r.Top + h;
    c.DrawText(Caption(), r, DT_EXPANDTABS | DT_VCENTER | AlignmentFlags(FAlignment));
}

// ---- TLabel -----------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) { SetBounds(0, 0, 65, 17); }

void TLabel::SetAutoSize(bool v)
{
    if (v == FAutoSize)
        return;
    FAutoSize = v;
    AdjustBounds();
}

void TLabel::SetAlignment(TAlignment v)
{
    if (v == FAlignment)
        return;
    FAlignment = v;
    Invalidate();
}

void TLabel::SetTransparent(bool v)
{
    if (v == FTransparent)
        return;
    FTransparent = v;
    Invalidate();
}

void TLabel::Loaded()
{
    TControl::Loaded();
    AdjustBounds();
}

void TLabel::TextChanged()
{
    AdjustBounds();
    TControl::TextChanged();
}

void TLabel::FontChanged()
{
    AdjustBounds();
    TControl::FontChanged();
}

void TLabel::AdjustBounds()
{
    if (!FAutoSize || IsLoading())
        return;
    TCanvas& c = *Canvas();
    c.Font().Assign(*Font());
    // An empty caption still takes a line's height.
    const QString text = Caption().isEmpty() ? QStringLiteral(" ") : Caption();
    TRect r = Rect(0, 0, Width(), 0);
    c.DrawText(text, r, DT_EXPANDTABS | DT_CALCRECT | AlignmentFlags(FAlignment));
    int32_t left = Left();
    if (FAlignment == taRightJustify)
        left += Width() - r.Width();
    else if (FAlignment == taCenter)
        left += (Width() - r.Width()) / 2;
    SetBounds(left, Top(), r.Width(), r.Height());
}

void TLabel::Paint()
{
    TCanvas& c = *Canvas();
    TRect r = ClientRect();
    if (!FTransparent) {
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(Color());
        c.FillRect(r);
    }
    c.Brush().SetStyle(bsClear);
    const uint32_t flags = DT_EXPANDTABS | AlignmentFlags(FAlignment);
    if (Enabled()) {
        c.DrawText(Caption(), r, flags);
        return;
    }
    // Engraved: highlight one pixel down-right, shadow on top.
    TRect shifted = Rect(r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1);
    c.Font().SetColor(clBtnHighlight);
    c.DrawText(Caption(), shifted, flags);
    c.Font().SetColor(clBtnShadow);
    c.DrawText(Caption(), r, flags);
}

// ---- TComboBox --------------------------------------------------------------------

class TComboBox::TInner : public QComboBox {
public:
    explicit TInner(TComboBox* owner) : QComboBox(owner), FOwner(owner) {}

    void showPopup() override
    {
        QComboBox::showPopup();
        FOwner->PopupShown(true);
    }
    void hidePopup() override
    {
        QComboBox::hidePopup();
        FOwner->PopupShown(false);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        if (!FOwner->OwnerPaints()) {
            QComboBox::paintEvent(e);
            return;
        }
        QPainter p(this);
        p.setClipRegion(e->region());
        FOwner->PaintWith(p);
    }

private:
    TComboBox* FOwner;
};

TComboBox::TComboBox(TComponent* AOwner) : TControl(AOwner), FInner(new TInner(this))
{
    FInner->setEditable(true);
    FInner->setMaxVisibleItems(FDropDownCount);
    FInner->setInsertPolicy(QComboBox::NoInsert);
    FInner->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(FInner);
    QObject::connect(FInner, &QComboBox::activated, this, [this](int index) { UserPicked(index); });
    QObject::connect(FInner, &QComboBox::editTextChanged, this, [this](const QString&) { UserEdited(); });
    SetColor(clWindow);
    SetBounds(0, 0, 145, 21);
    ApplyLook();
}

TComboBox::~TComboBox() = default;

QComboBox* TComboBox::Widget() const { return FInner; }

QStringList TComboBox::Items() const
{
    QStringList list;
    for (int i = 0; i < FInner->count(); ++i)
        list << FInner->itemText(i);
    return list;
}

void TComboBox::SetItems(const QStringList& v)
{
    FProgrammatic = true;
    const QString text = FInner->isEditable() ? FInner->currentText() : QString();
    FInner->clear();
    FInner->addItems(v);
    if (FSorted)
        FInner->model()->sort(0);
    FInner->setCurrentIndex(-1);
    if (FInner->isEditable())
        FInner->setEditText(text);
    FLastIndex = -1;
    FProgrammatic = false;
}

int32_t TComboBox::ItemIndex() const { return FInner->currentIndex(); }

void TComboBox::SetItemIndex(int32_t v)
{
    if (IsLoading())
        FLoadedIndex = v;
    if (v < -1 || v >= FInner->count())
        v = -1;
    FProgrammatic = true;
    FInner->setCurrentIndex(v);
    FLastIndex = v;
    FProgrammatic = false;
}

QString TComboBox::Text() const { return FInner->currentText(); }

void TComboBox::SetText(const QString& v)
{
    FProgrammatic = true;
    if (FInner->isEditable()) {
        FInner->setEditText(v);
        FLastIndex = FInner->findText(v);
    } else {
        FInner->setCurrentIndex(FInner->findText(v));
        FLastIndex = FInner->currentIndex();
    }
    FProgrammatic = false;
}

void TComboBox::SetStyle(TComboBoxStyle v)
{
    if (v == FStyle)
        return;
    FStyle = v;
    const int index = FInner->currentIndex();
    FProgrammatic = true;
    FInner->setEditable(v == csDropDown || v == csSimple);
    FInner->setCurrentIndex(index);
    if (FInner->lineEdit() && FMaxLength > 0)
        FInner->lineEdit()->setMaxLength(FMaxLength);
    FProgrammatic = false;
    ApplyLook();
}

void TComboBox::SetDropDownCount(int32_t v)
{
    FDropDownCount = std::max<int32_t>(v, 1);
    FInner->setMaxVisibleItems(FDropDownCount);
}

void TComboBox::SetItemHeight(int32_t v)
{
    if (v <= 0 || v == FItemHeight)
        return;
    FItemHeight = v;
    Invalidate();
}

void TComboBox::SetSorted(bool v)
{
    if (v == FSorted)
        return;
    FSorted = v;
    if (v) {
        const QString current = FInner->currentText();
        FProgrammatic = true;
        FInner->model()->sort(0);
        FInner->setCurrentIndex(FInner->findText(current));
        FLastIndex = FInner->currentIndex();
        FProgrammatic = false;
    }
}

void TComboBox::SetMaxLength(int32_t v)
{
    FMaxLength = std::max<int32_t>(v, 0);
    if (FInner->lineEdit())
        FInner->lineEdit()->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
}

void TComboBox::SetDroppedDown(bool v)
{
    if (v == FDroppedDown)
        return;
    if (v)
        FInner->showPopup();
    else
        FInner->hidePopup();
}

void TComboBox::PopupShown(bool shown)
{
    FDroppedDown = shown;
    if (shown)
        GuardedCall([this] {
            if (OnDropDown)
                OnDropDown(this);
        });
    Invalidate();
    FInner->update();
}

bool TComboBox::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnChange")
        return AssignEvent(OnChange, Handler);
    if (Name == "OnDropDown")
        return AssignEvent(OnDropDown, Handler);
    return TControl::SetEvent(Name, Handler);
}

void TComboBox::Loaded()
{
    TControl::Loaded();
    if (FLoadedIndex != -2)
        SetItemIndex(FLoadedIndex);
    FLoadedIndex = -2;
}

void TComboBox::SelectByUser(int32_t Index)
{
    if (Index < 0 || Index >= FInner->count())
        return;
    FProgrammatic = true;
    FInner->setCurrentIndex(Index);
    FProgrammatic = false;
    UserPicked(Index);
}

void TComboBox::UserPicked(int index)
{
    if (index == FLastIndex)
        return;
    FLastIndex = index;
    GuardedCall([this] { Change(); });
}

void TComboBox::UserEdited()
{
    if (FProgrammatic || !FInner->isEditable() || IsLoading())
        return;
    FLastIndex = FInner->findText(FInner->currentText());
    GuardedCall([this] { Change(); });
}

void TComboBox::Change()
{
    if (OnChange)
        OnChange(this);
}

void TComboBox::Resize()
{
    FInner->setGeometry(0, 0, Width(), Height());
    TControl::Resize();
}

void TComboBox::ApplyLook()
{
    QPalette pal = FInner->palette();
    const QColor body = ToQColor(Color());
    const QColor text = ToQColor(Font()->Color());
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(g, QPalette::Base, body);
        pal.setColor(g, QPalette::Button, body);
        pal.setColor(g, QPalette::Window, body);
        pal.setColor(g, QPalette::Text, text);
        pal.setColor(g, QPalette::ButtonText, text);
        pal.setColor(g, QPalette::WindowText, text);
    }
    FInner->setPalette(pal);
    FInner->view()->setPalette(pal);
    FInner->setFont(Font()->ToQFont());
    FInner->view()->setFont(Font()->ToQFont());
    FInner->update();
}

void TComboBox::ColorChanged()
{
    ApplyLook();
    TControl::ColorChanged();
}

void TComboBox::FontChanged()
{
    ApplyLook();
    TControl::FontChanged();
}

void TComboBox::EnabledChanged()
{
    FInner->setEnabled(Enabled());
    TControl::EnabledChanged();
}

// ---- TTimer -----------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : QObject(nullptr), TComponent(AOwner), FTimer(std::make_unique<QTimer>())
{
    FTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(FTimer.get(), &QTimer::timeout, this, [this] { GuardedCall([this] { Timer(); }); });
    UpdateTimer();
}

TTimer::~TTimer() { FTimer->stop(); }

void TTimer::SetEnabled(bool v)
{
    if (v == FEnabled)
        return;
    FEnabled = v;
    UpdateTimer();
}

void TTimer::SetInterval(int32_t v)
{
    v = std::max<int32_t>(v, 0);
    if (v == FInterval)
        return;
    FInterval = v;
    UpdateTimer();
}

bool TTimer::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnTimer")
        return AssignEvent(OnTimer, Handler);
    return TComponent::SetEvent(Name, Handler);
}

void TTimer::Loaded()
{
    TComponent::Loaded();
    UpdateTimer();
}

bool TTimer::Active() const { return FTimer->isActive(); }

void TTimer::UpdateTimer()
{
    FTimer->stop();
    if (FEnabled && FInterval > 0 && !IsLoading())
        FTimer->start(FInterval);
}

void TTimer::Timer()
{
    if (OnTimer)
        OnTimer(this);
}

// ---- registration -----------------------------------------------------------------

void RegisterFrameworkComponents()
{
    RegisterControlEnums();
    TEnumNames::Register<TPosition>({"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                     "poScreenCenter", "poDesktopCenter", "poMainFormCenter",
                                     "poOwnerFormCenter"});
    TEnumNames::Register<TCloseAction>({"caNone", "caHide", "caFree", "caMinimize"});
    TEnumNames::Register<TComboBoxStyle>(
        {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"});
    TComponentRegistry::Register("TPanel", [](TComponent* o) { return new TPanel(o); });
    TComponentRegistry::Register("TLabel", [](TComponent* o) { return new TLabel(o); });
    TComponentRegistry::Register("TComboBox", [](TComponent* o) { return new TComboBox(o); });
    TComponentRegistry::Register("TTimer", [](TComponent* o) { return new TTimer(o); });
}

} // namespace qv
