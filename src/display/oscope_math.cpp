#include "display/oscope_math.h"

#include <algorithm>
#include <limits>

#include "framework/numeric.h"

namespace qv::oscope {

TRect ScopeRect(int32_t Width, int32_t Height, int32_t B, bool AmpScale, bool TimeScale)
{
    TRect r = Rect(0, 0, Width, Height);
    if (AmpScale) {
        r.Left += kAmpScaleWidth;
        r.Right -= kAmpScaleWidth;
    }
    if (TimeScale)
        r.Bottom -= kTimeScaleHeight;
    return InflateRect(r, -B, -B);
}

int32_t MinWidth(int32_t B, bool AmpScale) { return 2 * B + (AmpScale ? 2 * kAmpScaleWidth + 2 : 2); }

int32_t MinHeight(int32_t B, bool TimeScale) { return 2 * B + (TimeScale ? kTimeScaleHeight + 2 : 2); }

int32_t AmpDivisions(int32_t H)
{
    int32_t d = 10;
    while (d > 2 && H / d < kMinDivisionSpacing)
        d -= 2;
    return d;
}

int32_t TimeDivisions(int32_t W)
{
    int32_t d = 32;
    while (d > 1 && W / d < kMinDivisionSpacing)
        d /= 2;
    return d;
}

int32_t ComputeBlockBytes(TMMBits Bits, TMMMode Mode, bool Scroll, int32_t FFTLength, int32_t W, int32_t Zoom)
{
    const int32_t bpf = (static_cast<int32_t>(Bits) + 1) * (static_cast<int32_t>(Mode) + 1);
    if (Scroll)
        return bpf * FFTLength;
    const int32_t a = bpf * W;
    if (Zoom > 0)
        return a * Zoom;
    const int32_t k = -Zoom + 1;
    return ((a / k) + 5) / 4 * 4;
}

int32_t LimitFFTLength(int32_t Value)
{
    const int32_t v = std::clamp(Value, 1, kMaxFFTLength);
    int32_t p = 1;
    while (p * 2 <= v)
        p *= 2;
    return p;
}

int32_t ColumnFrame(int32_t i, int32_t Zoom) { return Zoom > 0 ? i * Zoom : i / (-Zoom + 1); }

namespace {

int16_t FrameValue(const uint8_t* frame, TMMBits Bits, uint16_t channels, TMMChannel Channel)
{
    if (Bits == b16Bit)
        return ChannelValue16(frame, channels, Channel);
    return static_cast<int16_t>((static_cast<int32_t>(ChannelValue8(frame, channels, Channel)) - 128) * 256);
}

} // namespace

void CaptureColumns(const uint8_t* Data, int32_t Bytes, TMMBits Bits, TMMMode Mode, TMMChannel Channel,
                    int32_t Zoom, int16_t* Out, int32_t W)
{
    const uint16_t channels = static_cast<uint16_t>(Mode + 1);
    const int32_t bpf = (static_cast<int32_t>(Bits) + 1) * channels;
    const int32_t frames = (Data && Bytes > 0) ? Bytes / bpf : 0;
    if (frames == 0) {
        std::fill(Out, Out + W, int16_t{0});
        return;
    }
    for (int32_t i = 0; i < W; ++i) {
        const int32_t f = std::min(ColumnFrame(i, Zoom), frames - 1);
        Out[i] = FrameValue(Data + static_cast<ptrdiff_t>(f) * bpf, Bits, channels, Channel);
    }
}

namespace {

// Minimum and maximum of one channel in order of occurrence. The search starts
// at (+Limit, -Limit); ties keep the first occurrence.
TMinMaxPair ChannelMinMax(const uint8_t* Data, int32_t Frames, int32_t Bpf, int32_t Offset, TMMBits Bits)
{
    const int32_t limit = Bits == b16Bit ? 32767 : 127;
    int32_t mn = limit, mx = -limit;
    int32_t mnAt = 0, mxAt = 0;
    const uint8_t* p = Data + Offset;
    for (int32_t f = 0; f < Frames; ++f, p += Bpf) {
        const int32_t x = Bits == b16Bit ? ReadSample16(p) : static_cast<int32_t>(*p) - 128;
        if (x < mn) {
            mn = x;
            mnAt = f;
        }
        if (x > mx) {
            mx = x;
            mxAt = f;
        }
    }
    if (mxAt < mnAt)
        return {static_cast<int16_t>(mx), static_cast<int16_t>(mn)};
    return {static_cast<int16_t>(mn), static_cast<int16_t>(mx)};
}

int16_t Average(int16_t a, int16_t b, TMMBits Bits)
{
    if (Bits == b16Bit)
        return static_cast<int16_t>((static_cast<int32_t>(a) + b) / 2);
    // 8 bits: the average of the unsigned bytes.
    return static_cast<int16_t>(((static_cast<int32_t>(a) + 128 + b + 128) / 2) - 128);
}

int16_t To16(int16_t v, TMMBits Bits) { return Bits == b16Bit ? v : static_cast<int16_t>(v * 256); }

} // namespace

TMinMaxPair CaptureMinMax(const uint8_t* Data, int32_t Bytes, TMMBits Bits, TMMMode Mode, TMMChannel Channel)
{
    const int32_t bps = static_cast<int32_t>(Bits) + 1;
    const int32_t bpf = bps * (static_cast<int32_t>(Mode) + 1);
    const int32_t frames = (Data && Bytes > 0) ? Bytes / bpf : 0;
    if (frames == 0)
        return {};
    TMinMaxPair p;
    if (Mode == mMono || Channel == chLeft) {
        p = ChannelMinMax(Data, frames, bpf, 0, Bits);
    } else if (Channel == chRight) {
        p = ChannelMinMax(Data, frames, bpf, bps, Bits);
    } else {
        const TMinMaxPair l = ChannelMinMax(Data, frames, bpf, 0, Bits);
        const TMinMaxPair r = ChannelMinMax(Data, frames, bpf, bps, Bits);
        p = {Average(l.First, r.First, Bits), Average(l.Second, r.Second, Bits)};
    }
    return {To16(p.First, Bits), To16(p.Second, Bits)};
}

void LowPass(int16_t* Values, int32_t Count)
{
    int32_t prev = 0;
    for (int32_t i = 0; i < Count; ++i) {
        const int32_t x = Values[i];
        Values[i] = static_cast<int16_t>((prev + 3 * x) / 4);
        prev = x;
    }
}

int32_t TVerticalMap::Height(int32_t s) const
{
    const int64_t scaled = static_cast<int64_t>(s) * GainFactor / 8 + ValueOffset;
    const int64_t v = scaled * H / ValueRange;
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min() / 2,
                                                    std::numeric_limits<int32_t>::max() / 2));
}

int32_t TVerticalMap::RowOf(int32_t v) const { return H - 1 - v; }

TEffectBand EffectBand(TMMOscopeEffect Effect, int32_t H, TEffectBand Current)
{
    switch (Effect) {
    case efPeak: return {H / kPeakDivisor, H - H / kPeakDivisor};
    case efSplit: return {0, H / 2};
    default: return Current;
    }
}

namespace {

// 32768 / H as the 32-bit float the scales divide by.
float ScaleStep(int32_t H) { return static_cast<float>(32768.0L / H); }

} // namespace

int32_t GridRow(int32_t k, int32_t Divisions, int32_t H)
{
    const long double t = static_cast<long double>(k) * 32760 / Divisions / ScaleStep(H);
    return H - static_cast<int32_t>(Trunc(t)) - 1;
}

int32_t ScaleTick(int32_t k, int32_t Divisions, int32_t H)
{
    const long double t = static_cast<long double>(k) * 32768 / Divisions / ScaleStep(H);
    return static_cast<int32_t>(Trunc(t));
}

int32_t GridColumn(int32_t k, int32_t D, int32_t W) { return (W - 1) * k / D; }

int32_t BarTickRow(int32_t k, int32_t Divisions, int32_t H) { return H - k * (H - 1) / Divisions - 1; }

float InfoVoltage(int32_t a, int32_t H, bool Spikes)
{
    if (Spikes)
        return static_cast<float>(static_cast<long double>(H - a - 1) / (H - 1));
    long double c = static_cast<long double>(H) / 2 - a;
    if (c < 0)
        c -= 1;
    return static_cast<float>(2 * c / H);
}

float InfoTime(int32_t TotalMs, int32_t x, int32_t W)
{
    return static_cast<float>(static_cast<long double>(static_cast<int64_t>(TotalMs) * x) / W);
}

TRect InfoBox(int32_t x, int32_t y, int32_t W, int32_t H, int32_t TextW, int32_t TextH)
{
    TRect r;
    r.Left = x;
    r.Top = y + 15;
    r.Right = r.Left + TextW + 4;
    r.Bottom = r.Top + TextH + 2;
    if (r.Bottom > H) {
        r.Top -= 40;
        r.Bottom -= 40;
    }
    if (r.Right > W) {
        const int32_t d = r.Right - W;
        r.Left -= d;
        r.Right -= d;
    }
    if (r.Top < 0) {
        r.Top = 0;
        r.Bottom = TextH + 2;
    }
    return r;
}

} // namespace qv::oscope
