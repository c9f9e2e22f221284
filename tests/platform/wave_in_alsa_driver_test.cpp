// The ALSA driver against private configurations: the file plugin over null for
// exact bytes, the project's paced test source for pacing, overruns and devices
// that fail, and an empty configuration for a machine without any device.
#include "platform/wave_in_alsa_driver.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

#include "alsa_test_config.h"

using namespace qv;
using namespace std::chrono_literals;
using qvtest::TPrivateAlsaConfig;

namespace {

TWaveFormatEx Pcm(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

// Device 0 opened with a callback that collects the driver's notifications (they
// come on the capture thread), and a ring of buffers queued at it.
struct TOpened {
    TAlsaWaveInDriver& d;
    HWAVEIN h = 0;
    std::vector<PWaveHdr> ring;
    std::mutex m;
    std::condition_variable cv;
    std::deque<TWaveHdr*> done;
    int opens = 0, closes = 0;

    TOpened(TAlsaWaveInDriver& driver, const TWaveFormatEx& f, int buffers, int32_t size) : d(driver)
    {
        EXPECT_EQ(d.Open(&h, 0, &f, reinterpret_cast<uintptr_t>(&Proc), reinterpret_cast<uintptr_t>(this),
                         CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        {
            std::unique_lock<std::mutex> lock(m);
            EXPECT_TRUE(cv.wait_for(lock, 5s, [&] { return opens > 0; }));
        }
        for (int i = 0; i < buffers; ++i) {
            ring.push_back(AllocWaveHdr(size));
            EXPECT_EQ(d.PrepareHeader(h, ring.back(), WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
            EXPECT_EQ(d.AddBuffer(h, ring.back(), WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
        }
    }
    ~TOpened()
    {
        for (auto& hdr : ring)
            FreeWaveHdr(hdr);
    }
    static void Proc(HWAVEIN, uint32_t msg, uintptr_t instance, uintptr_t p1, uintptr_t)
    {
        auto* s = reinterpret_cast<TOpened*>(instance);
        std::lock_guard<std::mutex> lock(s->m);
        if (msg == MM_WIM_OPEN)
            ++s->opens;
        else if (msg == MM_WIM_CLOSE)
            ++s->closes;
        else if (msg == MM_WIM_DATA)
            s->done.push_back(reinterpret_cast<TWaveHdr*>(p1));
        s->cv.notify_all();
    }
    // The next buffer given back, or nullptr after the time-out.
    TWaveHdr* Next(int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !done.empty(); }))
            return nullptr;
        TWaveHdr* hdr = done.front();
        done.pop_front();
        return hdr;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(m);
        return done.size();
    }
    MMRESULT Add(TWaveHdr* hdr) { return d.AddBuffer(h, hdr, WAVEHDR_DRIVER_SIZE); }
    void Finish()
    {
        EXPECT_EQ(d.Reset(h), MMSYSERR_NOERROR);
        for (PWaveHdr hdr : ring)
            EXPECT_EQ(d.UnprepareHeader(h, hdr, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
        EXPECT_EQ(d.Close(h), MMSYSERR_NOERROR);
        EXPECT_EQ(closes, 1);
    }
};

} // namespace

TEST(AlsaWaveInDriver, NoCaptureDeviceAtAll)
{
    TPrivateAlsaConfig config("");
    TAlsaWaveInDriver d;
    EXPECT_EQ(d.GetNumDevs(), 0u);
    TWaveInCaps caps{};
    EXPECT_EQ(d.GetDevCaps(0, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    const TWaveFormatEx f = Pcm(8, 1, 11025);
    HWAVEIN h = 0;
    EXPECT_NE(d.Open(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(h, 0u);
}

TEST(AlsaWaveInDriver, DeliversTheExactBytesInOrderAndHonoursTheBufferProtocol)
{
    std::vector<uint8_t> signal(20000);
    for (size_t i = 0; i < signal.size(); ++i)
        signal[i] = static_cast<uint8_t>((i * 7 + i / 256) & 0xFF);
    TPrivateAlsaConfig config("");
    TPrivateAlsaConfig fileConfig(TPrivateAlsaConfig::FileOverNull(config.WriteFile("in.raw", signal)));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    TWaveInCaps caps{};
    ASSERT_EQ(d.GetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Default recording device");
    EXPECT_EQ(caps.dwFormats, 0x0FFFu);
    EXPECT_EQ(caps.wChannels, 2);
    const TWaveFormatEx bad = Pcm(24, 1, 11025);
    EXPECT_EQ(d.Open(nullptr, 0, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    const TWaveFormatEx f = Pcm(16, 2, 22050);
    EXPECT_EQ(d.Open(nullptr, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(d.Open(nullptr, 1, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);

    TOpened o(d, f, 4, 1002); // not a whole number of 4-byte frames: 1000 bytes are filled
    EXPECT_EQ(d.Close(o.h), WAVERR_STILLPLAYING);
    EXPECT_EQ(d.UnprepareHeader(o.h, o.ring[0], WAVEHDR_DRIVER_SIZE), WAVERR_STILLPLAYING);
    EXPECT_EQ(o.Add(o.ring[0]), WAVERR_STILLPLAYING);
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    std::vector<uint8_t> got;
    for (size_t index = 0; got.size() < signal.size(); ++index) {
        TWaveHdr* h = o.Next();
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(h, o.ring[index % 4]) << "buffers come back in queue order";
        EXPECT_EQ(h->dwFlags & (WHDR_DONE | WHDR_PREPARED), WHDR_DONE | WHDR_PREPARED);
        EXPECT_EQ(h->dwBytesRecorded, 1000u);
        got.insert(got.end(), h->lpData, h->lpData + h->dwBytesRecorded);
        ASSERT_EQ(o.Add(h), MMSYSERR_NOERROR);
    }
    got.resize(signal.size());
    EXPECT_TRUE(got == signal) << "the bytes passed on are those fed, in order";
    EXPECT_EQ(d.Stop(o.h), MMSYSERR_NOERROR);
    o.Finish();
    EXPECT_EQ(d.Start(o.h), MMSYSERR_INVALHANDLE);
}

TEST(AlsaWaveInDriver, TestSourceIsPacedInRealTimeAndStopReturnsThePartialBuffer)
{
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("ramp true"));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    TOpened o(d, Pcm(8, 1, 8000), 3, 800); // 100 ms each
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    std::vector<uint8_t> got;
    for (int i = 0; i < 5; ++i) {
        TWaveHdr* h = o.Next();
        ASSERT_NE(h, nullptr);
        got.insert(got.end(), h->lpData, h->lpData + h->dwBytesRecorded);
        ASSERT_EQ(o.Add(h), MMSYSERR_NOERROR);
    }
    // 4000 frames at 8000 Hz cannot arrive in much less than half a second.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 450ms);
    for (size_t i = 1; i < got.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(got[i] - got[i - 1]), 1) << "gap at " << i;

    // Let the current buffer fill partly, then stop: only it comes back.
    std::this_thread::sleep_for(30ms);
    ASSERT_EQ(d.Stop(o.h), MMSYSERR_NOERROR);
    TWaveHdr* partial = o.Next(5000);
    ASSERT_NE(partial, nullptr);
    EXPECT_GT(partial->dwBytesRecorded, 0u);
    EXPECT_LT(partial->dwBytesRecorded, 800u);
    EXPECT_EQ(partial->lpData[0], static_cast<char>(static_cast<uint8_t>(got.back() + 1)));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(o.Count(), 0u) << "the other buffers stay queued after a stop";
    EXPECT_EQ(d.Reset(o.h), MMSYSERR_NOERROR);
    EXPECT_EQ(o.Count(), 2u) << "a reset returns every queued buffer";
    EXPECT_EQ(d.Overruns(o.h), 0u);
    o.Finish();
}

TEST(AlsaWaveInDriver, OverrunIsRecoveredAndCounted)
{
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("ramp true"));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    TOpened o(d, Pcm(16, 1, 8000), 2, 400); // 25 ms each
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    std::vector<int16_t> samples;
    auto take = [&](TWaveHdr* h) {
        for (uint32_t k = 0; k + 1 < h->dwBytesRecorded; k += 2)
            samples.push_back(ReadSample16(reinterpret_cast<uint8_t*>(h->lpData) + k));
    };
    // Hold the buffers back for well over the device's half-second buffer.
    TWaveHdr* a = o.Next();
    TWaveHdr* b = o.Next();
    ASSERT_TRUE(a && b);
    take(a);
    take(b);
    std::this_thread::sleep_for(1200ms);
    ASSERT_EQ(o.Add(a), MMSYSERR_NOERROR);
    ASSERT_EQ(o.Add(b), MMSYSERR_NOERROR);
    for (int i = 0; i < 6; ++i) {
        TWaveHdr* h = o.Next();
        ASSERT_NE(h, nullptr);
        take(h);
        ASSERT_EQ(o.Add(h), MMSYSERR_NOERROR);
    }
    EXPECT_GE(d.Overruns(o.h), 1u);
    int jumps = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        jumps += static_cast<uint16_t>(samples[i] - samples[i - 1]) != 1;
    EXPECT_GE(jumps, 1) << "the frames lost in the overrun show as a jump";
    o.Finish();
}

TEST(AlsaWaveInDriver, LostOrStalledDeviceEndsTheCaptureAndCanBeOpenedAgain)
{
    for (const char* fields : {"fail_after_ms 200", "stall_after_ms 200"}) {
        SCOPED_TRACE(fields);
        TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource(fields));
        TAlsaWaveInDriver d;
        ASSERT_EQ(d.GetNumDevs(), 1u);
        TOpened o(d, Pcm(8, 1, 8000), 3, 8000); // a second each: the loss comes first
        ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
        TWaveHdr* h = o.Next(TAlsaWaveInDriver::kStallTimeoutMs + 10000);
        ASSERT_EQ(h, o.ring[0]) << "the buffer being filled comes back";
        EXPECT_TRUE(h->dwFlags & WHDR_DONE);
        EXPECT_LT(h->dwBytesRecorded, 8000u);
        EXPECT_EQ(o.Add(h), MMSYSERR_NODRIVER);
        EXPECT_EQ(d.Start(o.h), MMSYSERR_NODRIVER);
        // Stopping and closing a lost device still works.
        EXPECT_EQ(d.Stop(o.h), MMSYSERR_NOERROR);
        o.Finish();
    }
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("tone 440"));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    TOpened o(d, Pcm(16, 2, 44100), 2, 4096);
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    TWaveHdr* h = o.Next();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->dwBytesRecorded, 4096u);
    o.Finish();
}
