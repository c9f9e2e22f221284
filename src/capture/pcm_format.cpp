#include "capture/pcm_format.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/exceptions.h"

namespace qv {

namespace {

// A*B/C plus (2*(A*B mod C))/C with a 64-bit product and truncating division:
// the shared rounding multiply-divide, here with a divisor that may exceed the
// 32-bit signed range (a record's unsigned fields). A zero divisor gives 0.
int32_t MulDivRound(int64_t A, int64_t B, int64_t C)
{
    if (C == 0)
        return 0;
    const int64_t p = A * B;
    int64_t r = p / C + (2 * (p % C)) / C;
    if (r > std::numeric_limits<int32_t>::max())
        r = std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min())
        r = std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

// ((B + Align - 1) div Align) * Align, div truncating toward zero.
int32_t RoundUpToFrames(int32_t B, int32_t Align)
{
    if (Align <= 0)
        return 0;
    const int64_t r = (static_cast<int64_t>(B) + Align - 1) / Align * Align;
    if (r > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max() / Align * Align;
    return static_cast<int32_t>(r);
}

} // namespace

PWaveHdr AllocWaveHdr(int32_t BufferLength) noexcept
{
    if (BufferLength < 0)
        return nullptr;
    void* block = std::calloc(1, WAVEHDR_SIZE + static_cast<size_t>(BufferLength));
    if (!block)
        return nullptr;
    auto* hdr = static_cast<PWaveHdr>(block);
    hdr->lpData = static_cast<char*>(block) + WAVEHDR_SIZE;
    hdr->dwBufferLength = static_cast<uint32_t>(BufferLength);
    return hdr;
}

void FreeWaveHdr(PWaveHdr& Hdr) noexcept
{
    std::free(Hdr);
    Hdr = nullptr;
}

void BuildPCMFormat(TWaveFormatEx& Format, uint16_t Bits, uint16_t Channels, uint32_t Rate)
{
    Format.wFormatTag = WAVE_FORMAT_PCM;
    Format.nChannels = Channels;
    Format.nSamplesPerSec = Rate;
    Format.wBitsPerSample = Bits;
    const auto product = static_cast<uint16_t>(Channels * Bits); // 16-bit arithmetic
    Format.nBlockAlign = static_cast<uint16_t>(product >> 3);
    Format.nAvgBytesPerSec = Format.nBlockAlign * Rate;
    Format.cbSize = 0;
}

bool IsPCMFormatValid(const TWaveFormatEx* Format)
{
    return Format && Format->wFormatTag == WAVE_FORMAT_PCM &&
           (Format->wBitsPerSample == 8 || Format->wBitsPerSample == 16) &&
           (Format->nChannels == 1 || Format->nChannels == 2) && Format->nSamplesPerSec >= 4000 &&
           Format->nSamplesPerSec <= 100000;
}

int32_t WaveFormatSize(const TWaveFormatEx* Format)
{
    if (!Format)
        return 0;
    if (Format->wFormatTag == WAVE_FORMAT_PCM)
        return static_cast<int32_t>(sizeof(TWaveFormatEx));
    return static_cast<int32_t>(sizeof(TWaveFormatEx)) + Format->cbSize;
}

TWaveFormatEx* CopyWaveFormat(const TWaveFormatEx* Format)
{
    const int32_t size = WaveFormatSize(Format);
    if (size <= 0)
        return nullptr;
    void* copy = std::calloc(1, static_cast<size_t>(size));
    if (!copy)
        throw EOutOfMemory("Out of memory");
    std::memcpy(copy, Format, static_cast<size_t>(size));
    auto* result = static_cast<TWaveFormatEx*>(copy);
    if (result->wFormatTag == WAVE_FORMAT_PCM)
        result->cbSize = 0;
    return result;
}

void FreeWaveFormat(TWaveFormatEx*& Format)
{
    std::free(Format);
    Format = nullptr;
}

int32_t BytesToMs(const TWaveFormatEx* Format, int32_t Bytes)
{
    if (!Format)
        return 0;
    return MulDivRound(Bytes, 1000, Format->nAvgBytesPerSec);
}

int32_t BytesToSamples(const TWaveFormatEx* Format, int32_t Bytes)
{
    if (!Format)
        return 0;
    return MulDivRound(Bytes, Format->nSamplesPerSec, Format->nAvgBytesPerSec);
}

int32_t MsToBytes(const TWaveFormatEx* Format, int32_t Milliseconds)
{
    if (!Format || Format->nBlockAlign == 0)
        return 0;
    return RoundUpToFrames(MulDivRound(Milliseconds, Format->nAvgBytesPerSec, 1000), Format->nBlockAlign);
}

int32_t SamplesToBytes(const TWaveFormatEx* Format, int32_t Frames)
{
    if (!Format || Format->nBlockAlign == 0 || Format->nSamplesPerSec == 0)
        return 0;
    return RoundUpToFrames(MulDivRound(Frames, Format->nAvgBytesPerSec, Format->nSamplesPerSec),
                           Format->nBlockAlign);
}

} // namespace qv
