#pragma once
// The integer arithmetic of the oscilloscope view: layout of the trace area,
// block sizes, divisions, turning a block of PCM bytes into trace values,
// smoothing, the vertical mapping of a trace value onto a row, and the
// geometry of the measurement read-out. Everything here is free of widgets and
// drawing so that the exact numbers can be checked on their own.
#include <cstdint>

#include "capture/pcm_format.h"
#include "framework/canvas.h"

namespace qv {

enum TMMOscopeKind : int32_t { okDots, okConLines, okVertLines, okMirLines, okSpikes };
enum TMMOscopeEffect : int32_t { efNone, efPeak, efSplit };

namespace oscope {

// Scale margins: 32 pixels each side for the amplitude scales, 40 at the bottom
// for the time scale.
constexpr int32_t kAmpScaleWidth = 32;
constexpr int32_t kTimeScaleHeight = 40;
// Font height of the scale labels, and the smallest spacing of divisions.
constexpr int32_t kScaleFontHeight = 10;
constexpr int32_t kMinDivisionSpacing = 10;
// The peak band is the middle third.
constexpr int32_t kPeakDivisor = 3;
constexpr int32_t kMaxFFTLength = 4096;

// The trace area inside a Width x Height client: narrowed for the scales, then
// inset by the bevel's width B on all sides.
TRect ScopeRect(int32_t Width, int32_t Height, int32_t B, bool AmpScale, bool TimeScale);

// Smallest bounds the scales and the bevel leave room for.
int32_t MinWidth(int32_t B, bool AmpScale);
int32_t MinHeight(int32_t B, bool TimeScale);

// 10, 8, 6, 4 or 2: lowered by 2 while H div divisions < 10.
int32_t AmpDivisions(int32_t H);
// 32 halved while W div D < 10, stopping at 1.
int32_t TimeDivisions(int32_t W);

// Bytes consumed per block. Bpf = (Bits + 1) * (Mode + 1); scrolling: Bpf *
// FFTLength; else A = Bpf * W and A * Zoom for Zoom > 0, or ((A div k) + 5)
// div 4 * 4 with k = |Zoom| + 1 for Zoom < 0.
int32_t ComputeBlockBytes(TMMBits Bits, TMMMode Mode, bool Scroll, int32_t FFTLength, int32_t W, int32_t Zoom);

// 1..4096, rounded down to a power of two.
int32_t LimitFFTLength(int32_t Value);

// The frame that column i shows: i * Zoom, or i div (|Zoom| + 1) for Zoom < 0.
int32_t ColumnFrame(int32_t i, int32_t Zoom);

// One trace value per column (W values) from Bytes bytes of PCM, without
// scrolling. A column whose frame lies beyond the bytes given repeats the last
// whole frame (0 when there is none), so a short block never reads outside.
void CaptureColumns(const uint8_t* Data, int32_t Bytes, TMMBits Bits, TMMMode Mode, TMMChannel Channel,
                    int32_t Zoom, int16_t* Out, int32_t W);

struct TMinMaxPair {
    int16_t First = 0;
    int16_t Second = 0;
    friend bool operator==(const TMinMaxPair&, const TMinMaxPair&) = default;
};

// The scrolling reduction of a whole block: per channel the smallest and the
// largest sample in the order they occur (the minimum first when they share a
// frame), then the channel's pair or, for stereo chBoth, the element-wise
// average of both. Only whole frames count; no frame gives (0, 0).
TMinMaxPair CaptureMinMax(const uint8_t* Data, int32_t Bytes, TMMBits Bits, TMMMode Mode, TMMChannel Channel);

// x[i] := (x[i-1] + 3 x[i]) div 4 over the unsmoothed values, x[-1] = 0.
void LowPass(int16_t* Values, int32_t Count);

// The vertical mapping of one view.
struct TVerticalMap {
    int32_t H = 4;
    int32_t GainFactor = 8;    // Gain + 8
    int32_t ValueRange = 65535; // 32767 for okSpikes
    int32_t ValueOffset = 32767; // 0 for okSpikes

    // ((s * GainFactor) div 8 + ValueOffset) * H div ValueRange, each division
    // truncating; formed in 64 bits so that no height overflows.
    int32_t Height(int32_t s) const;
    // H - 1 - Height(s): row 0 is the top of the trace area.
    int32_t Row(int32_t s) const { return RowOf(Height(s)); }
    int32_t RowOf(int32_t v) const;
};

// The magnitude of a trace value as an unsigned 16-bit number (0..32768).
inline int32_t Magnitude(int16_t s) { return s < 0 ? -static_cast<int32_t>(s) : s; }

// The band of heights drawn without the effect colour.
struct TEffectBand {
    int32_t Low = 0;
    int32_t High = 0;
};
// efPeak: (H div 3, H - H div 3); efSplit: (0, H div 2); efNone: Current.
TEffectBand EffectBand(TMMOscopeEffect Effect, int32_t H, TEffectBand Current);

// Row of the k-th amplitude grid line: H - Trunc(k * 32760 / Divisions / S) - 1
// with S = 32768 / H held as a 32-bit float.
int32_t GridRow(int32_t k, int32_t Divisions, int32_t H);
// The amplitude scale's tick offset t(k) = Trunc(k * 32768 / Divisions / S).
int32_t ScaleTick(int32_t k, int32_t Divisions, int32_t H);
// Column of the k-th time division: (W - 1) * k div D.
int32_t GridColumn(int32_t k, int32_t D, int32_t W);
// Row of the k-th tick on the scrolling bar: H - Trunc(k * (H - 1) / Divisions) - 1.
int32_t BarTickRow(int32_t k, int32_t Divisions, int32_t H);

// The read-out's voltage at the a-th row of the trace area: okSpikes (H - a -
// 1) / (H - 1); other kinds 2 c / H with c = H / 2 - a, less 1 when negative.
float InfoVoltage(int32_t a, int32_t H, bool Spikes);
// The read-out's time at x = X - Left + 1: TotalMs * x / W milliseconds.
float InfoTime(int32_t TotalMs, int32_t x, int32_t W);

// The read-out box in trace-area coordinates for the mouse at (x, y) of a W x H
// trace area and a text of TextW x TextH pixels: 15 pixels below the pointer,
// moved up by 40 when it would leave the bottom, left when it would leave the
// right, and down to the top edge when it starts above it.
TRect InfoBox(int32_t x, int32_t y, int32_t W, int32_t H, int32_t TextW, int32_t TextH);

} // namespace oscope
} // namespace qv
