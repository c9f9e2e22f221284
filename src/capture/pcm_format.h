#pragma once
// The wave-format record, the buffer record and the format enumerations that
// every stage of the chain shares, with the plain format operations (building,
// validating, copying, converting between bytes, milliseconds and frames) and
// the rule by which one value is read per frame.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qv {

enum TMMMode : int32_t { mMono = 0, mStereo = 1 };
enum TMMBits : int32_t { b8Bit = 0, b16Bit = 1 };
enum TMMChannel : int32_t { chBoth = 0, chLeft = 1, chRight = 2 };

constexpr uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// 18 bytes, little-endian, packed: the layout of the platform's wave format.
// A record of another tag is followed by cbSize bytes of its own.
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
static_assert(offsetof(TWaveFormatEx, nSamplesPerSec) == 4 && offsetof(TWaveFormatEx, nAvgBytesPerSec) == 8 &&
                  offsetof(TWaveFormatEx, nBlockAlign) == 12 && offsetof(TWaveFormatEx, wBitsPerSample) == 14 &&
                  offsetof(TWaveFormatEx, cbSize) == 16,
              "TWaveFormatEx field offsets");

using PWaveFormatEx = TWaveFormatEx*;

// ---------------------------------------------------------------------------
// Buffer record. The first part has the layout of the platform's wave header,
// an extension follows; the fields keep their meaning on every host, the byte
// offsets follow the host's pointer width (60 bytes on a 32-bit host).
constexpr uint32_t WHDR_DONE = 0x00000001;     // the driver has finished with it
constexpr uint32_t WHDR_PREPARED = 0x00000002; // prepared for the device

struct TWaveHdr;
using PWaveHdr = TWaveHdr*;

struct TWaveHdr {
    char* lpData;             // first byte of the sample data
    uint32_t dwBufferLength;  // capacity of the data area in bytes
    uint32_t dwBytesRecorded; // valid bytes at lpData (whole frames)
    uint32_t dwUser;          // 0
    uint32_t dwFlags;         // WHDR_DONE, WHDR_PREPARED
    uint32_t dwLoops;         // 0
    PWaveHdr lpNext;          // reserved for the driver
    uint32_t reserved;        // reserved for the driver
    uint8_t extension1[8];    // zero
    PWaveHdr lpLinkedHdr;     // optional second record a synchronising connector takes instead
    uint8_t extension2[16];   // zero
};
// The size of one header; the data area follows it directly in one block.
constexpr size_t WAVEHDR_SIZE = sizeof(TWaveHdr);
static_assert(sizeof(void*) != 4 || WAVEHDR_SIZE == 60, "a header is 60 bytes on a 32-bit host");
// The data area starts on a 16-byte boundary on this host: good for vector loads.
static_assert(sizeof(void*) != 8 || WAVEHDR_SIZE % 16 == 0, "data area alignment");

// One zero-filled block of WAVEHDR_SIZE + BufferLength bytes: the header at the
// start, the data directly behind it (lpData = block + WAVEHDR_SIZE),
// dwBufferLength = BufferLength. Null when the memory cannot be had (or the
// length is negative); the caller reports that.
PWaveHdr AllocWaveHdr(int32_t BufferLength) noexcept;
// Releases a block made by AllocWaveHdr and clears the variable; null is allowed.
void FreeWaveHdr(PWaveHdr& Hdr) noexcept;

// ---------------------------------------------------------------------------
// Format operations: plain functions without state, safe on any thread.

// Fills Format as PCM: nBlockAlign := (Channels * Bits) shr 3 formed in 16 bits,
// nAvgBytesPerSec := nBlockAlign * Rate, cbSize 0.
void BuildPCMFormat(TWaveFormatEx& Format, uint16_t Bits, uint16_t Channels, uint32_t Rate);
// PCM, 8 or 16 bits, 1 or 2 channels, 4000..100000 Hz.
bool IsPCMFormatValid(const TWaveFormatEx* Format);
// 0 for null, 18 for PCM, else 18 + cbSize.
int32_t WaveFormatSize(const TWaveFormatEx* Format);
// A new zero-filled copy of WaveFormatSize bytes (cbSize forced to 0 for PCM);
// null for null. Running out of memory raises EOutOfMemory.
TWaveFormatEx* CopyWaveFormat(const TWaveFormatEx* Format);
// Releases a record made by CopyWaveFormat and clears the variable; null is allowed.
void FreeWaveFormat(TWaveFormatEx*& Format);

// Conversions. A zero divisor in the record (or a null record) gives 0.
int32_t BytesToMs(const TWaveFormatEx* Format, int32_t Bytes);
int32_t BytesToSamples(const TWaveFormatEx* Format, int32_t Bytes);
// Rounded up to whole frames.
int32_t MsToBytes(const TWaveFormatEx* Format, int32_t Milliseconds);
int32_t SamplesToBytes(const TWaveFormatEx* Format, int32_t Frames);

// An owned format copy that releases itself.
struct TWaveFormatDeleter {
    void operator()(TWaveFormatEx* p) const noexcept { FreeWaveFormat(p); }
};
using TWaveFormatPtr = std::unique_ptr<TWaveFormatEx, TWaveFormatDeleter>;
inline TWaveFormatPtr CopyWaveFormatPtr(const TWaveFormatEx* Format)
{
    return TWaveFormatPtr(CopyWaveFormat(Format));
}

// The settings a component takes from a valid PCM record.
inline TMMBits BitLengthOf(const TWaveFormatEx& Format)
{
    return static_cast<TMMBits>(Format.wBitsPerSample / 8 - 1);
}
inline TMMMode ModeOf(const TWaveFormatEx& Format) { return static_cast<TMMMode>(Format.nChannels - 1); }

// ---------------------------------------------------------------------------
// Sample access. 8-bit samples are unsigned (excess-128, silence 128); 16-bit
// samples are signed little-endian words (silence 0). Stereo frames hold the
// left sample first.

inline int16_t ReadSample16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (static_cast<uint16_t>(p[1]) << 8)));
}
inline void WriteSample16(uint8_t* p, int16_t v)
{
    const auto u = static_cast<uint16_t>(v);
    p[0] = static_cast<uint8_t>(u & 0xFF);
    p[1] = static_cast<uint8_t>(u >> 8);
}

// One value of a 16-bit frame: left, right, or (left + right) / 2 truncated
// toward zero for chBoth. Mono frames give their one sample for every setting.
inline int16_t ChannelValue16(const uint8_t* Frame, uint16_t Channels, TMMChannel Channel)
{
    if (Channels < 2)
        return ReadSample16(Frame);
    switch (Channel) {
    case chLeft: return ReadSample16(Frame);
    case chRight: return ReadSample16(Frame + 2);
    default: return static_cast<int16_t>((ReadSample16(Frame) + ReadSample16(Frame + 2)) / 2);
    }
}

// One value of an 8-bit frame, still in excess-128 code: for chBoth the two
// unsigned bytes added and shifted right by one.
inline uint8_t ChannelValue8(const uint8_t* Frame, uint16_t Channels, TMMChannel Channel)
{
    if (Channels < 2)
        return Frame[0];
    switch (Channel) {
    case chLeft: return Frame[0];
    case chRight: return Frame[1];
    default: return static_cast<uint8_t>((Frame[0] + Frame[1]) >> 1);
    }
}

// Byte offset at which a reader of one channel starts ((channel - 1) * bytes per
// sample for chLeft / chRight of stereo data, else 0); it then steps by the frame.
inline int32_t ChannelOffset(uint16_t Channels, uint16_t BytesPerSample, TMMChannel Channel)
{
    if (Channels < 2 || Channel == chBoth)
        return 0;
    return (static_cast<int32_t>(Channel) - 1) * BytesPerSample;
}

} // namespace qv
