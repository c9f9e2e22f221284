#include "chain/volume.h"

#include <QVariant>
#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "chain/volume_kernels.h"
#include "chain_doubles.h"

using namespace qv;
using namespace qv::test;

namespace {
// The law itself, in 64 bits, for comparison with the kernels.
int32_t Reference(int32_t x, int32_t gain, int32_t lo, int32_t hi, bool& clamped)
{
    int64_t v = (static_cast<int64_t>(x) * gain) >> 14;
    if (v < lo || v > hi)
        clamped = true;
    return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
}

std::vector<uint8_t> Words(std::initializer_list<int16_t> samples)
{
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    return bytes;
}

int16_t WordAt(PWaveHdr h, int i) { return ReadSample16(reinterpret_cast<uint8_t*>(h->lpData) + 2 * i); }
uint8_t ByteAt(PWaveHdr h, int i) { return static_cast<uint8_t>(h->lpData[i]); }

struct VolumeChain {
    TestDriver wave{"WaveIn"};
    TMMVolume volume;
    TestStage after{"After"};
    explicit VolumeChain(uint16_t bits, uint16_t channels)
    {
        wave.SetFormat(bits, channels, 11025);
        wave.SetOutput(&volume);
        volume.SetOutput(&after);
        wave.Open();
        wave.Start();
    }
};
} // namespace

TEST(VolumeKernels, MatchTheLawForEverySampleAndExtremeGains)
{
    const std::vector<int32_t> gains = {0,      1,      -1,     8192,    16383,   16384,    16385,    32768,
                                        -16384, 100000, 123457, 1 << 29, -(1 << 29), 1 << 30, -(1 << 30),
                                        INT_MAX, INT_MIN, 65535 * 16384, 65536 * 16384, -65536 * 16384};
    std::vector<uint8_t> all8(256);
    std::vector<int16_t> all16(65536);
    for (int32_t g : gains) {
        for (int i = 0; i < 256; ++i)
            all8[i] = static_cast<uint8_t>(i);
        bool want = false;
        std::vector<uint8_t> expect8(256);
        for (int i = 0; i < 256; ++i)
            expect8[i] = static_cast<uint8_t>(Reference(i - 128, g, -128, 127, want) + 128);
        EXPECT_EQ(VolumeMono8(all8.data(), 256, g), want) << g;
        EXPECT_EQ(all8, expect8) << g;

        std::vector<uint8_t> bytes(65536 * 2);
        std::vector<uint8_t> expect16(65536 * 2);
        want = false;
        for (int i = 0; i < 65536; ++i) {
            const auto s = static_cast<int16_t>(i - 32768);
            WriteSample16(&bytes[2 * i], s);
            WriteSample16(&expect16[2 * i], static_cast<int16_t>(Reference(s, g, -32768, 32767, want)));
        }
        EXPECT_EQ(VolumeMono16(bytes.data(), 65536, g), want) << g;
        EXPECT_EQ(bytes, expect16) << g;
    }

    // Stereo: each channel with its own gain, random data, odd lengths and an
    // unaligned start.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const auto l = static_cast<int32_t>(rng());
        const auto r = static_cast<int32_t>(rng() % 200000) - 100000;
        const int frames = 1 + static_cast<int>(rng() % 300);
        std::vector<uint8_t> raw(1 + frames * 4);
        for (auto& b : raw)
            b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> expect = raw;
        bool want = false;
        for (int i = 0; i < frames * 2; ++i) {
            const int16_t s = ReadSample16(&raw[1 + 2 * i]);
            WriteSample16(&expect[1 + 2 * i],
                          static_cast<int16_t>(Reference(s, i % 2 ? r : l, -32768, 32767, want)));
        }
        EXPECT_EQ(VolumeStereo16(raw.data() + 1, frames, l, r), want);
        EXPECT_EQ(raw, expect) << l << " " << r;

        std::vector<uint8_t> raw8(1 + frames * 2);
        for (auto& b : raw8)
            b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> expect8 = raw8;
        want = false;
        for (int i = 0; i < frames * 2; ++i)
            expect8[1 + i] = static_cast<uint8_t>(Reference(raw8[1 + i] - 128, i % 2 ? r : l, -128, 127, want) + 128);
        EXPECT_EQ(VolumeStereo8(raw8.data() + 1, frames, l, r), want);
        EXPECT_EQ(raw8, expect8);
    }
    EXPECT_FALSE(VolumeMono16(nullptr, 10, 5));
    EXPECT_FALSE(VolumeStereo8(all8.data(), 0, 5, 5));
}

TEST(Volume, GainLaw)
{
    TMMVolume v;
    EXPECT_TRUE(v.Enabled());
    EXPECT_EQ(v.Volume(), 16384);
    EXPECT_EQ(v.Panning(), 0);
    EXPECT_EQ(v.LeftGain(), 16384);
    EXPECT_EQ(v.RightGain(), 16384);

    v.SetPanning(8192);
    EXPECT_EQ(v.LeftGain(), 8192);
    EXPECT_EQ(v.RightGain(), 16384);
    v.SetPanning(-16384);
    EXPECT_EQ(v.LeftGain(), 16384);
    EXPECT_EQ(v.RightGain(), 0);
    v.SetPanning(16384);
    EXPECT_EQ(v.LeftGain(), 0);
    EXPECT_EQ(v.RightGain(), 16384);
    // Rounded to nearest, a half away from zero: 3 * 8193 / 16384 = 1.50018.. -> 2;
    // 1 * 8192 / 16384 = 0.5 -> 1.
    v.SetVolume(3);
    v.SetPanning(8191);
    EXPECT_EQ(v.LeftGain(), 2);
    EXPECT_EQ(v.RightGain(), 3);
    v.SetVolume(1);
    v.SetPanning(8192);
    EXPECT_EQ(v.LeftGain(), 1);
    v.SetVolume(-1);
    EXPECT_EQ(v.LeftGain(), -1); // negative gains are kept
    EXPECT_EQ(v.RightGain(), -1);
    // Huge values saturate instead of wrapping.
    v.SetPanning(-INT_MAX);
    v.SetVolume(INT_MAX);
    EXPECT_EQ(v.LeftGain(), INT_MAX);
    EXPECT_EQ(v.RightGain(), INT_MIN);
    v.SetPanning(INT_MAX);
    v.SetVolume(INT_MIN);
    EXPECT_EQ(v.LeftGain(), INT_MAX);
    EXPECT_EQ(v.RightGain(), INT_MIN);

    // Published by name.
    QObject* q = v.AsQObject();
    EXPECT_TRUE(q->setProperty("Volume", 100000));
    EXPECT_TRUE(q->setProperty("Panning", 0));
    EXPECT_TRUE(q->setProperty("Enabled", false));
    EXPECT_EQ(v.LeftGain(), 100000);
    EXPECT_FALSE(v.Enabled());
}

TEST(Volume, RefusesInvalidFormats)
{
    TMMVolume v;
    auto ok = PcmFormat(16, 2, 44100);
    v.SetPWaveFormat(&ok);
    auto bad = PcmFormat(24, 2, 44100);
    try {
        v.SetPWaveFormat(&bad);
        FAIL() << "24-bit accepted";
    } catch (const EMMVolumeError& e) {
        EXPECT_EQ(e.Message(), "Invalid WaveFormat");
    }
    EXPECT_EQ(+v.GetPWaveFormat()->wBitsPerSample, 16); // the previous one stays
    bad = ok;
    bad.wFormatTag = 2;
    EXPECT_THROW(v.SetPWaveFormat(&bad), EMMVolumeError);
    v.SetPWaveFormat(nullptr);
    EXPECT_EQ(v.GetPWaveFormat(), nullptr);
    // In design mode anything is stored.
    v.SetDesigning(true);
    bad = PcmFormat(16, 3, 44100);
    v.SetPWaveFormat(&bad);
    EXPECT_EQ(+v.GetPWaveFormat()->nChannels, 3);
    v.SetDesigning(false);

    // A driver whose format the stage refuses: the link stays, the error reaches the caller.
    TestDriver d("D");
    TMMVolume w;
    d.SetOutput(&w);
    EXPECT_THROW(d.SetFormat(12, 1, 8000), EMMVolumeError);
    EXPECT_EQ(d.Output(), &w);
    EXPECT_EQ(w.GetPWaveFormat(), nullptr);
    // Opened without a valid format: inactive, buffers pass unchanged.
    w.SetVolume(32768);
    d.Open();
    d.Start();
    EXPECT_FALSE(w.Active());
    d.Deliver({200, 100});
    EXPECT_EQ(ByteAt(d.LastBuffer(), 0), 200);
}

TEST(Volume, ScalesBuffersInPlace)
{
    {
        VolumeChain c(8, 1);
        EXPECT_TRUE(c.volume.Active());
        // Unity: byte for byte unchanged, also when enabled.
        c.wave.Deliver({0, 1, 127, 128, 129, 255});
        EXPECT_EQ(std::vector<uint8_t>(c.wave.LastBuffer()->lpData, c.wave.LastBuffer()->lpData + 6),
                  (std::vector<uint8_t>{0, 1, 127, 128, 129, 255}));
        c.volume.SetVolume(32768);
        c.wave.Deliver({200, 100, 0, 128});
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 0), 255);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 1), 72);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 2), 0);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 3), 128);
        // Switched off: passes unchanged, still reaches the next stage.
        c.volume.SetEnabled(false);
        c.wave.Deliver({200});
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 0), 200);
        c.volume.SetEnabled(true);
        // Closing makes it inactive.
        c.wave.Stop();
        c.wave.Close();
        EXPECT_FALSE(c.volume.Active());
        c.wave.Deliver({200});
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 0), 200);
    }
    {
        VolumeChain c(16, 1);
        c.volume.SetVolume(32768);
        c.wave.Deliver(Words({20000, -20000, 1000}));
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 0), 32767);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 1), -32768);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 2), 2000);
        c.volume.SetVolume(100000);
        c.wave.Deliver(Words({32767, -32768, 5}));
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 0), 32767);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 1), -32768);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 2), 30);
        c.volume.SetVolume(8192);
        c.wave.Deliver(Words({-3, 3, -1, 1}));
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 0), -2);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 1), 1);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 2), -1);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 3), 0);
        // Panning 8192 at unity halves a mono stream (the left gain).
        c.volume.SetVolume(16384);
        c.volume.SetPanning(8192);
        c.wave.Deliver(Words({1000, -1000}));
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 0), 500);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 1), -500);
    }
    {
        VolumeChain c(16, 2);
        c.volume.SetPanning(-8192); // right halved
        c.wave.Deliver(Words({1000, 1000, -7, -7, 5}));
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 0), 1000);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 1), 500);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 2), -7);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 3), -4);
        EXPECT_EQ(WordAt(c.wave.LastBuffer(), 4), 5); // a partial frame is left alone
    }
    {
        VolumeChain c(8, 2);
        c.volume.SetPanning(16384); // left silenced
        c.wave.Deliver({200, 200, 0, 0, 7});
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 0), 128);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 1), 200);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 2), 128);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 3), 0);
        EXPECT_EQ(ByteAt(c.wave.LastBuffer(), 4), 7);
        // The pull direction scales what the input filled.
        c.volume.SetPanning(0);
        c.volume.SetVolume(32768);
        TestStage source("Source");
        auto f = PcmFormat(8, 2, 11025);
        source.SetPWaveFormat(&f);
        source.SetOutput(&c.volume);
        EXPECT_TRUE(c.volume.Active());
        PWaveHdr h = AllocWaveHdr(2);
        h->lpData[0] = static_cast<char>(138);
        h->lpData[1] = static_cast<char>(118);
        h->dwBytesRecorded = 2;
        bool more = true;
        c.after.BufferLoad(h, more);
        EXPECT_EQ(ByteAt(h, 0), 148);
        EXPECT_EQ(ByteAt(h, 1), 108);
        FreeWaveHdr(h);
    }
}

TEST(Volume, ApplyGainReportsClamping)
{
    TMMVolume v;
    auto f = PcmFormat(16, 1, 8000);
    v.SetPWaveFormat(&f);
    auto data = Words({100, 200});
    EXPECT_FALSE(v.ApplyGain(data.data(), 4)); // unity: skipped
    v.SetVolume(32768);
    EXPECT_FALSE(v.ApplyGain(data.data(), 4));
    data = Words({20000});
    EXPECT_TRUE(v.ApplyGain(data.data(), 2));
}
