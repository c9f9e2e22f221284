#include "chain/volume.h"

#include <QVariant>
#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "chain/volume_kernels.h"
#include "chain_doubles.h"

using namespace qv;
using namespace qv::test;

namespace {
using Bytes = std::vector<uint8_t>;
using Words = std::vector<int16_t>;

// The law itself, in 64 bits, applied to Count samples of 8 or 16 bits in
// place, the gains alternating left and right; true when some sample clamped.
bool ReferenceGain(uint8_t* p, int count, int bits, int32_t left, int32_t right)
{
    const int64_t lo = bits == 8 ? -128 : -32768, hi = -lo - 1;
    bool clamped = false;
    for (int i = 0; i < count; ++i) {
        const int64_t x = bits == 8 ? p[i] - 128 : ReadSample16(p + 2 * i);
        const int64_t v = (x * (i % 2 ? right : left)) >> 14;
        clamped = clamped || v < lo || v > hi;
        if (bits == 8)
            p[i] = static_cast<uint8_t>(std::clamp(v, lo, hi) + 128);
        else
            WriteSample16(p + 2 * i, static_cast<int16_t>(std::clamp(v, lo, hi)));
    }
    return clamped;
}

Bytes ToBytes(const Words& samples)
{
    Bytes bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        WriteSample16(&bytes[2 * i], samples[i]);
    return bytes;
}

// WaveIn -> volume -> After, opened and started at 11025 Hz.
struct VolumeChain {
    TestDriver wave{"WaveIn"};
    TMMVolume volume;
    TestStage after{"After"};
    VolumeChain(uint16_t bits, uint16_t channels)
    {
        wave.SetFormat(bits, channels, 11025);
        wave.SetOutput(&volume);
        volume.SetOutput(&after);
        wave.Open();
        wave.Start();
    }
    // Delivers the bytes and returns them as they left the chain.
    Bytes Pass(const Bytes& in)
    {
        wave.Deliver(in);
        return Bytes(wave.LastBuffer()->lpData, wave.LastBuffer()->lpData + in.size());
    }
    Words Pass16(const Words& in)
    {
        const Bytes out = Pass(ToBytes(in));
        Words w(in.size());
        for (size_t i = 0; i < w.size(); ++i)
            w[i] = ReadSample16(&out[2 * i]);
        return w;
    }
};
} // namespace

TEST(VolumeKernels, MatchTheLawForEverySampleAndExtremeGains)
{
    const std::vector<int32_t> gains = {0,      1,      -1,     8192,    16383,   16384,    16385,    32768,
                                        -16384, 100000, 123457, 1 << 29, -(1 << 29), 1 << 30, -(1 << 30),
                                        INT_MAX, INT_MIN, 65535 * 16384, 65536 * 16384, -65536 * 16384};
    for (int32_t g : gains) {
        for (int bits : {8, 16}) {
            const int count = 1 << bits; // every sample value once
            Bytes all(count * bits / 8);
            for (size_t k = 0; k < all.size(); ++k)
                all[k] = static_cast<uint8_t>(bits == 8 ? k : (k % 2 ? k >> 9 : k >> 1));
            Bytes expect = all;
            const bool want = ReferenceGain(expect.data(), count, bits, g, g);
            const bool clamped = bits == 8 ? VolumeMono8(all.data(), count, g)
                                           : VolumeMono16(all.data(), count, g);
            EXPECT_EQ(clamped, want) << bits << " bits, gain " << g;
            EXPECT_EQ(all, expect) << bits << " bits, gain " << g;
        }
    }

    // Stereo: each channel with its own gain, random data, odd lengths and an
    // unaligned start.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const auto l = static_cast<int32_t>(rng());
        const auto r = static_cast<int32_t>(rng() % 200000) - 100000;
        const int frames = 1 + static_cast<int>(rng() % 300);
        for (int bits : {8, 16}) {
            Bytes raw(1 + frames * bits / 4);
            for (auto& b : raw)
                b = static_cast<uint8_t>(rng());
            Bytes expect = raw;
            const bool want = ReferenceGain(expect.data() + 1, frames * 2, bits, l, r);
            EXPECT_EQ(bits == 8 ? VolumeStereo8(raw.data() + 1, frames, l, r)
                                : VolumeStereo16(raw.data() + 1, frames, l, r),
                      want);
            EXPECT_EQ(raw, expect) << bits << " bits, gains " << l << " " << r;
        }
    }
    EXPECT_FALSE(VolumeMono16(nullptr, 10, 5));
    uint8_t one = 200;
    EXPECT_FALSE(VolumeStereo8(&one, 0, 5, 5));
    EXPECT_EQ(one, 200);
}

TEST(Volume, GainLaw)
{
    TMMVolume v;
    EXPECT_TRUE(v.Enabled());
    EXPECT_EQ(v.Volume(), 16384);
    EXPECT_EQ(v.Panning(), 0);
    EXPECT_EQ(v.LeftGain(), 16384);
    EXPECT_EQ(v.RightGain(), 16384);

    const struct {
        int32_t volume, panning, left, right;
    } cases[] = {
        {16384, 8192, 8192, 16384},
        {16384, -16384, 16384, 0},
        {16384, 16384, 0, 16384},
        {3, 8191, 2, 3},  // 3 * 8193 / 16384 = 1.50018.. rounds to 2
        {1, 8192, 1, 1},  // 0.5: a half away from zero
        {-1, 8192, -1, -1}, // negative gains are kept
        {INT_MAX, -INT_MAX, INT_MAX, INT_MIN}, // huge values saturate instead of wrapping
        {INT_MIN, INT_MAX, INT_MAX, INT_MIN},
    };
    for (const auto& c : cases) {
        v.SetPanning(c.panning);
        v.SetVolume(c.volume);
        EXPECT_EQ(v.LeftGain(), c.left) << c.volume << " " << c.panning;
        EXPECT_EQ(v.RightGain(), c.right) << c.volume << " " << c.panning;
    }

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
    EXPECT_EQ(ErrorOf<EMMVolumeError>([&] { v.SetPWaveFormat(&bad); }), "Invalid WaveFormat");
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
    EXPECT_EQ(static_cast<uint8_t>(d.LastBuffer()->lpData[0]), 200);
}

TEST(Volume, ScalesBuffersInPlace)
{
    {
        VolumeChain c(8, 1);
        EXPECT_TRUE(c.volume.Active());
        // Unity: byte for byte unchanged, also when enabled.
        EXPECT_EQ(c.Pass({0, 1, 127, 128, 129, 255}), (Bytes{0, 1, 127, 128, 129, 255}));
        c.volume.SetVolume(32768);
        EXPECT_EQ(c.Pass({200, 100, 0, 128}), (Bytes{255, 72, 0, 128}));
        // Switched off: passes unchanged, still reaches the next stage.
        c.volume.SetEnabled(false);
        EXPECT_EQ(c.Pass({200}), Bytes{200});
        c.volume.SetEnabled(true);
        // Closing makes it inactive.
        c.wave.Stop();
        c.wave.Close();
        EXPECT_FALSE(c.volume.Active());
        EXPECT_EQ(c.Pass({200}), Bytes{200});
    }
    {
        VolumeChain c(16, 1);
        c.volume.SetVolume(32768);
        EXPECT_EQ(c.Pass16({20000, -20000, 1000}), (Words{32767, -32768, 2000}));
        c.volume.SetVolume(100000);
        EXPECT_EQ(c.Pass16({32767, -32768, 5}), (Words{32767, -32768, 30}));
        c.volume.SetVolume(8192); // rounding toward minus infinity
        EXPECT_EQ(c.Pass16({-3, 3, -1, 1}), (Words{-2, 1, -1, 0}));
        // Panning 8192 at unity halves a mono stream (the left gain).
        c.volume.SetVolume(16384);
        c.volume.SetPanning(8192);
        EXPECT_EQ(c.Pass16({1000, -1000}), (Words{500, -500}));
    }
    {
        VolumeChain c(16, 2);
        c.volume.SetPanning(-8192); // right halved; a partial frame is left alone
        EXPECT_EQ(c.Pass16({1000, 1000, -7, -7, 5}), (Words{1000, 500, -7, -4, 5}));
    }
    {
        VolumeChain c(8, 2);
        c.volume.SetPanning(16384); // left silenced
        EXPECT_EQ(c.Pass({200, 200, 0, 0, 7}), (Bytes{128, 200, 128, 0, 7}));
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
        EXPECT_EQ(Bytes(h->lpData, h->lpData + 2), (Bytes{148, 108}));
        FreeWaveHdr(h);
    }
}

TEST(Volume, ApplyGainReportsClamping)
{
    TMMVolume v;
    auto f = PcmFormat(16, 1, 8000);
    v.SetPWaveFormat(&f);
    auto data = ToBytes({100, 200});
    EXPECT_FALSE(v.ApplyGain(data.data(), 4)); // unity: skipped
    v.SetVolume(32768);
    EXPECT_FALSE(v.ApplyGain(data.data(), 4));
    data = ToBytes({20000});
    EXPECT_TRUE(v.ApplyGain(data.data(), 2));
}
