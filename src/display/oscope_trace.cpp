#include "display/oscope_trace.h"

namespace qv::oscope {

namespace {

// The overflow tests of one drawn value: full scale first, then the gain.
inline void Test(const TTraceStyle& S, TOverflowSink* Sink, int32_t Tested, int32_t v)
{
    if (!Sink)
        return;
    if (Tested >= 32767)
        Sink->PcmOverflow();
    if (v > S.H)
        Sink->GainOverflow();
}

// The point kinds: outside the band means the effect colour.
inline uint32_t PointColor(const TTraceStyle& S, int32_t v)
{
    if (S.Effect != efNone && (v < S.Band.Low || v > S.Band.High))
        return S.EffectColor;
    return S.Fore;
}

void Dot(TMMDIBCanvas& C, const TTraceStyle& S, TOverflowSink* Sink, int32_t x, int16_t s)
{
    const int32_t v = S.Map.Height(s);
    Test(S, Sink, s, v);
    C.DIBSetPixel(x, S.Map.RowOf(v), PointColor(S, v));
}

void LineToValue(TMMDIBCanvas& C, const TTraceStyle& S, TOverflowSink* Sink, int32_t x, int16_t s)
{
    const int32_t v = S.Map.Height(s);
    Test(S, Sink, s, v);
    C.SetDrawValue(PointColor(S, v));
    C.DIBLineTo(x, S.Map.RowOf(v));
}

void VLineIn(TMMDIBCanvas& C, uint32_t Value, int32_t x, int32_t y1, int32_t y2)
{
    C.SetDrawValue(Value);
    C.DIBVLine(x, y1, y2);
}

// A vertical line from the value's row to the centre row.
void VertLine(TMMDIBCanvas& C, const TTraceStyle& S, TOverflowSink* Sink, int32_t x, int16_t s)
{
    const int32_t v = S.Map.Height(s);
    Test(S, Sink, s, v);
    const int32_t r = S.Map.RowOf(v);
    if (S.Effect == efSplit) {
        VLineIn(C, r < S.MidY ? S.EffectColor : S.Fore, x, r, S.MidY);
        return;
    }
    VLineIn(C, S.Fore, x, r, S.MidY);
    if (S.Effect == efPeak) {
        if (r < S.Band.Low)
            VLineIn(C, S.EffectColor, x, r, r + 5);
        else if (r > S.Band.High)
            VLineIn(C, S.EffectColor, x, r - 5, r);
    }
}

// A line symmetric about the centre: from the height used as a row to its mirror.
void MirLine(TMMDIBCanvas& C, const TTraceStyle& S, TOverflowSink* Sink, int32_t x, int16_t s)
{
    const int32_t u = S.Map.Height(s);
    Test(S, Sink, s, u);
    const int32_t m = S.H - u - 1;
    if (S.Effect == efSplit) {
        const bool upper = u < S.MidY;
        VLineIn(C, upper ? S.EffectColor : S.Fore, x, u, S.MidY);
        VLineIn(C, upper ? S.Fore : S.EffectColor, x, m, S.MidY);
        return;
    }
    VLineIn(C, S.Fore, x, u, m);
    if (S.Effect == efPeak) {
        if (u < S.Band.Low) {
            VLineIn(C, S.EffectColor, x, u, u + 5);
            VLineIn(C, S.EffectColor, x, m - 5, m);
        } else if (u > S.Band.High) {
            VLineIn(C, S.EffectColor, x, u - 5, u);
            VLineIn(C, S.EffectColor, x, m + 5, m);
        }
    }
}

// A line from the bottom up to the magnitude's row. Tested is the value the
// full-scale test looks at (the signed value, or the magnitude).
void Spike(TMMDIBCanvas& C, const TTraceStyle& S, TOverflowSink* Sink, int32_t x, int32_t Magnitude,
           int32_t Tested)
{
    const int32_t v = S.Map.Height(Magnitude);
    Test(S, Sink, Tested, v);
    const int32_t r = S.Map.RowOf(v);
    if (S.Effect == efSplit && v > S.Band.High) {
        VLineIn(C, S.EffectColor, x, r, S.MidY);
        VLineIn(C, S.Fore, x, S.MidY, S.H);
        return;
    }
    VLineIn(C, S.Fore, x, r, S.H);
    if (S.Effect == efPeak && r < 2 * S.Band.Low)
        VLineIn(C, S.EffectColor, x, r, r + 5);
}

// Rows MidY and MidY - 1 across the width; under efSplit the upper one marked.
void CentreBand(TMMDIBCanvas& C, const TTraceStyle& S)
{
    C.SetDrawValue(S.Fore);
    C.DIBHLine(0, S.W, S.MidY);
    C.SetDrawValue(S.Effect == efSplit ? S.EffectColor : S.Fore);
    C.DIBHLine(0, S.W, S.MidY - 1);
}

} // namespace

void DrawTrace(TMMDIBCanvas& C, const TTraceStyle& S, const int16_t* Samples, TOverflowSink* Sink)
{
    const int32_t step = S.Steps < 1 ? 1 : S.Steps;
    switch (S.Kind) {
    case okDots:
        for (int32_t i = 0; i < S.W; i += step)
            Dot(C, S, Sink, i, Samples[i]);
        break;
    case okConLines: {
        C.DIBMoveTo(0, S.Map.Row(Samples[0]));
        int32_t i = step;
        for (; i < S.W; i += step)
            LineToValue(C, S, Sink, i, Samples[i]);
        // On to the first column past the area that the steps reach.
        LineToValue(C, S, Sink, i, Samples[S.W - 1]);
        break;
    }
    case okVertLines:
        CentreBand(C, S);
        for (int32_t i = 0; i < S.W; i += step)
            VertLine(C, S, Sink, i, Samples[i]);
        break;
    case okMirLines:
        CentreBand(C, S);
        for (int32_t i = 0; i < S.W; i += step)
            MirLine(C, S, Sink, i, Samples[i]);
        break;
    case okSpikes:
        for (int32_t i = 0; i < S.W; i += step)
            Spike(C, S, Sink, i, Magnitude(Samples[i]), Samples[i]);
        break;
    }
}

void DrawScrollColumn(TMMDIBCanvas& C, const TTraceStyle& S, int32_t X, int16_t s0, int16_t s1,
                      TPoint& LastPen, TOverflowSink* Sink)
{
    VLineIn(C, S.Back, X, 0, S.H);
    // The value of larger magnitude; s1 only when strictly larger.
    const int16_t larger = Magnitude(s1) > Magnitude(s0) ? s1 : s0;
    switch (S.Kind) {
    case okDots:
        Dot(C, S, Sink, X, s0);
        Dot(C, S, Sink, X, s1);
        break;
    case okConLines:
        C.DIBMoveTo(LastPen.X, LastPen.Y);
        LineToValue(C, S, Sink, X, s0);
        LineToValue(C, S, Sink, X, s1);
        LastPen = Point(X, S.Map.Row(s1));
        break;
    case okVertLines:
        if (S.Effect == efSplit) {
            VertLine(C, S, Sink, X, s0);
            VertLine(C, S, Sink, X, s1);
        } else {
            VertLine(C, S, Sink, X, larger);
        }
        break;
    case okMirLines: MirLine(C, S, Sink, X, larger); break;
    case okSpikes:
        if (S.Effect == efSplit) {
            Spike(C, S, Sink, X, Magnitude(s0), s0);
            Spike(C, S, Sink, X, Magnitude(s1), s1);
        } else {
            const int32_t m = Magnitude(larger);
            Spike(C, S, Sink, X, m, m);
        }
        break;
    }
}

void DrawMidLine(TMMDIBCanvas& C, int32_t W, int32_t MidY, uint32_t Value)
{
    C.SetDrawValue(Value);
    C.DIBDashHLine(0, W, MidY);
}

void DrawGrid(TMMDIBCanvas& C, int32_t W, int32_t H, int32_t AmpDivisions, int32_t TimeDivisions,
              uint32_t Value)
{
    C.SetDrawValue(Value);
    for (int32_t k = 0; k <= AmpDivisions; ++k)
        C.DIBDotHLine(0, W, GridRow(k, AmpDivisions, H), 1);
    for (int32_t k = 0; k <= TimeDivisions; ++k)
        C.DIBDotVLine(GridColumn(k, TimeDivisions, W), 0, H, 1);
}

void DrawDisabledLine(TMMDIBCanvas& C, int32_t W, int32_t MidY, uint32_t Value)
{
    C.SetDrawValue(Value);
    C.DIBHLine(5, W - 5, MidY);
}

void DrawBar(TMMDIBCanvas& C, int32_t ScrollX, int32_t ScrollCount, int32_t H, int32_t AmpDivisions,
             uint32_t Bar, uint32_t Tick)
{
    const int32_t left = ScrollX >= ScrollCount ? 0 : ScrollX + 1;
    const int32_t right = ScrollCount + 1;
    C.SetDrawValue(Bar);
    C.DIBFillRect(Rect(left, 0, right, H));
    C.SetDrawValue(Tick);
    for (int32_t k = 0; k <= AmpDivisions; ++k)
        C.DIBHLine(left, right, BarTickRow(k, AmpDivisions, H));
}

} // namespace qv::oscope
