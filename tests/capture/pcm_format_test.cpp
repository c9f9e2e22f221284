#include "capture/pcm_format.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "framework/exceptions.h"

using namespace qv;

namespace {
TWaveFormatEx Pcm(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}
} // namespace

TEST(PcmFormat, BuildFillsEveryFieldOfThePackedRecord)
{
    TWaveFormatEx f;
    std::memset(&f, 0xFF, sizeof f);
    BuildPCMFormat(f, 16, 2, 44100);
    const uint8_t expected[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&f, expected, sizeof expected), 0); // tag 1, block align 4, 4 * 44100 per second

    BuildPCMFormat(f, 8, 1, 11025);
    EXPECT_EQ(+f.nBlockAlign, 1);
    EXPECT_EQ(+f.nAvgBytesPerSec, 11025u);
    // The block alignment is formed in 16 bits: 4096 channels of 16 bits wrap to 0.
    BuildPCMFormat(f, 16, 4096, 8000);
    EXPECT_EQ(+f.nBlockAlign, 0);
    EXPECT_EQ(+f.nAvgBytesPerSec, 0u);
    BuildPCMFormat(f, 12, 1, 8000); // 12 shr 3 = 1
    EXPECT_EQ(+f.nBlockAlign, 1);
}

TEST(PcmFormat, Validity)
{
    EXPECT_FALSE(IsPCMFormatValid(nullptr));
    const struct {
        uint16_t bits, channels;
        uint32_t rate;
        uint16_t tag;
        bool valid;
    } cases[] = {{8, 1, 4000, 1, true},     {16, 2, 100000, 1, true}, {16, 2, 3999, 1, false},
                 {16, 2, 100001, 1, false}, {24, 2, 44100, 1, false}, {16, 3, 44100, 1, false},
                 {16, 0, 44100, 1, false},  {16, 2, 44100, 2, false}};
    for (const auto& c : cases) {
        TWaveFormatEx f = Pcm(c.bits, c.channels, c.rate);
        f.wFormatTag = c.tag;
        EXPECT_EQ(IsPCMFormatValid(&f), c.valid)
            << c.bits << "b " << c.channels << "ch " << c.rate << "Hz tag " << c.tag;
    }
    // The derived fields are not checked: a zero rate per second still passes.
    TWaveFormatEx f = Pcm(16, 2, 44100);
    f.nAvgBytesPerSec = 0;
    f.nBlockAlign = 0;
    EXPECT_TRUE(IsPCMFormatValid(&f));
}

TEST(PcmFormat, SizeAndCopy)
{
    EXPECT_EQ(WaveFormatSize(nullptr), 0);
    EXPECT_EQ(CopyWaveFormat(nullptr), nullptr);

    // A compressed record with 32 extra bytes behind it is copied whole.
    std::vector<uint8_t> raw(50);
    for (size_t i = 18; i < raw.size(); ++i)
        raw[i] = static_cast<uint8_t>(i);
    auto* adpcm = reinterpret_cast<TWaveFormatEx*>(raw.data());
    adpcm->wFormatTag = 2;
    adpcm->cbSize = 32;
    EXPECT_EQ(WaveFormatSize(adpcm), 50);
    TWaveFormatEx* copy = CopyWaveFormat(adpcm);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, raw.data(), 50), 0);
    FreeWaveFormat(copy);
    EXPECT_EQ(copy, nullptr);
    FreeWaveFormat(copy); // null is allowed

    // A PCM record with a stray cbSize is copied as 18 bytes with cbSize 0.
    TWaveFormatEx pcm = Pcm(16, 1, 22050);
    pcm.cbSize = 22;
    EXPECT_EQ(WaveFormatSize(&pcm), 18);
    TWaveFormatPtr owned = CopyWaveFormatPtr(&pcm);
    ASSERT_TRUE(owned);
    EXPECT_EQ(+owned->cbSize, 0);
    EXPECT_EQ(+owned->nSamplesPerSec, 22050u);
    EXPECT_EQ(+owned->nBlockAlign, 2);
    EXPECT_EQ(+pcm.cbSize, 22); // the source is untouched
}

TEST(PcmFormat, Conversions)
{
    const TWaveFormatEx cd = Pcm(16, 2, 44100), tel = Pcm(8, 1, 11025), m8k = Pcm(8, 1, 8000);
    EXPECT_EQ(MsToBytes(&cd, 1), 176); // 176.4 -> 176, already whole frames
    EXPECT_EQ(MsToBytes(&cd, 3), 532); // 529.2 -> 529 -> up to 532
    EXPECT_EQ(MsToBytes(&cd, 1000), 176400);
    EXPECT_EQ(MsToBytes(&cd, 0), 0);
    EXPECT_EQ(BytesToMs(&tel, 11025), 1000);
    EXPECT_EQ(BytesToMs(&tel, 5), 0); // 0.45
    EXPECT_EQ(BytesToMs(&tel, 6), 1); // 0.54
    EXPECT_EQ(BytesToMs(&tel, 2048), 186); // 185.76
    EXPECT_EQ(MsToBytes(&tel, 1000), 11025);
    EXPECT_EQ(BytesToMs(&m8k, 4), 1); // a half rounds away from zero
    EXPECT_EQ(BytesToMs(&m8k, -4), -1);
    EXPECT_EQ(BytesToSamples(&cd, 2048), 512);
    EXPECT_EQ(BytesToSamples(&cd, 2046), 512); // 511.5
    EXPECT_EQ(BytesToSamples(&cd, 2045), 511); // 511.25
    EXPECT_EQ(SamplesToBytes(&cd, 512), 2048);
    EXPECT_EQ(SamplesToBytes(&tel, 3), 3);

    // 6-byte frames (24-bit stereo record built by hand): rounding up to frames.
    const TWaveFormatEx f6 = Pcm(24, 2, 8000);
    EXPECT_EQ(+f6.nBlockAlign, 6);
    EXPECT_EQ(MsToBytes(&f6, 1), 48);
    EXPECT_EQ(SamplesToBytes(&f6, 1), 6);

    // A record that passes validation can still hold zero divisors: no crash, 0.
    TWaveFormatEx broken = cd;
    broken.nAvgBytesPerSec = 0;
    broken.nBlockAlign = 0;
    EXPECT_EQ(BytesToMs(&broken, 100), 0);
    EXPECT_EQ(BytesToSamples(&broken, 100), 0);
    EXPECT_EQ(MsToBytes(&broken, 100), 0);
    EXPECT_EQ(SamplesToBytes(&broken, 100), 0);
    broken.nSamplesPerSec = 0;
    broken.nBlockAlign = 4;
    EXPECT_EQ(SamplesToBytes(&broken, 100), 0);
    EXPECT_EQ(BytesToMs(nullptr, 100), 0);
    EXPECT_EQ(MsToBytes(nullptr, 100), 0);
}

TEST(PcmFormat, ChannelSelection)
{
    const auto v16 = [](int16_t left, int16_t right, uint16_t channels, TMMChannel channel) {
        uint8_t frame[4];
        WriteSample16(frame, left);
        WriteSample16(frame + 2, right);
        return ChannelValue16(frame, channels, channel);
    };
    EXPECT_EQ(v16(-3, 0, 2, chBoth), -1); // -1.5 truncated toward zero
    EXPECT_EQ(v16(-3, 0, 2, chLeft), -3);
    EXPECT_EQ(v16(-3, 0, 2, chRight), 0);
    EXPECT_EQ(v16(-3, 0, 1, chRight), -3); // mono: the one sample
    EXPECT_EQ(v16(32767, 32767, 2, chBoth), 32767);
    EXPECT_EQ(v16(-32768, -32767, 2, chBoth), -32767);
    uint8_t le[2];
    WriteSample16(le, -32768);
    EXPECT_EQ(le[0], 0x00);
    EXPECT_EQ(le[1], 0x80);

    const uint8_t frame8[2] = {255, 0}, frame8b[2] = {255, 254};
    EXPECT_EQ(ChannelValue8(frame8, 2, chBoth), 127);
    EXPECT_EQ(ChannelValue8(frame8, 2, chLeft), 255);
    EXPECT_EQ(ChannelValue8(frame8, 2, chRight), 0);
    EXPECT_EQ(ChannelValue8(frame8, 1, chRight), 255);
    EXPECT_EQ(ChannelValue8(frame8b, 2, chBoth), 254); // unsigned add, no wrap

    EXPECT_EQ(ChannelOffset(2, 2, chRight), 2);
    EXPECT_EQ(ChannelOffset(2, 1, chRight), 1);
    EXPECT_EQ(ChannelOffset(2, 2, chLeft), 0);
    EXPECT_EQ(ChannelOffset(1, 2, chRight), 0);
    EXPECT_EQ(ChannelOffset(2, 2, chBoth), 0);

    EXPECT_EQ(BitLengthOf(Pcm(16, 2, 8000)), b16Bit);
    EXPECT_EQ(ModeOf(Pcm(16, 2, 8000)), mStereo);
    EXPECT_EQ(BitLengthOf(Pcm(8, 1, 8000)), b8Bit);
    EXPECT_EQ(ModeOf(Pcm(8, 1, 8000)), mMono);
}

TEST(PcmFormat, BufferBlockLayout)
{
    PWaveHdr hdr = AllocWaveHdr(2048);
    ASSERT_NE(hdr, nullptr);
    EXPECT_EQ(hdr->lpData, reinterpret_cast<char*>(hdr) + WAVEHDR_SIZE);
    EXPECT_EQ(hdr->dwBufferLength, 2048u);
    // The rest of the header, its extensions and the whole data area start zero.
    const auto* block = reinterpret_cast<const uint8_t*>(hdr);
    EXPECT_TRUE(std::all_of(block + offsetof(TWaveHdr, dwBytesRecorded), block + WAVEHDR_SIZE + 2048,
                            [](uint8_t b) { return b == 0; }));
    hdr->lpData[2047] = 1; // the whole data area is usable
    FreeWaveHdr(hdr);
    EXPECT_EQ(hdr, nullptr);
    FreeWaveHdr(hdr);

    PWaveHdr empty = AllocWaveHdr(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->dwBufferLength, 0u);
    FreeWaveHdr(empty);
    EXPECT_EQ(AllocWaveHdr(-1), nullptr);

    // The fields keep their order; the offsets follow the host.
    EXPECT_LT(offsetof(TWaveHdr, dwBufferLength), offsetof(TWaveHdr, dwBytesRecorded));
    EXPECT_LT(offsetof(TWaveHdr, dwFlags), offsetof(TWaveHdr, lpNext));
    EXPECT_LT(offsetof(TWaveHdr, reserved), offsetof(TWaveHdr, lpLinkedHdr));
    EXPECT_EQ(WAVEHDR_SIZE, offsetof(TWaveHdr, extension2) + 16);
}
