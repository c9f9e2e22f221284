#pragma once
// The oscilloscope's drawing into its DIB surface: the five trace kinds with
// their effect colours (over the whole width, or one scrolling column), the
// centre band, the centre line, the dotted grid and the scrolling bar. All
// routines draw on a TMMDIBCanvas between BeginDraw and EndDraw, in picture
// coordinates of the W x H trace area; rows outside are clipped by the canvas.
#include <cstdint>

#include "display/dib_canvas.h"
#include "display/oscope_math.h"

namespace qv::oscope {

// Told once per drawn trace value that reached full scale (PCM) and that was
// mapped above the trace area (gain), in that order.
class TOverflowSink {
public:
    virtual ~TOverflowSink() = default;
    virtual void PcmOverflow() = 0;
    virtual void GainOverflow() = 0;
};

struct TTraceStyle {
    TMMOscopeKind Kind = okDots;
    TMMOscopeEffect Effect = efNone;
    int32_t Steps = 1;
    int32_t W = 4;
    int32_t H = 4;
    int32_t MidY = 2;
    TVerticalMap Map;
    TEffectBand Band;
    // Colours already mapped by the canvas (MapColor).
    uint32_t Fore = 0;
    uint32_t EffectColor = 0;
    uint32_t Back = 0;
};

// The trace of W values over the whole width (no scrolling).
void DrawTrace(TMMDIBCanvas& C, const TTraceStyle& S, const int16_t* Samples, TOverflowSink* Sink);

// One scrolling column at X from the pair (s0, s1): the column is cleared in
// Back first. LastPen is the scrolling okConLines pen, moved to the new end.
void DrawScrollColumn(TMMDIBCanvas& C, const TTraceStyle& S, int32_t X, int16_t s0, int16_t s1,
                      TPoint& LastPen, TOverflowSink* Sink);

// The dashed centre line on row MidY across the width.
void DrawMidLine(TMMDIBCanvas& C, int32_t W, int32_t MidY, uint32_t Value);
// The dotted grid: AmpDivisions + 1 rows and TimeDivisions + 1 columns.
void DrawGrid(TMMDIBCanvas& C, int32_t W, int32_t H, int32_t AmpDivisions, int32_t TimeDivisions,
              uint32_t Value);
// The disabled line on row MidY from column 5 to W - 5.
void DrawDisabledLine(TMMDIBCanvas& C, int32_t W, int32_t MidY, uint32_t Value);

// The scrolling bar in the DIB: columns ScrollX + 1 (0 when ScrollX >=
// ScrollCount) through ScrollCount filled with Bar, and AmpDivisions + 1
// division marks across it in Tick.
void DrawBar(TMMDIBCanvas& C, int32_t ScrollX, int32_t ScrollCount, int32_t H, int32_t AmpDivisions,
             uint32_t Bar, uint32_t Tick);

} // namespace qv::oscope
