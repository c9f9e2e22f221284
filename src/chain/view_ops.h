#pragma once
// The operations the connector calls on every view it feeds. The views
// (oscilloscope, spectrum, spectrogram, and any level/meter/light display)
// implement this interface; the connector knows them only through it.
#include <cstdint>

#include "capture/pcm_format.h"

namespace qv {

enum TMMTriggerMode : int32_t { tmNone = 0, tmUpFlank = 1, tmDownFlank = 2 };

class TMMView {
public:
    virtual ~TMMView() = default;
    // The PCM format of the blocks that follow; raises the view's own error when
    // it cannot show it.
    virtual void ApplyPCMFormat(const TWaveFormatEx* Format) = 0;
    // One block of BlockBytes() bytes; Data is valid only during the call.
    virtual void ProcessBlock(void* Data) = 0;
    // Forget what is shown and repaint.
    virtual void ResetDisplay() = 0;
    // Bytes consumed per block in the format last applied.
    virtual int32_t BlockBytes() const = 0;
};

// What the connector's oscilloscope group also reads from its scopes.
class TMMOscopeView : public TMMView {
public:
    virtual bool Scroll() const = 0;
    virtual bool Accelerate() const = 0;
    virtual int32_t FFTLength() const = 0;
    virtual TMMBits BitLength() const = 0;
    virtual TMMMode Mode() const = 0;
};

// What the connector's spectrogram group also reads from its spectrograms.
class TMMSpectrogramView : public TMMView {
public:
    virtual bool Accelerate() const = 0;
};

} // namespace qv
