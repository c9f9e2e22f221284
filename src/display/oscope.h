#pragma once
// TMMOscope: the live waveform view. The connector tells it the PCM format and
// hands it one block at a time; the view turns the block into one trace value
// per pixel column (or, scrolling, one min/max pair for a new column at the
// right), draws the trace into its DIB surface and brings the result to the
// screen at once. Five trace kinds, two effect colourings, gain and zoom,
// amplitude and time scales, a dotted grid, a dashed centre line, overflow
// events, custom drawing, and a time/voltage read-out while the left mouse
// button is held.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "capture/pcm_format.h"
#include "chain/view_ops.h"
#include "display/dib_graphic_control.h"
#include "display/oscope_math.h"
#include "display/oscope_trace.h"
#include "framework/exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EMMOscopeError, Exception);

// Replaces the built-in drawing: Rect is (0, 0, W, H) of the DIB, Data the W trace values.
using TMMOscopeDrawLine =
    std::function<void(TComponent* Sender, TMMDIBCanvas* DIB, const TRect& Rect, int16_t* Data)>;

class TMMOscope : public TMMDIBGraphicControl, public TMMOscopeView {
    Q_OBJECT
    Q_PROPERTY(qv::TMMOscopeKind Kind READ Kind WRITE SetKind)
    Q_PROPERTY(qv::TMMOscopeEffect Effect READ Effect WRITE SetEffect)
    Q_PROPERTY(int32_t Gain READ Gain WRITE SetGain)
    Q_PROPERTY(int32_t Zoom READ Zoom WRITE SetZoom)
    Q_PROPERTY(int32_t Steps READ Steps WRITE SetSteps)
    Q_PROPERTY(bool Scroll READ Scroll WRITE SetScroll)
    Q_PROPERTY(bool Accelerate READ Accelerate WRITE SetAccelerate)
    Q_PROPERTY(int32_t FFTLength READ FFTLength WRITE SetFFTLength)
    Q_PROPERTY(qv::TMMBits BitLength READ BitLength WRITE SetBitLength)
    Q_PROPERTY(qv::TMMChannel Channel READ Channel WRITE SetChannel)
    Q_PROPERTY(qv::TMMMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(int32_t SampleRate READ SampleRate WRITE SetSampleRate)
    Q_PROPERTY(bool DrawAmpScale READ DrawAmpScale WRITE SetDrawAmpScale)
    Q_PROPERTY(bool DrawTimeScale READ DrawTimeScale WRITE SetDrawTimeScale)
    Q_PROPERTY(bool DrawGrid READ DrawGrid WRITE SetDrawGrid)
    Q_PROPERTY(bool DrawMidLine READ DrawMidLine WRITE SetDrawMidLine)
    Q_PROPERTY(bool ShowInfo READ ShowInfo WRITE SetShowInfo)
    Q_PROPERTY(bool LowPass READ LowPass WRITE SetLowPass)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int32_t BarWidth READ BarWidth WRITE SetBarWidth)
    Q_PROPERTY(qv::TColor ForegroundColor READ ForegroundColor WRITE SetForegroundColor)
    Q_PROPERTY(qv::TColor InactiveColor READ InactiveColor WRITE SetInactiveColor)
    Q_PROPERTY(qv::TColor EffectColor READ EffectColor WRITE SetEffectColor)
    Q_PROPERTY(qv::TColor DisabledColor READ DisabledColor WRITE SetDisabledColor)
    Q_PROPERTY(qv::TColor ScaleTextColor READ ScaleTextColor WRITE SetScaleTextColor)
    Q_PROPERTY(qv::TColor ScaleLineColor READ ScaleLineColor WRITE SetScaleLineColor)
    Q_PROPERTY(qv::TColor GridColor READ GridColor WRITE SetGridColor)
    Q_PROPERTY(qv::TColor BarColor READ BarColor WRITE SetBarColor)
    Q_PROPERTY(qv::TColor BarTickColor READ BarTickColor WRITE SetBarTickColor)
public:
    // The colours of the indexed setter, in its order.
    enum TColorIndex : int32_t {
        ciForeground, ciInactive, ciEffect, ciDisabled, ciScaleText, ciScaleLine, ciGrid, ciBar, ciBarTick,
        ColorCount
    };

    explicit TMMOscope(TComponent* AOwner = nullptr);
    ~TMMOscope() override;

    // ---- view operations (the connector) ----
    // Raises EMMOscopeError "Invalid WaveFormat" for what IsPCMFormatValid refuses.
    void ApplyPCMFormat(const TWaveFormatEx* Format) override;
    void ProcessBlock(void* Data) override;
    void ResetDisplay() override;
    int32_t BlockBytes() const override { return FBlockBytes; }

    // ---- properties ----
    TMMOscopeKind Kind() const { return FKind; }
    void SetKind(TMMOscopeKind Value);
    TMMOscopeEffect Effect() const { return FEffect; }
    void SetEffect(TMMOscopeEffect Value);
    int32_t Gain() const { return FGainFactor - 8; }
    void SetGain(int32_t Value);
    int32_t Zoom() const { return FZoom; }
    void SetZoom(int32_t Value);
    int32_t Steps() const { return FSteps; }
    void SetSteps(int32_t Value);
    bool Scroll() const override { return FScroll; }
    void SetScroll(bool Value);
    bool Accelerate() const override { return FAccelerate; }
    void SetAccelerate(bool Value);
    int32_t FFTLength() const override { return FFFTLength; }
    void SetFFTLength(int32_t Value);
    TMMBits BitLength() const override { return FBitLength; }
    void SetBitLength(TMMBits Value);
    TMMChannel Channel() const { return FChannel; }
    void SetChannel(TMMChannel Value);
    TMMMode Mode() const override { return FMode; }
    void SetMode(TMMMode Value);
    int32_t SampleRate() const { return FSampleRate; }
    void SetSampleRate(int32_t Value);
    bool DrawAmpScale() const { return FDrawAmpScale; }
    void SetDrawAmpScale(bool Value);
    bool DrawTimeScale() const { return FDrawTimeScale; }
    void SetDrawTimeScale(bool Value);
    bool DrawGrid() const { return FDrawGrid; }
    void SetDrawGrid(bool Value);
    bool DrawMidLine() const { return FDrawMidLine; }
    void SetDrawMidLine(bool Value);
    bool ShowInfo() const { return FShowInfo; }
    void SetShowInfo(bool Value) { FShowInfo = Value; }
    bool LowPass() const { return FLowPass; }
    void SetLowPass(bool Value) { FLowPass = Value; }
    // The view's own switch (the widget stays enabled for the mouse).
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value) override;
    int32_t BarWidth() const { return FBarWidth; }
    void SetBarWidth(int32_t Value);

    TColor GetColor(TColorIndex Index) const { return FColors[Index]; }
    void SetColor(TColorIndex Index, TColor Value);
    using TControl::SetColor;
    TColor ForegroundColor() const { return FColors[ciForeground]; }
    void SetForegroundColor(TColor v) { SetColor(ciForeground, v); }
    TColor InactiveColor() const { return FColors[ciInactive]; }
    void SetInactiveColor(TColor v) { SetColor(ciInactive, v); }
    TColor EffectColor() const { return FColors[ciEffect]; }
    void SetEffectColor(TColor v) { SetColor(ciEffect, v); }
    TColor DisabledColor() const { return FColors[ciDisabled]; }
    void SetDisabledColor(TColor v) { SetColor(ciDisabled, v); }
    TColor ScaleTextColor() const { return FColors[ciScaleText]; }
    void SetScaleTextColor(TColor v) { SetColor(ciScaleText, v); }
    TColor ScaleLineColor() const { return FColors[ciScaleLine]; }
    void SetScaleLineColor(TColor v) { SetColor(ciScaleLine, v); }
    TColor GridColor() const { return FColors[ciGrid]; }
    void SetGridColor(TColor v) { SetColor(ciGrid, v); }
    TColor BarColor() const { return FColors[ciBar]; }
    void SetBarColor(TColor v) { SetColor(ciBar, v); }
    TColor BarTickColor() const { return FColors[ciBarTick]; }
    void SetBarTickColor(TColor v) { SetColor(ciBarTick, v); }

    // ---- events ----
    TNotifyEvent OnGainOverflow;
    TNotifyEvent OnPcmOverflow;
    TMMOscopeDrawLine OnDrawLine;
    TNotifyEvent OnPostPaint;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;

    // Constrained bounds, then the base placement; the DIB covers the trace area.
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    // Outside design mode the view joins the restart list and clears its trace.
    void SetDesigning(bool Value) override;

    // ---- state, read-only (tests, custom drawing) ----
    TRect ScopeRect() const { return FScopeRect; }
    int32_t ScopeWidth() const { return FScopeWidth; }
    int32_t ScopeHeight() const { return FScopeHeight; }
    int32_t MidY() const { return FMidY; }
    const int16_t* Samples() const { return FSamples.data(); }
    int32_t AmpDivisions() const { return FAmpDivisions; }
    int32_t TimeDivisions() const { return oscope::TimeDivisions(FScopeWidth); }
    int32_t ScrollX() const { return FScrollX; }
    int32_t ScrollCount() const { return FScrollCount; }
    bool RestartPending() const { return FRestartPending.load(); }
    bool InfoActive() const { return FInfoActive; }
    oscope::TEffectBand EffectBand() const { return FBand; }
    oscope::TVerticalMap VerticalMap() const;
    // The format the view shows: (BitLength + 1) * 8 bits, Mode + 1 channels, SampleRate.
    TWaveFormatEx CurrentFormat() const;
    // The text the read-out shows for client point (X, Y) inside the trace area.
    QString InfoText(int32_t X, int32_t Y) const;
    // The oscilloscopes that exist outside design mode.
    static std::vector<TMMOscope*> ScopeList();

protected:
    void Paint() override;
    void Resize() override;
    void BevelChanged() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    // The overflow triggers (fire OnGainOverflow / OnPcmOverflow).
    virtual void GainOverflow();
    virtual void PcmOverflow();

private:
    class TSink;
    friend class TSink;

    void UpdateLayout();
    void ApplyConstraints();
    void ComputeBlockBytes();
    void ResetSamples();
    // One drawing pass into the DIB and onto Canvas() (bound by Paint or
    // PaintDirect). Returns true when the screen image must move left by one.
    bool DrawScope(bool Full);
    void CopyDIBToScreen();
    void DrawScreenBar();
    void DrawAmpScaleBitmaps(int32_t Hs, TColor Back);
    void DrawTimeScaleBitmap(TColor Back);
    TRect ScrollArea() const;
    void DrawInfo(int32_t X, int32_t Y);
    void LoadScreenIntoDIB();
    TPoint ConfinePoint(int32_t X, int32_t Y) const;
    void ConfineCursor(bool On);
    oscope::TTraceStyle TraceStyle(TMMDIBCanvas& C) const;
    void AddToScopeList();
    void RemoveFromScopeList();

    TMMOscopeKind FKind = okDots;
    TMMOscopeEffect FEffect = efNone;
    int32_t FGainFactor = 8;
    int32_t FValueRange = 65535;
    int32_t FValueOffset = 32767;
    int32_t FZoom = 1;
    int32_t FSteps = 1;
    bool FScroll = false;
    bool FAccelerate = true;
    int32_t FFFTLength = 128;
    TMMBits FBitLength = b8Bit;
    TMMChannel FChannel = chBoth;
    TMMMode FMode = mMono;
    int32_t FSampleRate = 11025;
    bool FDrawAmpScale = false;
    bool FDrawTimeScale = false;
    bool FDrawGrid = false;
    bool FDrawMidLine = false;
    bool FShowInfo = true;
    bool FLowPass = false;
    bool FEnabled = true;
    int32_t FBarWidth = 5;
    TColor FColors[ColorCount] = {clAqua, clTeal, clRed, clGray, clBlack, clBlack, clGray, clGray, clWhite};

    TRect FScopeRect;
    int32_t FScopeWidth = 4;
    int32_t FScopeHeight = 4;
    int32_t FMidY = 2;
    std::vector<int16_t> FSamples;
    int32_t FBlockBytes = 0;
    oscope::TEffectBand FBand;
    int32_t FAmpDivisions = 2;
    int32_t FScrollX = -5;
    int32_t FScrollCount = 0;
    std::atomic<bool> FRestartPending{false};
    // The end of the scrolling okConLines trace (kept per view, so that two
    // scrolling views never draw from each other's pen).
    TPoint FLastPen;
    bool FInfoActive = false;
    bool FSavedShowHint = false;
    bool FCursorConfined = false;
    bool FLayingOut = false;
    std::unique_ptr<TSink> FSink;
};

// Registers TMMOscope and the names of TMMOscopeKind and TMMOscopeEffect (and
// of the format enumerations its properties use).
void RegisterOscopeComponents();

} // namespace qv
