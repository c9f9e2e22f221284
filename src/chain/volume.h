#pragma once
// The gain stage: scales every buffer passing through it, in place, by a gain
// and a left/right balance, saturating at the limits of the sample format.
#include <atomic>
#include <cstdint>

#include "chain/dsp_component.h"
#include "framework/exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EMMVolumeError, Exception);

class TMMVolume : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(int Panning READ Panning WRITE SetPanning)
public:
    explicit TMMVolume(TComponent* AOwner = nullptr);
    ~TMMVolume() override;

    // When False buffers pass unchanged; may change at any time, also while
    // buffers flow (read once per buffer).
    bool Enabled() const { return FEnabled.load(std::memory_order_relaxed); }
    void SetEnabled(bool Value) { FEnabled.store(Value, std::memory_order_relaxed); }
    // Gain in 1/16384 units (16384 = unity); any value is accepted.
    int32_t Volume() const { return FVolume; }
    void SetVolume(int32_t Value) { SetGainValue(0, Value); }
    // Balance in 1/16384 of full attenuation: negative attenuates the right
    // channel, positive the left.
    int32_t Panning() const { return FPanning; }
    void SetPanning(int32_t Value) { SetGainValue(1, Value); }
    // The indexed pair: 0 = Volume, 1 = Panning.
    void SetGainValue(int Index, int32_t Value);

    int32_t LeftGain() const { return FLeftGain.load(std::memory_order_relaxed); }
    int32_t RightGain() const { return FRightGain.load(std::memory_order_relaxed); }
    // Opened with a valid PCM format and not yet closed.
    bool Active() const { return FActive.load(std::memory_order_relaxed); }

    // Applies the current gains to Bytes bytes of data in the stage's format;
    // returns true when some sample was clamped.
    bool ApplyGain(void* Data, int32_t Bytes);

    // Refuses a record that is not valid PCM with "Invalid WaveFormat".
    void SetPWaveFormat(const TWaveFormatEx* Format) override;
    void Opened() override;
    void Closed() override;
    void BufferReady(PWaveHdr Buffer) override;
    bool BufferLoad(PWaveHdr Buffer, bool& MoreBuffers) override;

private:
    void ProcessBuffer(PWaveHdr Buffer);

    std::atomic<bool> FEnabled{true};
    int32_t FVolume = 16384;
    int32_t FPanning = 0;
    std::atomic<int32_t> FLeftGain{16384};
    std::atomic<int32_t> FRightGain{16384};
    std::atomic<bool> FActive{false};
    // Bits and channels of the stage's format (bits * 4 + channels), 0 when not
    // valid PCM: the kernel choice, read once per buffer in the delivering thread.
    std::atomic<int32_t> FLayout{0};
};

} // namespace qv
