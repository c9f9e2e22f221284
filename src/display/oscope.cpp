#include "display/oscope.h"

#include <QCursor>
#include <QImage>
#include <QToolTip>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "display/scale_text.h"
#include "framework/enum_names.h"

namespace qv {

using namespace oscope;

namespace {

// The oscilloscopes that exist outside design mode: a view that restarts its
// scrolling trace by itself makes every other one restart with it.
std::mutex& ScopeListLock()
{
    static auto* m = new std::mutex;
    return *m;
}
std::vector<TMMOscope*>& ScopeListStore()
{
    static auto* l = new std::vector<TMMOscope*>;
    return *l;
}

// The read-out's saved patch of DIB pixels under the box, shared by every
// view (only one read-out can be shown at a time: it holds the mouse).
struct TInfoPatch {
    bool Exists = false;
    int32_t Width = 0;  // the patch's size
    int32_t Height = 0;
    TRect Saved;        // the part of the DIB that was saved (clipped)
    int32_t BytesPerPixel = 1;
    std::vector<uint8_t> Bytes;
};
TInfoPatch& InfoPatch()
{
    static auto* p = new TInfoPatch;
    return *p;
}

void SavePatch(TInfoPatch& p, const TDIBSurface& s, int32_t X, int32_t Y)
{
    p.Saved = IntersectRect(Bounds(X, Y, p.Width, p.Height), Rect(0, 0, s.Width, s.Height));
    p.BytesPerPixel = s.BytesPerPixel;
    p.Bytes.clear();
    if (p.Saved.IsEmpty() || !s.Bits)
        return;
    const size_t row = static_cast<size_t>(p.Saved.Width()) * s.BytesPerPixel;
    p.Bytes.resize(row * static_cast<size_t>(p.Saved.Height()));
    for (int32_t y = p.Saved.Top; y < p.Saved.Bottom; ++y)
        std::memcpy(p.Bytes.data() + static_cast<size_t>(y - p.Saved.Top) * row, s.Pixel(p.Saved.Left, y), row);
}

void RestorePatch(const TInfoPatch& p, const TDIBSurface& s)
{
    if (p.Bytes.empty() || !s.Bits || p.BytesPerPixel != s.BytesPerPixel
        || p.Saved.Right > s.Width || p.Saved.Bottom > s.Height)
        return;
    const size_t row = static_cast<size_t>(p.Saved.Width()) * s.BytesPerPixel;
    for (int32_t y = p.Saved.Top; y < p.Saved.Bottom; ++y)
        std::memcpy(s.Pixel(p.Saved.Left, y), p.Bytes.data() + static_cast<size_t>(y - p.Saved.Top) * row, row);
}

void ReleasePatch()
{
    TInfoPatch& p = InfoPatch();
    p = TInfoPatch{};
}

TColor ParentColorOf(const TControl* c)
{
    return c->Parent() ? c->Parent()->Color() : c->Color();
}

} // namespace

// Forwards the drawing routines' overflow notices to the view's triggers.
class TMMOscope::TSink : public TOverflowSink {
public:
    explicit TSink(TMMOscope* Owner) : FOwner(Owner) {}
    void PcmOverflow() override { FOwner->PcmOverflow(); }
    void GainOverflow() override { FOwner->GainOverflow(); }

private:
    TMMOscope* FOwner;
};

// ---- life ----------------------------------------------------------------------

TMMOscope::TMMOscope(TComponent* AOwner) : TMMDIBGraphicControl(AOwner), FSink(std::make_unique<TSink>(this))
{
    TControl::SetColor(clBlack);
    SetCursor(crCross);
    FScrollX = -FBarWidth;
    SetBounds(Left(), Top(), 194, 90);
    UpdateLayout();
    if (!IsDesigning())
        AddToScopeList();
}

TMMOscope::~TMMOscope()
{
    if (FCursorConfined)
        ConfineCursor(false);
    if (FInfoActive)
        ReleasePatch();
    RemoveFromScopeList();
}

void TMMOscope::AddToScopeList()
{
    std::lock_guard<std::mutex> lock(ScopeListLock());
    auto& l = ScopeListStore();
    if (std::find(l.begin(), l.end(), this) == l.end())
        l.push_back(this);
}

void TMMOscope::RemoveFromScopeList()
{
    std::lock_guard<std::mutex> lock(ScopeListLock());
    auto& l = ScopeListStore();
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

std::vector<TMMOscope*> TMMOscope::ScopeList()
{
    std::lock_guard<std::mutex> lock(ScopeListLock());
    return ScopeListStore();
}

void TMMOscope::SetDesigning(bool Value)
{
    TMMDIBGraphicControl::SetDesigning(Value);
    if (!Value) {
        AddToScopeList();
        ResetSamples();
    }
}

bool TMMOscope::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnGainOverflow")
        return AssignEvent(OnGainOverflow, Handler);
    if (Name == "OnPcmOverflow")
        return AssignEvent(OnPcmOverflow, Handler);
    if (Name == "OnDrawLine")
        return AssignEvent(OnDrawLine, Handler);
    if (Name == "OnPostPaint")
        return AssignEvent(OnPostPaint, Handler);
    return TMMDIBGraphicControl::SetEvent(Name, Handler);
}

void TMMOscope::GainOverflow()
{
    if (OnGainOverflow)
        OnGainOverflow(this);
}

void TMMOscope::PcmOverflow()
{
    if (OnPcmOverflow)
        OnPcmOverflow(this);
}

// ---- layout ----------------------------------------------------------------------

void TMMOscope::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    const int32_t b = BevelExtent();
    AWidth = std::max(AWidth, MinWidth(b, FDrawAmpScale));
    AHeight = std::max(AHeight, MinHeight(b, FDrawTimeScale));
    TMMDIBGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    // The base sizes the DIB to the whole control; this view draws only the trace area.
    DIBCanvas()->SetBounds(0, 0, FScopeWidth, FScopeHeight);
}

void TMMOscope::Resize()
{
    TMMDIBGraphicControl::Resize();
    UpdateLayout();
}

void TMMOscope::BevelChanged()
{
    // The trace area depends on the bevel's width.
    ApplyConstraints();
    TMMDIBGraphicControl::BevelChanged();
}

void TMMOscope::ApplyConstraints()
{
    const int32_t b = BevelExtent();
    const int32_t w = std::max(Width(), MinWidth(b, FDrawAmpScale));
    const int32_t h = std::max(Height(), MinHeight(b, FDrawTimeScale));
    if (w == Width() && h == Height())
        UpdateLayout();
    else
        SetBounds(Left(), Top(), w, h);
}

void TMMOscope::UpdateLayout()
{
    std::lock_guard<TCanvas> guard(*Canvas());
    FScopeRect = oscope::ScopeRect(Width(), Height(), BevelExtent(), FDrawAmpScale, FDrawTimeScale);
    FScopeWidth = std::max(FScopeRect.Width(), 4);
    FScopeHeight = std::max(FScopeRect.Height(), 4);
    FMidY = FScopeHeight / 2;
    // Room for W values and 40 more, as the capture may look one past the end.
    FSamples.assign(static_cast<size_t>(FScopeWidth) + 40, 0);
    DIBCanvas()->SetBounds(0, 0, FScopeWidth, FScopeHeight);
    FBand = oscope::EffectBand(FEffect, FScopeHeight, FBand);
    ComputeBlockBytes();
    FAmpDivisions = oscope::AmpDivisions(FScopeHeight);
    Invalidate();
}

void TMMOscope::ComputeBlockBytes()
{
    FBlockBytes = oscope::ComputeBlockBytes(FBitLength, FMode, FScroll, FFFTLength, FScopeWidth, FZoom);
}

void TMMOscope::ResetSamples()
{
    std::lock_guard<TCanvas> guard(*Canvas());
    std::fill(FSamples.begin(), FSamples.end(), int16_t{0});
}

TWaveFormatEx TMMOscope::CurrentFormat() const
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, static_cast<uint16_t>((FBitLength + 1) * 8), static_cast<uint16_t>(FMode + 1),
                   static_cast<uint32_t>(FSampleRate));
    return f;
}

TVerticalMap TMMOscope::VerticalMap() const
{
    TVerticalMap m;
    m.H = FScopeHeight;
    m.GainFactor = FGainFactor;
    m.ValueRange = FValueRange;
    m.ValueOffset = FValueOffset;
    return m;
}

// ---- properties --------------------------------------------------------------------

void TMMOscope::SetKind(TMMOscopeKind Value)
{
    if (Value == FKind)
        return;
    FKind = Value;
    if (FKind == okSpikes) {
        FValueRange = 32767;
        FValueOffset = 0;
    } else {
        FValueRange = 65535;
        FValueOffset = 32767;
    }
    Invalidate();
}

void TMMOscope::SetEffect(TMMOscopeEffect Value)
{
    FEffect = Value;
    FBand = oscope::EffectBand(FEffect, FScopeHeight, FBand);
    Invalidate();
}

void TMMOscope::SetGain(int32_t Value)
{
    if (Value < -8 || Value > 32 || Value + 8 == FGainFactor)
        return;
    FGainFactor = Value + 8;
    Invalidate();
}

void TMMOscope::SetZoom(int32_t Value)
{
    if (Value == 0 || Value == FZoom)
        return;
    FZoom = std::clamp(Value, -9, 9);
    ComputeBlockBytes();
    Invalidate();
}

void TMMOscope::SetSteps(int32_t Value)
{
    Value = std::clamp(Value, 1, 9);
    if (Value == FSteps)
        return;
    FSteps = Value;
    Invalidate();
}

void TMMOscope::SetScroll(bool Value)
{
    if (Value == FScroll)
        return;
    FScroll = Value;
    UpdateLayout();
}

void TMMOscope::SetAccelerate(bool Value)
{
    if (Value == FAccelerate)
        return;
    FAccelerate = Value;
    if (!Value && FScroll)
        Invalidate();
}

void TMMOscope::SetFFTLength(int32_t Value)
{
    Value = LimitFFTLength(Value);
    if (Value == FFFTLength)
        return;
    FFFTLength = Value;
    if (FScroll) {
        ComputeBlockBytes();
        Invalidate();
    }
}

void TMMOscope::SetBitLength(TMMBits Value)
{
    if (Value == FBitLength)
        return;
    FBitLength = Value;
    ComputeBlockBytes();
    Invalidate();
}

void TMMOscope::SetChannel(TMMChannel Value)
{
    if (Value == FChannel)
        return;
    FChannel = Value;
    ComputeBlockBytes();
    Invalidate();
}

void TMMOscope::SetMode(TMMMode Value)
{
    if (Value == FMode)
        return;
    FMode = Value;
    ComputeBlockBytes();
    Invalidate();
}

void TMMOscope::SetSampleRate(int32_t Value)
{
    if (Value == FSampleRate)
        return;
    FSampleRate = std::clamp(Value, 8000, 88200);
    Invalidate();
}

void TMMOscope::SetDrawAmpScale(bool Value)
{
    if (Value == FDrawAmpScale)
        return;
    FDrawAmpScale = Value;
    ApplyConstraints();
    Invalidate();
}

void TMMOscope::SetDrawTimeScale(bool Value)
{
    if (Value == FDrawTimeScale)
        return;
    FDrawTimeScale = Value;
    ApplyConstraints();
    Invalidate();
}

void TMMOscope::SetDrawGrid(bool Value)
{
    if (Value == FDrawGrid)
        return;
    FDrawGrid = Value;
    Invalidate();
}

void TMMOscope::SetDrawMidLine(bool Value)
{
    if (Value == FDrawMidLine)
        return;
    FDrawMidLine = Value;
    Invalidate();
}

void TMMOscope::SetEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    Invalidate();
}

void TMMOscope::SetBarWidth(int32_t Value)
{
    Value = std::max(Value, 1);
    if (Value == FBarWidth)
        return;
    FBarWidth = Value;
    Invalidate();
}

void TMMOscope::SetColor(TColorIndex Index, TColor Value)
{
    if (Index < 0 || Index >= ColorCount || FColors[Index] == Value)
        return;
    FColors[Index] = Value;
    Invalidate();
}

// ---- view operations ------------------------------------------------------------------

void TMMOscope::ApplyPCMFormat(const TWaveFormatEx* Format)
{
    if (!IsPCMFormatValid(Format))
        throw EMMOscopeError("Invalid WaveFormat");
    SetSampleRate(static_cast<int32_t>(Format->nSamplesPerSec));
    SetBitLength(BitLengthOf(*Format));
    SetMode(ModeOf(*Format));
}

void TMMOscope::ProcessBlock(void* Data)
{
    if (!FEnabled || !Visible() || FInfoActive)
        return;
    bool scroll = false;
    {
        std::lock_guard<TCanvas> guard(*Canvas());
        const auto* bytes = static_cast<const uint8_t*>(Data);
        if (FScroll) {
            const TMinMaxPair p = CaptureMinMax(bytes, FBlockBytes, FBitLength, FMode, FChannel);
            FSamples[0] = p.First;
            FSamples[1] = p.Second;
        } else {
            CaptureColumns(bytes, FBlockBytes, FBitLength, FMode, FChannel, FZoom, FSamples.data(), FScopeWidth);
        }
        if (FLowPass)
            oscope::LowPass(FSamples.data(), FScopeWidth);
        PaintDirect(nullptr, [&scroll](TMMDIBGraphicControl* c, void*) {
            scroll = static_cast<TMMOscope*>(c)->DrawScope(false);
        });
    }
    // After the new column has reached the screen, the screen image moves left.
    if (scroll)
        ScrollScreen(-1, 0, ScrollArea());
}

void TMMOscope::ResetDisplay()
{
    if (!IsMainThread()) {
        RunInMainThread([this] { ResetDisplay(); });
        return;
    }
    if (FInfoActive) {
        const QPoint p = mapFromGlobal(QCursor::pos());
        MouseUp(mbLeft, 0, p.x(), p.y());
    }
    ResetSamples();
    Repaint();
}

// ---- drawing --------------------------------------------------------------------------

TTraceStyle TMMOscope::TraceStyle(TMMDIBCanvas& C) const
{
    TTraceStyle s;
    s.Kind = FKind;
    s.Effect = FEffect;
    s.Steps = FSteps;
    s.W = FScopeWidth;
    s.H = FScopeHeight;
    s.MidY = FMidY;
    s.Map = VerticalMap();
    s.Band = FBand;
    s.Fore = C.MapColor(FColors[ciForeground]);
    s.EffectColor = C.MapColor(FColors[ciEffect]);
    s.Back = C.MapColor(Color());
    return s;
}

void TMMOscope::CopyDIBToScreen()
{
    DIBCanvas()->CopyToDC(Canvas(), FScopeRect.Left, FScopeRect.Top, FScopeWidth, FScopeHeight, 0, 0);
}

void TMMOscope::DrawScreenBar()
{
    TCanvas* c = Canvas();
    const int32_t x = FScopeRect.Left + FScrollCount;
    c->Pen().SetColor(FColors[ciBar]);
    c->Pen().SetWidth(1);
    c->Pen().SetStyle(psSolid);
    c->MoveTo(x, FScopeRect.Top);
    c->LineTo(x, FScopeRect.Bottom);
    const int32_t b = BevelExtent();
    for (int32_t k = 0; k <= FAmpDivisions; ++k)
        c->SetPixel(x, b + BarTickRow(k, FAmpDivisions, FScopeHeight), FColors[ciBarTick]);
}

TRect TMMOscope::ScrollArea() const
{
    // The trace area on the screen, less the bar's columns but its first.
    TRect r = FScopeRect;
    r.Right -= FBarWidth - 1;
    return r;
}

bool TMMOscope::DrawScope(bool Full)
{
    TMMDIBCanvas& d = *DIBCanvas();
    const int32_t W = FScopeWidth, H = FScopeHeight;
    bool scrollScreen = false;
    {
        TDIBDrawScope draw(d);
        if (OnDrawLine) {
            OnDrawLine(this, &d, Rect(0, 0, W, H), FSamples.data());
            CopyDIBToScreen();
        } else {
            const bool pending = FRestartPending.load();
            if (!FScroll || Full || pending) {
                DrawBackground();
                FScrollX = -FBarWidth;
                FScrollCount = 0;
                FLastPen = Point(0, FMidY);
                if (!pending && FScroll)
                    for (TMMOscope* o : ScopeList())
                        if (o != this)
                            o->FRestartPending.store(true);
            }
            const TTraceStyle style = TraceStyle(d);
            if (!FEnabled) {
                DrawDisabledLine(d, W, FMidY, d.MapColor(FColors[ciDisabled]));
            } else if (!FScroll) {
                if (FDrawMidLine)
                    oscope::DrawMidLine(d, W, FMidY, d.MapColor(FColors[ciDisabled]));
                if (FDrawGrid)
                    oscope::DrawGrid(d, W, H, FAmpDivisions, oscope::TimeDivisions(W), d.MapColor(FColors[ciGrid]));
                DrawTrace(d, style, FSamples.data(), FSink.get());
            } else {
                DrawScrollColumn(d, style, FScrollX, FSamples[0], FSamples[1], FLastPen, FSink.get());
            }

            if (!FScroll) {
                CopyDIBToScreen();
            } else {
                if (Full || FRestartPending.load() || !FAccelerate) {
                    if (FScrollCount < W) {
                        if (FAccelerate)
                            DrawScreenBar(); // covered by the copy that follows
                        else
                            DrawBar(d, FScrollX, FScrollCount, H, FAmpDivisions, d.MapColor(FColors[ciBar]),
                                    d.MapColor(FColors[ciBarTick]));
                    }
                    CopyDIBToScreen();
                    FRestartPending.store(false);
                } else {
                    d.CopyToDC(Canvas(), FScopeRect.Left + FScrollX, FScopeRect.Top, 1, H, FScrollX, 0);
                }
                if (FScrollCount < W) {
                    if (FAccelerate)
                        DrawScreenBar();
                    ++FScrollX;
                    ++FScrollCount;
                } else if (FAccelerate) {
                    scrollScreen = true;
                } else {
                    // Columns 1 .. W - 1 move to 0 .. W - 2; the last keeps its pixels.
                    d.DIBCopyRect(1, 0, W - 1, H, 0, 0, d.Bits());
                }
            }
        }
    }
    if (OnPostPaint)
        OnPostPaint(this);
    return scrollScreen;
}

void TMMOscope::DrawAmpScaleBitmaps(int32_t Hs, TColor Back)
{
    const int32_t b = BevelExtent();
    QImage img(kAmpScaleWidth, std::max(Hs, 1), QImage::Format_RGB32);
    TCanvas work;
    auto scale = [&](int32_t lineX, int32_t tickX, int32_t labelX) {
        img.fill(ToQColor(Back));
        work.AttachDevice(&img);
        work.Pen().SetColor(FColors[ciScaleLine]);
        work.Font().SetColor(FColors[ciScaleText]);
        work.MoveTo(lineX, Hs - b - 1);
        for (int32_t k = 0; k <= FAmpDivisions; ++k) {
            const int32_t y = Hs - b - ScaleTick(k, FAmpDivisions, FScopeHeight) - 1;
            work.LineTo(lineX, y);
            work.LineTo(tickX, y);
            work.MoveTo(lineX, y);
        }
        const QString face = QStringLiteral("ARIAL");
        if (FKind == okSpikes) {
            for (int32_t k = 0; k <= FAmpDivisions; ++k) {
                const int32_t y = Hs - b - ScaleTick(k, FAmpDivisions, FScopeHeight) - 1;
                DrawScaleText(&work, labelX, y,
                              QString::asprintf("%4.2f", static_cast<double>(k) / FAmpDivisions), face,
                              kScaleFontHeight, 1);
            }
        } else {
            for (int32_t i = 0; i <= FAmpDivisions / 2; ++i) {
                const QString t = QString::asprintf("%4.2f", 2.0 * i / FAmpDivisions);
                const int32_t t_i = ScaleTick(i, FAmpDivisions, FScopeHeight);
                const int32_t up = Hs - b - FMidY - t_i - 1;
                const int32_t down = b + FMidY + t_i + 1;
                DrawScaleText(&work, labelX, up, i == 0 ? t : QStringLiteral("+") + t, face, kScaleFontHeight, 1);
                DrawScaleText(&work, labelX, down, i == 0 ? t : QStringLiteral("-") + t, face, kScaleFontHeight,
                              1);
            }
        }
        work.Detach();
    };
    scale(31, 28, 26);
    Canvas()->Draw(-3, 0, img);
    scale(0, 3, 29);
    Canvas()->Draw(Width() - 29, 0, img);
}

void TMMOscope::DrawTimeScaleBitmap(TColor Back)
{
    const int32_t b = BevelExtent();
    const int32_t W = FScopeWidth;
    const int32_t D = oscope::TimeDivisions(W);
    QImage img(2 * b + W, kTimeScaleHeight, QImage::Format_RGB32);
    img.fill(ToQColor(Back));
    TCanvas work;
    work.AttachDevice(&img);
    work.Pen().SetColor(FColors[ciScaleLine]);
    work.Font().SetColor(FColors[ciScaleText]);
    const TWaveFormatEx fmt = CurrentFormat();
    const int32_t total = BytesToMs(&fmt, FBlockBytes);
    const float step = static_cast<float>(total) / static_cast<float>(D);
    work.MoveTo(b, 0);
    for (int32_t k = 0; k <= D; ++k) {
        const int32_t x = b + (W - 1) * k / D;
        work.LineTo(x, 0);
        work.LineTo(x, 3);
        work.MoveTo(x, 0);
        DrawScaleText(&work, x, 6, QString::asprintf("%4.1f", static_cast<double>(k * step)),
                      QStringLiteral("ARIAL"), kScaleFontHeight, 2);
    }
    work.Detach();
    Canvas()->Draw(FScopeRect.Left - b, FScopeRect.Bottom + b + 3, img);
}

void TMMOscope::Paint()
{
    TCanvas& c = *Canvas();
    const int32_t w = Width(), h = Height();
    const int32_t hs = FDrawTimeScale ? h - kTimeScaleHeight : h;
    const TColor back = ParentColorOf(this);
    if (FDrawAmpScale || FDrawTimeScale) {
        c.Brush().SetColor(back);
        c.Brush().SetStyle(bsSolid);
        if (FDrawAmpScale) {
            c.FillRect(Rect(29, 0, 32, hs));
            c.FillRect(Rect(w - 32, 0, w - 29, hs));
        }
        if (FDrawTimeScale) {
            c.FillRect(Rect(0, h - 40, w, h - 37));
            if (FDrawAmpScale) {
                c.FillRect(Rect(0, h - 40, 32, h));
                c.FillRect(Rect(w - 32, h - 40, w, h));
                c.Font().SetColor(FColors[ciScaleText]);
                const QString face = QStringLiteral("ARIAL");
                DrawScaleText(&c, 16, h - 34, QStringLiteral("V"), face, kScaleFontHeight, 1);
                DrawScaleText(&c, w - 14, h - 34, QStringLiteral("V"), face, kScaleFontHeight, 0);
                DrawScaleText(&c, w - 30, h - 20, QStringLiteral("mS"), face, kScaleFontHeight, 0);
            }
        }
    }
    TRect frame = Rect(0, 0, w, hs);
    if (FDrawAmpScale) {
        frame.Left += kAmpScaleWidth;
        frame.Right -= kAmpScaleWidth;
    }
    TRect inner;
    FBevel->PaintBevel(c, frame, inner, true);
    if (FDrawAmpScale)
        DrawAmpScaleBitmaps(hs, back);
    if (FDrawTimeScale)
        DrawTimeScaleBitmap(back);
    DrawScope(true);
}

// ---- measurement read-out -----------------------------------------------------------------

QString TMMOscope::InfoText(int32_t X, int32_t Y) const
{
    const TWaveFormatEx fmt = CurrentFormat();
    const float time = InfoTime(BytesToMs(&fmt, FBlockBytes), X - FScopeRect.Left + 1, FScopeWidth);
    const float volt = InfoVoltage(Y - FScopeRect.Top, FScopeHeight, FKind == okSpikes);
    return QString::asprintf("%4.1f ms", static_cast<double>(time))
        + QString::asprintf(" %4.2f V", static_cast<double>(volt));
}

void TMMOscope::DrawInfo(int32_t X, int32_t Y)
{
    if (!FInfoActive)
        return;
    PaintDirect(nullptr, [X, Y](TMMDIBGraphicControl* ctl, void*) {
        auto* self = static_cast<TMMOscope*>(ctl);
        TMMDIBCanvas& d = *self->DIBCanvas();
        TDIBDrawScope draw(d);
        TInfoPatch& patch = InfoPatch();
        const TRect sr = self->FScopeRect;
        if (X >= sr.Left && X < sr.Right && Y >= sr.Top && Y < sr.Bottom) {
            const QString text = self->InfoText(X, Y);
            TFont& f = d.Font();
            f.SetName(QStringLiteral("MS Sans Serif"));
            f.SetSize(8);
            f.SetStyle(static_cast<TFontStyles>(0));
            f.SetOrientation(0);
            f.SetColor(clInfoText);
            const int32_t tw = d.TextWidth(text), th = d.TextHeight(text);
            const TRect box = InfoBox(X - sr.Left, Y - sr.Top, self->FScopeWidth, self->FScopeHeight, tw, th);
            if (!patch.Exists) {
                patch.Exists = true;
                patch.Width = 10 * d.TextWidth(QStringLiteral("W")) + 4;
                patch.Height = d.TextHeight(QStringLiteral("W")) + 2;
            } else {
                RestorePatch(patch, d.Surface());
            }
            // A text wider than ten "W"s must not leave pixels behind outside the patch.
            patch.Width = std::max(patch.Width, box.Width());
            patch.Height = std::max(patch.Height, box.Height());
            SavePatch(patch, d.Surface(), box.Left, box.Top);
            d.Brush().SetColor(clWhite);
            d.Brush().SetStyle(bsSolid);
            d.Pen().SetColor(clBlack);
            d.Pen().SetWidth(1);
            d.Pen().SetStyle(psSolid);
            d.Rectangle(box);
            d.Brush().SetStyle(bsClear);
            TRect r = box;
            d.DrawText(text, r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
        } else if (patch.Exists) {
            RestorePatch(patch, d.Surface());
        }
        self->CopyDIBToScreen();
    });
}

void TMMOscope::LoadScreenIntoDIB()
{
    TMMDIBCanvas& d = *DIBCanvas();
    std::lock_guard<TCanvas> guard(*Canvas());
    const QImage& screen = ScreenImage();
    if (screen.isNull())
        return;
    TDIBDrawScope draw(d);
    std::unordered_map<QRgb, uint32_t> mapped;
    const TRect area = IntersectRect(FScopeRect, Rect(0, 0, screen.width(), screen.height()));
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int32_t x = area.Left; x < area.Right; ++x) {
            const QRgb px = line[x] & 0xFFFFFFu;
            auto it = mapped.find(px);
            if (it == mapped.end()) {
                const TColor c = static_cast<TColor>(qRed(px) | (qGreen(px) << 8) | (qBlue(px) << 16));
                it = mapped.emplace(px, d.MapColor(c)).first;
            }
            d.DIBSetPixel(x - FScopeRect.Left, y - FScopeRect.Top, it->second);
        }
    }
}

TPoint TMMOscope::ConfinePoint(int32_t X, int32_t Y) const
{
    return Point(std::clamp(X, FScopeRect.Left, std::max(FScopeRect.Left, FScopeRect.Right - 1)),
                 std::clamp(Y, FScopeRect.Top, std::max(FScopeRect.Top, FScopeRect.Bottom - 1)));
}

void TMMOscope::ConfineCursor(bool On)
{
    // The pointer is held by this view and kept inside the trace area (see MouseMove).
    FCursorConfined = On;
    if (On)
        grabMouse();
    else
        releaseMouse();
}

void TMMOscope::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (Button == mbLeft && !IsDesigning() && FEnabled && FShowInfo && !FInfoActive) {
        ConfineCursor(true);
        FInfoActive = true;
        if (ShowHint()) {
            FSavedShowHint = true;
            SetShowHint(false);
            QToolTip::hideText();
            Update();
        } else {
            FSavedShowHint = false;
        }
        // The DIB takes what the screen shows (after accelerated scrolling they differ).
        LoadScreenIntoDIB();
        DrawInfo(X, Y);
    }
    TMMDIBGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TMMOscope::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    TMMDIBGraphicControl::MouseMove(Shift, X, Y);
    if (FInfoActive) {
        const TPoint p = ConfinePoint(X, Y);
        if (p.X != X || p.Y != Y)
            QCursor::setPos(mapToGlobal(QPoint(p.X, p.Y)));
        DrawInfo(p.X, p.Y);
    }
}

void TMMOscope::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (Button == mbLeft && FInfoActive) {
        if (FEnabled)
            DrawInfo(-1, -1);
        ReleasePatch();
        FInfoActive = false;
        ConfineCursor(false);
        SetShowHint(FSavedShowHint);
    }
    TMMDIBGraphicControl::MouseUp(Button, Shift, X, Y);
}

// ---- registration -----------------------------------------------------------------------

void RegisterOscopeComponents()
{
    TComponentRegistry::Register("TMMOscope", [](TComponent* owner) -> TComponent* { return new TMMOscope(owner); });
    TEnumNames::Register<TMMOscopeKind>({"okDots", "okConLines", "okVertLines", "okMirLines", "okSpikes"});
    TEnumNames::Register<TMMOscopeEffect>({"efNone", "efPeak", "efSplit"});
    TEnumNames::Register<TMMMode>({"mMono", "mStereo"});
    TEnumNames::Register<TMMBits>({"b8Bit", "b16Bit"});
    TEnumNames::Register<TMMChannel>({"chBoth", "chLeft", "chRight"});
}

} // namespace qv
