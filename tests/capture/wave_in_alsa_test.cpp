// The wave-input device on the real ALSA driver, through private ALSA configurations.
#include "capture/wave_in.h"

#include <QObject>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../platform/alsa_test_config.h"
#include "framework/exception_handler.h"
#include "platform/wave_in_alsa_driver.h"

using namespace qv;
using qvtest::TPrivateAlsaConfig;

namespace {

// Collects the bytes that reach the end of the chain.
class TSinkStage : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
public:
    void BufferReady(PWaveHdr Buffer) override
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FData.insert(FData.end(), Buffer->lpData, Buffer->lpData + Buffer->dwBytesRecorded);
        }
        TMMDSPComponent::BufferReady(Buffer);
    }
    std::vector<uint8_t> Data()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FData;
    }
    size_t Size() { return Data().size(); }

private:
    std::mutex FLock;
    std::vector<uint8_t> FData;
};

// Records what the top-level handler would show.
struct TShown {
    std::vector<std::string> texts;
    TExceptionHandler old = SetExceptionHandler([this](std::exception_ptr e) {
        std::string s;
        texts.push_back(ExceptionText(e, s));
    });
    ~TShown() { SetExceptionHandler(old); }
};

// The real driver, whatever an earlier test installed.
struct TRealDriver {
    TWaveInDriver* old = SetWaveInDriver(nullptr);
    ~TRealDriver() { SetWaveInDriver(old); }
};

bool Wait(const std::function<bool()>& cond, int ms, TMMCBMode mode)
{
    return mode == cmWindow ? WaitWithMessages(cond, ms) : WaitSleeping(cond, ms);
}

} // namespace

TEST(WaveInAlsa, CapturesTheBytesFedThroughTheWholeProtocol)
{
    TRealDriver real;
    std::vector<uint8_t> signal(30000);
    for (size_t i = 0; i < signal.size(); ++i)
        signal[i] = static_cast<uint8_t>((i * 31 + i / 997) & 0xFF);
    TPrivateAlsaConfig folder("");
    const std::string in = folder.WriteFile("signal.raw", signal);
    for (TMMCBMode mode : {cmWindow, cmThread}) {
        SCOPED_TRACE(mode == cmWindow ? "cmWindow" : "cmThread");
        TPrivateAlsaConfig config(TPrivateAlsaConfig::FileOverNull(in));
        TMMWaveIn wave;
        TSinkStage sink;
        wave.SetOutput(&sink);
        ASSERT_EQ(wave.NumDevs(), 1);
        EXPECT_EQ(wave.ProductName(), "Default recording device");
        wave.SetCallBackMode(mode);
        wave.SetMode(mStereo);
        wave.SetBitLength(b16Bit);
        wave.SetSampleRate(22050);
        wave.SetBufferSize(1000);
        wave.SetNumBuffers(4);
        int stops = 0;
        wave.OnStop = [&](TComponent*) { ++stops; };
        wave.Start();
        ASSERT_EQ(wave.State(), wsOpen | wsStarted);
        ASSERT_TRUE(Wait([&] { return sink.Size() >= signal.size(); }, 20000, mode));
        wave.Stop();
        EXPECT_EQ(stops, 1);
        EXPECT_EQ(wave.State(), wsOpen);
        wave.Close();
        EXPECT_EQ(wave.State(), wsClosed);
        auto got = sink.Data();
        ASSERT_GE(got.size(), signal.size());
        EXPECT_EQ(got.size() % 4, 0u) << "whole frames only";
        got.resize(signal.size());
        EXPECT_TRUE(got == signal) << "the bytes passed down are those fed, in order, nothing lost or repeated";
    }
}

TEST(WaveInAlsa, NoCaptureDeviceAtAll)
{
    TRealDriver real;
    TPrivateAlsaConfig config("");
    TMMWaveIn wave;
    EXPECT_EQ(wave.NumDevs(), 0);
    int errors = 0;
    wave.OnError = [&](TComponent*) { ++errors; };
    std::string message;
    try {
        wave.Start();
    } catch (const EMMWaveInError& e) {
        message = e.Message();
    }
    EXPECT_EQ(message, "No wave audio recording device found");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(wave.State(), wsClosed);
}

TEST(WaveInAlsa, PacedSourceArrivesWithoutGaps)
{
    TRealDriver real;
    TPrivateAlsaConfig config(TPrivateAlsaConfig::TestSource("ramp true"));
    TMMWaveIn wave;
    TSinkStage sink;
    wave.SetOutput(&sink);
    wave.SetSampleRate(8000);
    wave.SetBufferSize(400); // 50 ms
    wave.SetNumBuffers(4);
    wave.SetTimeFormat(tfMillisecond);
    wave.SetMaxRecordTime(600); // stops by itself after 4800 bytes
    int stops = 0;
    wave.OnStop = [&](TComponent*) { ++stops; };
    const auto t0 = std::chrono::steady_clock::now();
    wave.Start();
    ASSERT_TRUE(WaitWithMessages([&] { return stops == 1; }, 20000));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(550));
    const auto got = sink.Data();
    ASSERT_EQ(got.size(), 4800u);
    for (size_t i = 1; i < got.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(got[i] - got[i - 1]), 1) << "gap at " << i;
    wave.Close();
}

TEST(WaveInAlsa, DeviceLostWhileRecordingEndsWithOneErrorAndOpensAgain)
{
    TRealDriver real;
    for (TMMCBMode mode : {cmWindow, cmThread}) {
        SCOPED_TRACE(mode == cmWindow ? "cmWindow" : "cmThread");
        TShown shown;
        auto config = std::make_unique<TPrivateAlsaConfig>(TPrivateAlsaConfig::TestSource("fail_after_ms 300"));
        TMMWaveIn wave; // counts the devices under this configuration
        TSinkStage sink;
        wave.SetOutput(&sink);
        wave.SetCallBackMode(mode);
        wave.SetSampleRate(8000);
        wave.SetBufferSize(800);
        int closes = 0, errors = 0;
        wave.OnClose = [&](TComponent*) { ++closes; };
        wave.OnError = [&](TComponent*) { ++errors; };
        wave.Start();
        ASSERT_TRUE(WaitWithMessages([&] { return wave.State() == wsClosed; }, 20000));
        WaitWithMessages([] { return false; }, 50);
        EXPECT_EQ(shown.texts, std::vector<std::string>{std::string("WaveInAddBuffer:\n\r") +
                                                        StandardWaveInErrorText(MMSYSERR_NODRIVER)})
            << "the error is shown once";
        EXPECT_EQ(errors, 1);
        EXPECT_EQ(closes, 1);
        EXPECT_GT(sink.Size(), 0u);

        config.reset();
        TPrivateAlsaConfig tone(TPrivateAlsaConfig::TestSource("tone 440"));
        const size_t before = sink.Size();
        wave.Start();
        ASSERT_TRUE(WaitWithMessages([&] { return sink.Size() >= before + 1600; }, 20000));
        wave.Close();
        EXPECT_EQ(wave.State(), wsClosed);
        EXPECT_EQ(shown.texts.size(), 1u);
    }
}

#include "wave_in_alsa_test.moc"
