#include "chain/volume.h"

#include "chain/volume_kernels.h"
#include "framework/numeric.h"

namespace qv {

TMMVolume::TMMVolume(TComponent* AOwner) : TMMDSPComponent(AOwner) {}

TMMVolume::~TMMVolume() { FActive.store(false); }

void TMMVolume::SetGainValue(int Index, int32_t Value)
{
    int32_t& field = Index == 0 ? FVolume : FPanning;
    if (Value == field)
        return;
    field = Value;
    // The louder side keeps Volume; products are formed in 64 bits, rounded to
    // nearest (a half away from zero) and saturated to 32 bits.
    if (FPanning <= 0) {
        FLeftGain.store(FVolume, std::memory_order_relaxed);
        FRightGain.store(MulDivRound32(16384 + FPanning, FVolume, 16384), std::memory_order_relaxed);
    } else {
        FLeftGain.store(MulDivRound32(16384 - FPanning, FVolume, 16384), std::memory_order_relaxed);
        FRightGain.store(FVolume, std::memory_order_relaxed);
    }
}

void TMMVolume::SetPWaveFormat(const TWaveFormatEx* Format)
{
    if (Format && !IsDesigning() && !IsPCMFormatValid(Format))
        throw EMMVolumeError("Invalid WaveFormat");
    TMMDSPComponent::SetPWaveFormat(Format);
    const TWaveFormatEx* f = GetPWaveFormat();
    FLayout.store(IsPCMFormatValid(f) ? f->wBitsPerSample * 4 + f->nChannels : 0);
}

void TMMVolume::Opened()
{
    if (!FActive.load() && IsPCMFormatValid(GetPWaveFormat()))
        FActive.store(true);
    TMMDSPComponent::Opened();
}

void TMMVolume::Closed()
{
    FActive.store(false);
    TMMDSPComponent::Closed();
}

bool TMMVolume::ApplyGain(void* Data, int32_t Bytes)
{
    // Each gain is read once, so a buffer sees either the old or the new value.
    const int32_t left = FLeftGain.load(std::memory_order_relaxed);
    const int32_t right = FRightGain.load(std::memory_order_relaxed);
    auto* d = static_cast<uint8_t*>(Data);
    switch (FLayout.load(std::memory_order_relaxed)) {
    case 8 * 4 + 1:
        return left != 16384 && VolumeMono8(d, Bytes, left);
    case 8 * 4 + 2:
        return (left != 16384 || right != 16384) && VolumeStereo8(d, Bytes / 2, left, right);
    case 16 * 4 + 1:
        return left != 16384 && VolumeMono16(d, Bytes / 2, left);
    case 16 * 4 + 2:
        return (left != 16384 || right != 16384) && VolumeStereo16(d, Bytes / 4, left, right);
    default:
        return false;
    }
}

void TMMVolume::ProcessBuffer(PWaveHdr Buffer)
{
    if (Buffer && Buffer->lpData && Enabled() && FActive.load(std::memory_order_relaxed)) {
        // Never past the data area, whatever the record claims.
        const uint32_t bytes = Buffer->dwBytesRecorded < Buffer->dwBufferLength ? Buffer->dwBytesRecorded
                                                                                : Buffer->dwBufferLength;
        ApplyGain(Buffer->lpData, static_cast<int32_t>(bytes & 0x7FFFFFFF));
    }
}

void TMMVolume::BufferReady(PWaveHdr Buffer)
{
    ProcessBuffer(Buffer);
    TMMDSPComponent::BufferReady(Buffer);
}

bool TMMVolume::BufferLoad(PWaveHdr Buffer, bool& MoreBuffers)
{
    const bool result = TMMDSPComponent::BufferLoad(Buffer, MoreBuffers);
    ProcessBuffer(Buffer);
    return result;
}

} // namespace qv
