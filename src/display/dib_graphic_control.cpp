#include "display/dib_graphic_control.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "framework/exception_handler.h"

namespace qv {

namespace {
std::mutex& ListLock()
{
    static auto* m = new std::mutex;
    return *m;
}
std::vector<TMMDIBGraphicControl*>& List()
{
    static auto* l = new std::vector<TMMDIBGraphicControl*>;
    return *l;
}
} // namespace

TMMDIBGraphicControl::TMMDIBGraphicControl(TComponent* AOwner)
    : TMMGraphicControl(AOwner)
    , FDIBCanvas(std::make_unique<TMMDIBCanvas>())
    , FBackGroundDIB(std::make_unique<TBitmap>())
{
    FBackGroundDIB->setObjectName(QStringLiteral("BackGroundDIB"));
    FBackGroundDIB->OnChange = [this](TBitmap*) { BackGroundDIBChanged(); };
}

TMMDIBGraphicControl::~TMMDIBGraphicControl()
{
    RemoveFromControlList();
    FBackGroundDIB->OnChange = nullptr;
}

// ---- background properties -------------------------------------------------------

void TMMDIBGraphicControl::SetBackGroundDIB(TBitmap* Value)
{
    if (Value != FBackGroundDIB.get())
        FBackGroundDIB->Assign(Value);
}

void TMMDIBGraphicControl::BackGroundDIBChanged()
{
    if (IsLoading())
        return;
    if (IsDesigning()) {
        const bool have = !FBackGroundDIB->Empty();
        FDIBCanvas->SetPaletteRealize(have);
        if (!have)
            FDIBCanvas->SetPaletteMapped(false);
        FUseBackGroundDIB = have;
    }
    FDIBCanvas->SetBackGroundBitmap(FUseBackGroundDIB ? FBackGroundDIB.get() : nullptr);
    Invalidate();
}

void TMMDIBGraphicControl::SetUseBackGroundDIB(bool Value)
{
    if (IsLoading()) {
        FLoadedUseBackGroundDIB = Value;
        return;
    }
    if (Value == FUseBackGroundDIB)
        return;
    const bool effective = Value && !FBackGroundDIB->Empty();
    FUseBackGroundDIB = effective;
    FDIBCanvas->SetPaletteRealize(effective);
    FDIBCanvas->SetBackGroundBitmap(effective ? FBackGroundDIB.get() : nullptr);
    Invalidate();
}

void TMMDIBGraphicControl::SetPaletteRealize(bool Value)
{
    if (Value == FDIBCanvas->PaletteRealize())
        return;
    FDIBCanvas->SetPaletteRealize(Value);
    Invalidate();
}

void TMMDIBGraphicControl::SetPaletteMapped(bool Value)
{
    if (Value == FDIBCanvas->PaletteMapped())
        return;
    FDIBCanvas->SetPaletteMapped(Value);
    Invalidate();
}

void TMMDIBGraphicControl::Loaded()
{
    TMMGraphicControl::Loaded();
    if (FLoadedUseBackGroundDIB)
        SetUseBackGroundDIB(true);
}

// ---- size, format and background ---------------------------------------------------

void TMMDIBGraphicControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    TMMGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    FDIBCanvas->SetBounds(0, 0, Width(), Height());
}

void TMMDIBGraphicControl::SetBitsPerPixel(int32_t Value)
{
    FDIBCanvas->SetBitsPerPixel(Value);
    Invalidate();
}

void TMMDIBGraphicControl::DrawBackground()
{
    TMMDIBCanvas& c = *FDIBCanvas;
    if (c.Bits() && c.BackBits()) {
        c.DIBCopyRect(0, 0, c.Width(), c.Height(), 0, 0, c.BackBits());
    } else {
        c.SetDrawColor(Color());
        c.DIBClear();
    }
}

// ---- the screen image --------------------------------------------------------------------

void TMMDIBGraphicControl::EnsureScreen()
{
    const int w = std::max(Width(), 0), h = std::max(Height(), 0);
    if (FScreen.width() == w && FScreen.height() == h)
        return;
    FScreen = (w > 0 && h > 0) ? QImage(w, h, QImage::Format_RGB32) : QImage();
    if (!FScreen.isNull())
        FScreen.fill(Qt::black);
    FNeedsFullPaint = true;
}

void TMMDIBGraphicControl::paintEvent(QPaintEvent* e)
{
    TCanvas& canvas = *Canvas();
    canvas.Lock();
    EnsureScreen();
    if (!FScreen.isNull()) {
        if (FNeedsFullPaint.exchange(false)) {
            QPainter sp(&FScreen);
            sp.setClipRect(0, 0, FScreen.width(), FScreen.height());
            canvas.ResetUpdateRect();
            PaintWith(sp);
        }
        // Only the requested rectangle goes to the screen.
        QPainter wp(this);
        const QRect r = e->rect();
        wp.drawImage(r.topLeft(), FScreen, r);
    }
    canvas.Unlock();
}

void TMMDIBGraphicControl::FlushScreen(const TRect& R)
{
    if (R.IsEmpty())
        return;
    const QRect r(R.Left, R.Top, R.Width(), R.Height());
    if (IsMainThread())
        QWidget::repaint(r);
    else
        RunInMainThread([this, r] { QWidget::update(r); });
}

void TMMDIBGraphicControl::PaintDirect(void* Argument, const TPaintDirectProc& Procedure)
{
    if (!Procedure || !Visible() || !Parent())
        return;
    TCanvas& canvas = *Canvas();
    TRect dirty;
    {
        std::unique_lock<TCanvas> guard(canvas);
        EnsureScreen();
        if (FScreen.isNull())
            return;
        QPainter sp(&FScreen);
        sp.setClipRect(0, 0, FScreen.width(), FScreen.height());
        canvas.ResetUpdateRect();
        canvas.Attach(&sp);
        canvas.Font().Assign(*Font());
        struct Detach {
            TCanvas& c;
            ~Detach() { c.Detach(); }
        } detach { canvas };
        Procedure(this, Argument);
        dirty = IntersectRect(canvas.UpdateRect(), Rect(0, 0, FScreen.width(), FScreen.height()));
    }
    FlushScreen(dirty);
}

void TMMDIBGraphicControl::ScrollScreen(int32_t DX, int32_t DY, const TRect& R)
{
    TRect area;
    {
        std::lock_guard<TCanvas> guard(*Canvas());
        EnsureScreen();
        area = IntersectRect(R, Rect(0, 0, FScreen.width(), FScreen.height()));
        if (area.IsEmpty() || (DX == 0 && DY == 0))
            return;
        // Rows in the order that reads each before it is overwritten.
        const int32_t w = area.Width() - std::abs(DX);
        const int32_t h = area.Height() - std::abs(DY);
        if (w > 0 && h > 0) {
            const int32_t srcX = DX < 0 ? area.Left - DX : area.Left;
            const int32_t dstX = DX < 0 ? area.Left : area.Left + DX;
            auto copyRow = [&](int32_t k) {
                const int32_t srcY = (DY < 0 ? area.Top - DY : area.Top) + k;
                const int32_t dstY = (DY < 0 ? area.Top : area.Top + DY) + k;
                auto* base = const_cast<uchar*>(FScreen.constBits());
                const qsizetype bpl = FScreen.bytesPerLine();
                std::memmove(
                    base + dstY * bpl + dstX * 4, base + srcY * bpl + srcX * 4, static_cast<size_t>(w) * 4);
            };
            if (DY > 0)
                for (int32_t k = h - 1; k >= 0; --k)
                    copyRow(k);
            else
                for (int32_t k = 0; k < h; ++k)
                    copyRow(k);
        }
    }
    const QRect r(area.Left, area.Top, area.Width(), area.Height());
    if (IsMainThread())
        QWidget::scroll(DX, DY, r);
    else
        RunInMainThread([this, r] { QWidget::update(r); });
}

// ---- the class-wide list ---------------------------------------------------------------------

void TMMDIBGraphicControl::AddToControlList()
{
    std::lock_guard<std::mutex> lock(ListLock());
    auto& l = List();
    if (std::find(l.begin(), l.end(), this) == l.end())
        l.push_back(this);
}

void TMMDIBGraphicControl::RemoveFromControlList()
{
    std::lock_guard<std::mutex> lock(ListLock());
    auto& l = List();
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

void TMMDIBGraphicControl::MarkOthersForRedraw()
{
    // Under the lock, so that no control leaves the list while it is told.
    std::lock_guard<std::mutex> lock(ListLock());
    for (TMMDIBGraphicControl* c : List())
        if (c != this)
            c->RedrawRequested();
}

std::vector<TMMDIBGraphicControl*> TMMDIBGraphicControl::ControlList()
{
    std::lock_guard<std::mutex> lock(ListLock());
    return List();
}

} // namespace qv
