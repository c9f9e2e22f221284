#pragma once
// The wave-format record, the buffer record and the format enumerations that
// every stage of the chain shares.
#include <cstdint>

namespace qv {

enum TMMMode : int32_t { mMono = 0, mStereo = 1 };
enum TMMBits : int32_t { b8Bit = 0, b16Bit = 1 };
enum TMMChannel : int32_t { chBoth = 0, chLeft = 1, chRight = 2 };

constexpr uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// 18 bytes, little-endian, packed: the layout of the platform's wave format.
struct TWaveFormatEx {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatEx) == 18, "TWaveFormatEx must be 18 bytes");

using PWaveFormatEx = TWaveFormatEx*;

} // namespace qv
