// The ALSA driver against private configurations: the file plugin over null for
// exact bytes, the project's paced test source for pacing, overruns and devices
// that fail, and an empty configuration for a machine without any device.
#include "platform/wave_in_alsa_driver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
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

// Collects the driver's notifications (they come on the capture thread).
struct TSink {
    std::mutex m;
    std::condition_variable cv;
    std::deque<TWaveHdr*> done;
    int opens = 0, closes = 0;

    static void Proc(HWAVEIN, uint32_t msg, uintptr_t instance, uintptr_t p1, uintptr_t)
    {
        auto* s = reinterpret_cast<TSink*>(instance);
        std::lock_guard<std::mutex> lock(s->m);
        if (msg == MM_WIM_OPEN)
            ++s->opens;
        else if (msg == MM_WIM_CLOSE)
            ++s->closes;
        else if (msg == MM_WIM_DATA)
            s->done.push_back(reinterpret_cast<TWaveHdr*>(p1));
        s->cv.notify_all();
    }
    TWaveHdr* Next(int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !done.empty(); }))
            return nullptr;
        TWaveHdr* h = done.front();
        done.pop_front();
        return h;
    }
    bool WaitOpen()
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 5s, [&] { return opens > 0; });
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(m);
        return done.size();
    }
};

struct TRing {
    std::vector<PWaveHdr> hdrs;
    explicit TRing(int n, int32_t size)
    {
        for (int i = 0; i < n; ++i)
            hdrs.push_back(AllocWaveHdr(size));
    }
    ~TRing()
    {
        for (auto& h : hdrs)
            FreeWaveHdr(h);
    }
};

TWaveFormatEx Pcm(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

struct TOpened {
    TAlsaWaveInDriver& d;
    TSink sink;
    HWAVEIN h = 0;
    TOpened(TAlsaWaveInDriver& driver, const TWaveFormatEx& f) : d(driver)
    {
        EXPECT_EQ(d.Open(&h, 0, &f, reinterpret_cast<uintptr_t>(&TSink::Proc), reinterpret_cast<uintptr_t>(&sink),
                         CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        EXPECT_TRUE(sink.WaitOpen());
    }
    void Queue(TRing& ring)
    {
        for (PWaveHdr hdr : ring.hdrs) {
            ASSERT_EQ(d.PrepareHeader(h, hdr, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
            ASSERT_EQ(d.AddBuffer(h, hdr, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
        }
    }
    void Finish(TRing& ring)
    {
        EXPECT_EQ(d.Reset(h), MMSYSERR_NOERROR);
        for (PWaveHdr hdr : ring.hdrs)
            EXPECT_EQ(d.UnprepareHeader(h, hdr, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
        EXPECT_EQ(d.Close(h), MMSYSERR_NOERROR);
        EXPECT_EQ(sink.closes, 1);
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
    const std::string in = config.WriteFile("in.raw", signal);
    TPrivateAlsaConfig fileConfig(TPrivateAlsaConfig::FileOverNull(in));
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

    TOpened o(d, f);
    TRing ring(4, 1002); // not a whole number of 4-byte frames: 1000 bytes are filled
    o.Queue(ring);
    EXPECT_EQ(d.Close(o.h), WAVERR_STILLPLAYING);
    EXPECT_EQ(d.UnprepareHeader(o.h, ring.hdrs[0], WAVEHDR_DRIVER_SIZE), WAVERR_STILLPLAYING);
    EXPECT_EQ(d.AddBuffer(o.h, ring.hdrs[0], WAVEHDR_DRIVER_SIZE), WAVERR_STILLPLAYING);
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    std::vector<uint8_t> got;
    size_t index = 0;
    while (got.size() < signal.size()) {
        TWaveHdr* h = o.sink.Next();
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(h, ring.hdrs[index % 4]) << "buffers come back in queue order";
        ++index;
        EXPECT_EQ(h->dwFlags & (WHDR_DONE | WHDR_PREPARED), WHDR_DONE | WHDR_PREPARED);
        EXPECT_EQ(h->dwBytesRecorded, 1000u);
        got.insert(got.end(), h->lpData, h->lpData + h->dwBytesRecorded);
        ASSERT_EQ(d.AddBuffer(o.h, h, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
    }
    got.resize(signal.size());
    EXPECT_TRUE(got == signal) << "the bytes passed on are those fed, in order";
    EXPECT_EQ(d.Stop(o.h), MMSYSERR_NOERROR);
    o.Finish(ring);
    EXPECT_EQ(d.Start(o.h), MMSYSERR_INVALHANDLE);
}

TEST(AlsaWaveInDriver, TestSourceIsPacedInRealTimeAndStopReturnsThePartialBuffer)
{
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("ramp true"));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    const TWaveFormatEx f = Pcm(8, 1, 8000);
    TOpened o(d, f);
    TRing ring(3, 800); // 100 ms each
    o.Queue(ring);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    std::vector<uint8_t> got;
    for (int i = 0; i < 5; ++i) {
        TWaveHdr* h = o.sink.Next();
        ASSERT_NE(h, nullptr);
        got.insert(got.end(), h->lpData, h->lpData + h->dwBytesRecorded);
        ASSERT_EQ(d.AddBuffer(o.h, h, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
    }
    // 4000 frames at 8000 Hz cannot arrive in much less than half a second.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 450ms);
    for (size_t i = 1; i < got.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(got[i] - got[i - 1]), 1) << "gap at " << i;

    // Let the current buffer fill partly, then stop: only it comes back.
    std::this_thread::sleep_for(30ms);
    ASSERT_EQ(d.Stop(o.h), MMSYSERR_NOERROR);
    TWaveHdr* partial = o.sink.Next(5000);
    ASSERT_NE(partial, nullptr);
    EXPECT_GT(partial->dwBytesRecorded, 0u);
    EXPECT_LT(partial->dwBytesRecorded, 800u);
    EXPECT_EQ(partial->lpData[0], static_cast<char>(static_cast<uint8_t>(got.back() + 1)));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(o.sink.Count(), 0u) << "the other buffers stay queued after a stop";
    EXPECT_EQ(d.Reset(o.h), MMSYSERR_NOERROR);
    EXPECT_EQ(o.sink.Count(), 2u) << "a reset returns every queued buffer";
    EXPECT_EQ(d.Overruns(o.h), 0u);
    o.Finish(ring);
}

TEST(AlsaWaveInDriver, OverrunIsRecoveredAndCounted)
{
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("ramp true"));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    const TWaveFormatEx f = Pcm(16, 1, 8000);
    TOpened o(d, f);
    TRing ring(2, 400); // 25 ms each
    o.Queue(ring);
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    // Hold the buffers back for well over the device's half-second buffer.
    std::vector<int16_t> samples;
    auto take = [&](TWaveHdr* h) {
        for (uint32_t k = 0; k + 1 < h->dwBytesRecorded; k += 2)
            samples.push_back(ReadSample16(reinterpret_cast<uint8_t*>(h->lpData) + k));
    };
    TWaveHdr* a = o.sink.Next();
    TWaveHdr* b = o.sink.Next();
    ASSERT_TRUE(a && b);
    take(a);
    take(b);
    std::this_thread::sleep_for(1200ms);
    ASSERT_EQ(d.AddBuffer(o.h, a, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
    ASSERT_EQ(d.AddBuffer(o.h, b, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
    for (int i = 0; i < 6; ++i) {
        TWaveHdr* h = o.sink.Next();
        ASSERT_NE(h, nullptr);
        take(h);
        ASSERT_EQ(d.AddBuffer(o.h, h, WAVEHDR_DRIVER_SIZE), MMSYSERR_NOERROR);
    }
    EXPECT_GE(d.Overruns(o.h), 1u);
    int jumps = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        jumps += static_cast<uint16_t>(samples[i] - samples[i - 1]) != 1;
    EXPECT_GE(jumps, 1) << "the frames lost in the overrun show as a jump";
    o.Finish(ring);
}

TEST(AlsaWaveInDriver, LostOrStalledDeviceEndsTheCaptureAndCanBeOpenedAgain)
{
    for (const char* fields : {"fail_after_ms 200", "stall_after_ms 200"}) {
        SCOPED_TRACE(fields);
        TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource(fields));
        TAlsaWaveInDriver d;
        ASSERT_EQ(d.GetNumDevs(), 1u);
        const TWaveFormatEx f = Pcm(8, 1, 8000);
        TOpened o(d, f);
        TRing ring(3, 8000); // a second each: the loss comes first
        o.Queue(ring);
        ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
        TWaveHdr* h = o.sink.Next(TAlsaWaveInDriver::kStallTimeoutMs + 10000);
        ASSERT_EQ(h, ring.hdrs[0]) << "the buffer being filled comes back";
        EXPECT_TRUE(h->dwFlags & WHDR_DONE);
        EXPECT_LT(h->dwBytesRecorded, 8000u);
        EXPECT_EQ(d.AddBuffer(o.h, h, WAVEHDR_DRIVER_SIZE), MMSYSERR_NODRIVER);
        EXPECT_EQ(d.Start(o.h), MMSYSERR_NODRIVER);
        // Stopping and closing a lost device still works.
        EXPECT_EQ(d.Stop(o.h), MMSYSERR_NOERROR);
        o.Finish(ring);
    }
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("tone 440"));
    TAlsaWaveInDriver d;
    ASSERT_EQ(d.GetNumDevs(), 1u);
    const TWaveFormatEx f = Pcm(16, 2, 44100);
    TOpened o(d, f);
    TRing ring(2, 4096);
    o.Queue(ring);
    ASSERT_EQ(d.Start(o.h), MMSYSERR_NOERROR);
    TWaveHdr* h = o.sink.Next();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->dwBytesRecorded, 4096u);
    o.Finish(ring);
}
