// The wave-input device against the scripted fake driver.
#include "capture/wave_in.h"

#include <QObject>
#include <QVariant>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/enum_names.h"
#include "framework/exception_handler.h"
#include "platform/message_box.h"
#include "platform/wave_in_fake_driver.h"

using namespace qv;
using namespace std::chrono_literals;
using F = TFakeWaveInDriver;
using TLog = std::vector<std::string>;

namespace {

// A passive stage that logs what reaches it.
class TLogStage : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
public:
    explicit TLogStage(TLog* log) : FLog(log) {}
    void Opened() override
    {
        FLog->push_back("stage.Opened " + std::to_string(TMMDSPComponent::BufferSize()));
        TMMDSPComponent::Opened();
    }
    void Closed() override { FLog->push_back("stage.Closed"); TMMDSPComponent::Closed(); }
    void Started() override { FLog->push_back("stage.Started"); TMMDSPComponent::Started(); }
    void Paused() override { FLog->push_back("stage.Paused"); }
    void Restarted() override { FLog->push_back("stage.Restarted"); }
    void Stopped() override { FLog->push_back("stage.Stopped"); TMMDSPComponent::Stopped(); }
    void BufferReady(PWaveHdr Buffer) override
    {
        {
            std::lock_guard<std::mutex> lock(FDataLock);
            FData.insert(FData.end(), Buffer->lpData, Buffer->lpData + Buffer->dwBytesRecorded);
            FSizes.push_back(Buffer->dwBytesRecorded);
            FThreads.push_back(std::this_thread::get_id());
        }
        TMMDSPComponent::BufferReady(Buffer);
    }
    std::vector<uint8_t> Data() { return Get(FData); }
    std::vector<uint32_t> Sizes() { return Get(FSizes); }
    std::vector<std::thread::id> Threads() { return Get(FThreads); }

private:
    template <typename T> T Get(const T& v)
    {
        std::lock_guard<std::mutex> lock(FDataLock);
        return v;
    }
    TLog* FLog;
    std::mutex FDataLock;
    std::vector<uint8_t> FData;
    std::vector<uint32_t> FSizes;
    std::vector<std::thread::id> FThreads;
};

std::vector<uint8_t> Pattern(size_t n, int seed = 0)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i * 13 + i / 251 + static_cast<size_t>(seed)) & 0xFF);
    return v;
}

class WaveInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver.Install();
        oldBox = SetMessageBoxHook([this](const std::string& t, const std::string& c) { boxes.emplace_back(t, c); });
        oldHandler = SetExceptionHandler([this](std::exception_ptr e) {
            std::string s;
            shown.push_back(ExceptionText(e, s));
        });
    }
    void TearDown() override
    {
        Drop();
        SetMessageBoxHook(oldBox);
        SetExceptionHandler(oldHandler);
    }
    // A device with a logging stage behind it and every event logged.
    void Make()
    {
        wave = std::make_unique<TMMWaveIn>();
        stage = std::make_unique<TLogStage>(&log);
        wave->SetOutput(stage.get());
        for (auto [event, name] : {std::pair{&wave->OnOpen, "OnOpen"}, {&wave->OnStart, "OnStart"},
                                   {&wave->OnPause, "OnPause"}, {&wave->OnRestart, "OnRestart"},
                                   {&wave->OnStop, "OnStop"}, {&wave->OnClose, "OnClose"}, {&wave->OnError, "OnError"}})
            *event = [this, name = name](TComponent*) { log.push_back(name); };
    }
    void Drop() { stage.reset(); wave.reset(); }
    void SetFormat(TMMMode m, TMMBits b, int32_t rate)
    {
        wave->SetMode(m);
        wave->SetBitLength(b);
        wave->SetSampleRate(rate);
    }
    void ClearLogs() { log.clear(); driver.ClearLog(); }
    // Runs the main thread's messages until cond holds.
    bool Until(const std::function<bool()>& cond, int ms = 5000) { return WaitWithMessages(cond, ms); }
    // The message of the EMMWaveInError f raises ("" when none).
    template <typename Fn> std::string Raised(Fn&& f)
    {
        try {
            f();
        } catch (const EMMWaveInError& e) {
            return e.Message();
        }
        return "";
    }
    // Delivers the signal in chunks as the driver takes them, pausing after each.
    void Feed(const std::vector<uint8_t>& signal, size_t chunk, std::chrono::milliseconds pause)
    {
        for (size_t off = 0; off < signal.size();) {
            const size_t n = driver.Deliver(signal.data() + off, std::min(chunk, signal.size() - off));
            off += n;
            std::this_thread::sleep_for(n == 0 ? 1ms : pause); // none taken: every buffer is out
        }
    }
    int Count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }

    F driver;
    std::unique_ptr<TMMWaveIn> wave;
    std::unique_ptr<TLogStage> stage;
    TLog log;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<std::string> shown;
    TMessageBoxHook oldBox;
    TExceptionHandler oldHandler;
};

} // namespace

TEST_F(WaveInTest, PropertyRules)
{
    F::TDevice a, b;
    a.name = "First card";
    b.name = "A name longer than thirty-one characters";
    driver.SetDevices({a, b});
    Make();
    EXPECT_EQ(std::tuple(wave->NumDevs(), wave->DeviceID(), wave->ProductName()), std::tuple(2, 0, "First card"));
    EXPECT_EQ(std::tuple(wave->Mode(), wave->BitLength(), wave->SampleRate(), wave->NumBuffers(), wave->BufferSize()),
              std::tuple(mMono, b8Bit, 11025, 10, 2048));
    EXPECT_EQ(std::tuple(wave->CallBackMode(), wave->TimeFormat(), wave->MaxRecordTime()),
              std::tuple(cmWindow, tfByte, -1));

    EXPECT_EQ((wave->SetNumBuffers(1), wave->NumBuffers()), 10);
    EXPECT_EQ((wave->SetNumBuffers(600), wave->NumBuffers()), 500);
    EXPECT_EQ((wave->SetBufferSize(10), wave->BufferSize()), 32);
    EXPECT_EQ((wave->SetSampleRate(200000), wave->SampleRate()), 100000);
    EXPECT_EQ((wave->SetSampleRate(100), wave->SampleRate()), 8000);
    EXPECT_EQ((wave->SetMode(static_cast<TMMMode>(2)), wave->Mode()), mMono);
    SetFormat(mStereo, b16Bit, 44100);
    const TWaveFormatEx* f = wave->GetPWaveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::tuple(f->nChannels, f->wBitsPerSample, f->nSamplesPerSec, f->nBlockAlign),
              std::tuple(2, 16, 44100u, 4));
    ASSERT_NE(stage->GetPWaveFormat(), nullptr) << "the format goes down the chain";
    EXPECT_EQ(stage->GetPWaveFormat()->nAvgBytesPerSec, 176400u);

    // A format handed to the device sets its properties.
    TWaveFormatEx g{};
    BuildPCMFormat(g, 8, 1, 22050);
    wave->SetPWaveFormat(&g);
    EXPECT_EQ(std::tuple(wave->SampleRate(), wave->BitLength(), wave->Mode()), std::tuple(22050, b8Bit, mMono));

    EXPECT_EQ((wave->SetDeviceID(1), wave->ProductName()), "A name longer than thirty-one c");
    wave->SetDeviceID(-1);
    EXPECT_EQ(std::tuple(wave->DeviceID(), wave->ProductName()), std::tuple(-1, "First card"));
    wave->SetDeviceID(2);
    EXPECT_EQ(std::tuple(wave->DeviceID(), wave->ProductName()),
              std::tuple(-2, "No wave audio recording device found"));
    EXPECT_EQ((wave->SetDeviceID(-5), wave->DeviceID()), -2);
    EXPECT_EQ(Raised([&] { wave->Open(); }), "Invalid DeviceID");
    wave->SetDeviceID(0);

    EXPECT_EQ((wave->SetCallBackMode(cmCallback), wave->CallBackMode()), cmWindow);
    EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{
                         {"\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under "
                          "Windows 95",
                          "TMMWaveIn"}}));
    EXPECT_EQ((wave->SetCallBackMode(cmThread), wave->CallBackMode()), cmThread);
    wave->SetCallBackMode(cmWindow);

    // Changes while open are refused, after OnError.
    wave->Open();
    log.clear();
    for (const auto& change : std::initializer_list<std::function<void()>>{
             [&] { wave->SetSampleRate(8000); }, [&] { wave->SetMode(mStereo); }, [&] { wave->SetBitLength(b16Bit); },
             [&] { wave->SetNumBuffers(4); }, [&] { wave->SetBufferSize(4096); },
             [&] { wave->SetCallBackMode(cmThread); }, [&] { wave->SetDeviceID(1); }})
        EXPECT_EQ(Raised(change), "Change to property while device was open");
    EXPECT_EQ(Count("OnError"), 7);
    EXPECT_EQ(wave->SampleRate(), 22050);
    wave->SetSampleRate(22050); // no change, no error
    EXPECT_EQ(wave->State(), wsOpen);
    wave->Close();
}

TEST_F(WaveInTest, RecordingLimitInTheThreeTimeFormats)
{
    Make();
    wave->SetTimeFormat(tfMillisecond);
    EXPECT_EQ((wave->SetMaxRecordTime(1000), wave->MaxBytes()), 11025);
    EXPECT_EQ((wave->SetTimeFormat(tfByte), wave->MaxRecordTime()), 11025);
    EXPECT_EQ((wave->SetTimeFormat(tfSample), wave->MaxRecordTime()), 11025);
    SetFormat(mStereo, b16Bit, 44100);
    EXPECT_EQ((wave->SetMaxRecordTime(1001), wave->MaxBytes()), 4004); // frames: rounded to whole 4-byte frames
    EXPECT_EQ((wave->SetTimeFormat(tfMillisecond), wave->MaxRecordTime()), 23); // 4004 bytes = 22.7 ms
    EXPECT_EQ((wave->SetMaxRecordTime(3), wave->MaxBytes()), 532);
    wave->SetTimeFormat(tfByte);
    EXPECT_EQ((wave->SetMaxRecordTime(1003), wave->MaxBytes()), 1000); // lowered to whole frames
    EXPECT_EQ((wave->SetMaxRecordTime(-1), wave->MaxBytes()), 0x7FFFFFFC);

    // 1000 ms of 8-bit mono 11025 Hz with 2048-byte buffers: the sixth buffer
    // carries 785 bytes and the recording stops by itself, once.
    SetFormat(mMono, b8Bit, 11025);
    wave->SetTimeFormat(tfMillisecond);
    wave->SetMaxRecordTime(1000);
    log.clear();
    wave->Start();
    // The seventh buffer is partly filled when the stop comes: nothing of it passes the limit.
    const auto signal = Pattern(2048 * 6 + 500);
    driver.Deliver(signal);
    ASSERT_TRUE(Until([&] { return Count("OnStop") == 1; }));
    ProcessMessages();
    EXPECT_EQ(stage->Sizes(), (std::vector<uint32_t>{2048, 2048, 2048, 2048, 2048, 785}));
    EXPECT_EQ(stage->Data(), std::vector<uint8_t>(signal.begin(), signal.begin() + 11025));
    EXPECT_EQ(wave->BytesRecorded(), 11025);
    EXPECT_EQ(wave->State(), wsOpen);
    EXPECT_EQ(Count("OnStop"), 1);
    EXPECT_EQ(Count("stage.Stopped"), 1);
    EXPECT_EQ(driver.QueuedCount(), 0);

    // A new start counts from zero again.
    wave->Start();
    driver.Deliver(Pattern(4096));
    ASSERT_TRUE(Until([&] { return wave->BytesRecorded() == 4096; }));
    wave->Close();
}

TEST_F(WaveInTest, EventOrderOfOpenStartPauseRestartStopClose)
{
    Make();
    wave->SetMode(mStereo);
    wave->SetBitLength(b16Bit);
    wave->SetBufferSize(2046); // the device and its stages cut it to whole frames
    driver.ClearLog();
    wave->Start();
    EXPECT_EQ(log, (TLog{"stage.Opened 2046", "OnOpen", "stage.Started", "OnStart"}));
    EXPECT_EQ(wave->BufferSize(), 2044);
    EXPECT_EQ(wave->Buffer(0)->dwBufferLength, 2044u);
    EXPECT_EQ(wave->Buffer(9)->dwBufferLength, 2044u);
    EXPECT_EQ(wave->Buffer(10), nullptr);
    EXPECT_EQ(wave->State(), wsOpen | wsStarted);
    TLog drv{"Query", "GetDevCaps", "Open"};
    drv.insert(drv.end(), 10, "PrepareHeader");
    drv.insert(drv.end(), 10, "AddBuffer");
    drv.push_back("Start");
    EXPECT_EQ(driver.Log(), drv);
    EXPECT_EQ(driver.OpenFlags(), CALLBACK_FUNCTION);
    EXPECT_EQ(driver.QueuedCount(), 10);

    ClearLogs();
    wave->Pause();
    EXPECT_EQ(log, (TLog{"stage.Paused", "OnPause"}));
    EXPECT_EQ(driver.Log(), TLog{"Stop"});
    EXPECT_EQ(wave->State(), wsOpen | wsStarted | wsPaused);
    wave->Pause(); // already paused: nothing
    ClearLogs();
    wave->Restart();
    EXPECT_EQ(log, (TLog{"stage.Restarted", "OnRestart"}));
    EXPECT_EQ(driver.Log(), TLog{"Start"});
    wave->Restart(); // not paused: nothing
    EXPECT_EQ(driver.Log().size(), 1u);

    log.clear();
    wave->Close();
    EXPECT_EQ(log, (TLog{"stage.Stopped", "OnStop", "stage.Closed", "OnClose"}));
    EXPECT_EQ(wave->State(), wsClosed);
    EXPECT_EQ(wave->Handle(), 0u);
    EXPECT_EQ(wave->Buffer(0), nullptr) << "the ring is released at close";
    EXPECT_FALSE(driver.IsOpen());

    // Pause on an open device that is not started; Start then queues without
    // starting the driver until Restart.
    wave->Open();
    ClearLogs();
    wave->Pause();
    EXPECT_EQ(log, (TLog{"stage.Paused", "OnPause"}));
    EXPECT_TRUE(driver.Log().empty());
    const int starts = driver.CallCount(F::fcStart);
    wave->Start();
    EXPECT_EQ(driver.CallCount(F::fcStart), starts);
    EXPECT_EQ(driver.QueuedCount(), 10);
    EXPECT_EQ(wave->State(), wsOpen | wsStarted | wsPaused);
    wave->Restart();
    EXPECT_EQ(driver.CallCount(F::fcStart), starts + 1);
    log.clear();
    wave->Stop();
    EXPECT_EQ(log, (TLog{"stage.Stopped", "OnStop"}));
    EXPECT_EQ(wave->State(), wsOpen);
    wave->Stop(); // stopped: nothing
    EXPECT_EQ(Count("OnStop"), 1);
    wave.reset(); // destruction closes, without OnStop/OnClose
    EXPECT_FALSE(driver.IsOpen());
    EXPECT_EQ(Count("OnClose"), 0);
}

TEST_F(WaveInTest, WindowDeliveryPassesEveryByteInOrderAndRequeues)
{
    Make();
    wave->SetBufferSize(1000);
    wave->SetNumBuffers(3);
    std::vector<PWaveHdr> seen;
    wave->OnBufferReady = [&](TComponent* sender, PWaveHdr h) {
        EXPECT_EQ(sender, wave.get());
        seen.push_back(h);
    };
    wave->Start();
    const auto signal = Pattern(10500, 5);
    // The driver delivers from another thread; the chain runs in the main thread.
    std::thread feeder([&] { Feed(signal, 700, 2ms); });
    while (stage->Data().size() < 10000)
        ASSERT_TRUE(Until([&] { return stage->Data().size() >= 10000; }, 10000));
    feeder.join();
    ProcessMessages();
    for (auto id : stage->Threads())
        EXPECT_EQ(id, std::this_thread::get_id());
    // Stop returns the partly filled current buffer (500 bytes), which still goes down.
    wave->Stop();
    EXPECT_EQ(stage->Data(), signal);
    EXPECT_EQ(stage->Sizes().back(), 500u);
    ASSERT_EQ(seen.size(), 11u);
    EXPECT_EQ(seen[0], wave->Buffer(0));
    EXPECT_EQ(seen[3], wave->Buffer(0));
    EXPECT_EQ(driver.QueuedCount(), 0);
    EXPECT_EQ(wave->QueuedCount(), 0);
    wave->Close();
}

TEST_F(WaveInTest, ThreadDeliveryRunsTheChainOnTheWorker)
{
    Make();
    wave->SetCallBackMode(cmThread);
    wave->SetBufferSize(512);
    wave->Start();
    const auto threads = TMMDSPThread::ThreadCount();
    EXPECT_GE(threads, 1u);
    const auto signal = Pattern(512 * 25, 9);
    Feed(signal, 512, 0ms);
    ASSERT_TRUE(WaitSleeping([&] { return stage->Data().size() == signal.size(); }, 10000));
    EXPECT_EQ(stage->Data(), signal);
    for (auto id : stage->Threads())
        EXPECT_NE(id, std::this_thread::get_id());
    wave->Stop();
    EXPECT_EQ(wave->State(), wsOpen);
    EXPECT_EQ(Count("OnStop"), 1);
    wave->Close();
    EXPECT_EQ(TMMDSPThread::ThreadCount(), threads - 1) << "the worker ends with the close";
    EXPECT_EQ(Count("OnClose"), 1);

    // A stop asked for on the worker completes in the main thread.
    wave->OnBufferReady = [&](TComponent*, PWaveHdr) { wave->Stop(); };
    log.clear();
    wave->Start();
    driver.Deliver(Pattern(512 * 3));
    ASSERT_TRUE(Until([&] { return Count("OnStop") == 1; }));
    EXPECT_EQ(wave->State(), wsOpen);
    EXPECT_EQ(driver.QueuedCount(), 0);
    wave->Close();
}

TEST_F(WaveInTest, StopRequestedFromOnBufferReadyIsDeferred)
{
    Make();
    int calls = 0;
    uint32_t stateAfterStop = 0;
    wave->OnBufferReady = [&](TComponent*, PWaveHdr) {
        if (++calls == 2) {
            wave->Stop(); // returns at once
            stateAfterStop = wave->State();
            EXPECT_TRUE(wave->StopRequested());
        }
    };
    wave->Start();
    log.clear();
    driver.Deliver(Pattern(2048 * 4));
    ASSERT_TRUE(Until([&] { return Count("OnStop") == 1; }));
    EXPECT_EQ(stateAfterStop, wsOpen | wsStarted);
    EXPECT_EQ(calls, 2) << "buffers returned by the reset do not go down the chain";
    EXPECT_EQ(wave->State(), wsOpen);
    EXPECT_FALSE(wave->StopRequested());
    EXPECT_EQ(driver.QueuedCount(), 0);
    EXPECT_EQ(log, (TLog{"stage.Stopped", "OnStop"}));

    // Close while the deferred stop is outstanding: closed right after the stop.
    calls = 0;
    wave->OnBufferReady = [&](TComponent*, PWaveHdr) {
        if (++calls == 1) {
            wave->Stop();
            wave->Close();
            EXPECT_TRUE(wave->ClosePending());
            EXPECT_EQ(wave->State() & wsOpen, wsOpen);
        }
    };
    wave->Start();
    log.clear();
    driver.Deliver(Pattern(2048));
    ASSERT_TRUE(Until([&] { return Count("OnClose") == 1; }));
    EXPECT_EQ(log, (TLog{"stage.Stopped", "OnStop", "stage.Closed", "OnClose"}));
    EXPECT_EQ(wave->State(), wsClosed);
    EXPECT_FALSE(driver.IsOpen());
    EXPECT_TRUE(shown.empty());
}

TEST_F(WaveInTest, OpenNeverConfirmedFailsAfterAboutOneSecond)
{
    Make();
    driver.SetConfirmOpen(false);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Raised([&] { wave->Start(); }), "WaveInOpen:\n\rUnable to open device");
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 10s);
    EXPECT_EQ(wave->State(), wsClosed);
    EXPECT_FALSE(driver.IsOpen()) << "the handle is given back";
    EXPECT_EQ(log, (TLog{"stage.Opened 2048", "OnError", "stage.Closed", "OnClose"}));

    // Once the device answers, it opens again.
    driver.SetConfirmOpen(true);
    wave->Start();
    EXPECT_EQ(wave->State(), wsOpen | wsStarted);
    // A close never confirmed is reported through OnError only.
    driver.SetConfirmClose(false);
    log.clear();
    wave->Close();
    EXPECT_EQ(wave->State(), wsClosed);
    EXPECT_EQ(log.back(), "OnError");
    EXPECT_EQ(Count("OnClose"), 1);
}

TEST_F(WaveInTest, FailingDriverCallsGiveThePrefixAndTheDriversText)
{
    using TOp = void (TMMCustomWaveIn::*)();
    struct TCase {
        F::TCall call;
        std::string prefix;
        int setup; // 0 closed, 1 started, 2 started and paused
        TOp act;
    };
    const TCase cases[] = {
        {F::fcOpen, "WaveInOpen:\n\r", 0, &TMMCustomWaveIn::Open},
        {F::fcPrepareHeader, "WaveInPrepareHeader:\n\r", 0, &TMMCustomWaveIn::Start},
        {F::fcAddBuffer, "WaveInAddBuffer:\n\r", 0, &TMMCustomWaveIn::Start},
        {F::fcStart, "WaveInStart:\n\r", 0, &TMMCustomWaveIn::Start},
        {F::fcStop, "WaveInPause:\n\r", 1, &TMMCustomWaveIn::Pause},
        {F::fcStart, "WaveInRestart:\n\r", 2, &TMMCustomWaveIn::Restart},
        {F::fcStop, "WaveInStop:\n\r", 1, &TMMCustomWaveIn::Stop},
        {F::fcReset, "WaveInReset:\n\r", 1, &TMMCustomWaveIn::Stop},
    };
    for (int persistent = 0; persistent < 2; ++persistent)
        for (const TCase& c : cases) {
            SCOPED_TRACE(c.prefix + (persistent ? " (every call)" : " (once)"));
            Make();
            if (c.setup > 0)
                wave->Start();
            if (c.setup > 1)
                wave->Pause();
            driver.SetErrorText(MMSYSERR_NOTENABLED, "The scripted failure.");
            driver.FailCall(c.call, MMSYSERR_NOTENABLED, persistent ? -1 : 1);
            log.clear();
            EXPECT_EQ(Raised([&] { ((*wave).*c.act)(); }), c.prefix + "The scripted failure.");
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.front().rfind("OnError", 0) == 0 || log.front().rfind("stage.", 0) == 0, true);
            EXPECT_GE(Count("OnError"), 1);
            driver.ClearFailures();
            if (persistent && c.call == F::fcReset) {
                // A driver that never gives the buffers back keeps the handle: the
                // close is reported and done once the driver lets go.
                EXPECT_EQ(wave->State(), wsOpen);
                EXPECT_TRUE(driver.IsOpen());
                wave->Close();
            }
            EXPECT_EQ(wave->State(), wsClosed) << "a failed operation leaves the device closed";
            EXPECT_FALSE(driver.IsOpen());
            EXPECT_EQ(driver.QueuedCount(), 0);
            wave->Start(); // and it can be used again
            EXPECT_EQ(wave->State(), wsOpen | wsStarted);
            wave->Close();
            Drop();
            log.clear();
        }

    // The error text itself cannot be had.
    Make();
    driver.SetErrorTextFails(true);
    driver.FailCall(F::fcOpen, MMSYSERR_ALLOCATED);
    EXPECT_EQ(Raised([&] { wave->Open(); }), "WaveInOpen:\n\rSpecified error number is out of range (unknown error)");
    driver.SetErrorTextFails(false);

    // Close failures go through OnError only; the next close succeeds.
    for (F::TCall call : {F::fcClose, F::fcUnprepareHeader}) {
        SCOPED_TRACE(F::CallName(call));
        wave->Start();
        driver.FailCall(call, MMSYSERR_ERROR);
        log.clear();
        EXPECT_NO_THROW(wave->Close());
        EXPECT_EQ(Count("OnError"), 1);
        if (call == F::fcClose) {
            EXPECT_EQ(wave->State() & wsOpen, wsOpen) << "the handle could not be given back";
        }
        wave->Close();
        EXPECT_EQ(wave->State(), wsClosed);
        EXPECT_FALSE(driver.IsOpen());
    }
}

TEST_F(WaveInTest, OpenChecksDevicesAndFormats)
{
    driver.SetDevices({});
    Make();
    EXPECT_EQ(wave->DeviceID(), -2);
    EXPECT_EQ(wave->ProductName(), "No wave audio recording device found");
    EXPECT_EQ(Raised([&] { wave->Start(); }), "No wave audio recording device found");
    EXPECT_EQ(log, TLog{"OnError"});
    EXPECT_EQ(driver.CallCount(F::fcOpen), 0);

    // Only 44.1 kHz stereo 16-bit in the capabilities.
    F::TDevice d;
    d.formats = WAVE_FORMAT_4S16;
    driver.SetDevices({d});
    Drop();
    Make();
    log.clear();
    const std::string cannot = "WaveInOpen:\n\rThe actual device can''t record this format";
    EXPECT_EQ(Raised([&] { wave->Open(); }), cannot);
    EXPECT_EQ(log.front(), "OnError");
    EXPECT_EQ(wave->State(), wsClosed);
    SetFormat(mStereo, b16Bit, 44100);
    EXPECT_NO_THROW(wave->Open());
    wave->Close();
    wave->SetSampleRate(96000); // outside every band: the query's answer stands
    EXPECT_NO_THROW(wave->Open());
    wave->Close();
    d.queryResult = WAVERR_BADFORMAT;
    driver.SetDevices({d});
    EXPECT_EQ(Raised([&] { wave->Open(); }), cannot);
}

TEST_F(WaveInTest, ErrorDuringBufferNotificationClosesAndIsShownOnce)
{
    for (TMMCBMode mode : {cmWindow, cmThread}) {
        SCOPED_TRACE(mode == cmWindow ? "cmWindow" : "cmThread");
        Make();
        wave->SetCallBackMode(mode);
        wave->Start();
        driver.SetErrorText(MMSYSERR_NODRIVER, "The device went away.");
        driver.FailCall(F::fcAddBuffer, MMSYSERR_NODRIVER, -1);
        shown.clear();
        log.clear();
        driver.Deliver(Pattern(2048 * 3));
        ASSERT_TRUE(Until([&] { return wave->State() == wsClosed && !shown.empty(); }, 10000));
        ProcessMessages();
        EXPECT_EQ(shown, std::vector<std::string>{"WaveInAddBuffer:\n\rThe device went away."});
        EXPECT_EQ(Count("OnError"), 1);
        EXPECT_EQ(Count("OnStop"), 1);
        EXPECT_EQ(Count("OnClose"), 1);
        EXPECT_FALSE(driver.IsOpen());
        driver.ClearFailures();
        wave->Start();
        driver.Deliver(Pattern(2048));
        ASSERT_TRUE(Until([&] { return stage->Data().size() >= 2048 * 2; }));
        wave->Close();
        Drop();
    }

    // A stage that raises while a buffer passes: closed, shown once.
    Make();
    wave->OnBufferReady = [](TComponent*, PWaveHdr) { throw EMMWaveInError("stage failure"); };
    wave->Start();
    shown.clear();
    driver.Deliver(Pattern(2048 * 2));
    ASSERT_TRUE(Until([&] { return wave->State() == wsClosed; }));
    ProcessMessages();
    EXPECT_EQ(shown, std::vector<std::string>{"stage failure"});
}

TEST(WaveInRegistry, ClassAndEnumerationNamesAreRegistered)
{
    RegisterWaveInComponents();
    EXPECT_TRUE(TComponentRegistry::IsRegistered("TMMWaveIn"));
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TMMCBMode>().name(), "cmThread"), 2);
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TMMTimeFormats>().name(), "tfMillisecond"), 0);
    F driver;
    driver.Install();
    std::unique_ptr<TComponent> c(TComponentRegistry::Create("TMMWaveIn", nullptr));
    ASSERT_NE(c, nullptr);
    QObject* o = c->AsQObject();
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(c->HasPublishedProperty("Output"));
    EXPECT_FALSE(c->HasPublishedProperty("Input"));
    EXPECT_TRUE(o->setProperty("SampleRate", 22050));
    EXPECT_EQ(o->property("SampleRate").toInt(), 22050);
    o->setProperty("ProductName", QVariant::fromValue(std::string("ignored")));
    EXPECT_EQ(o->property("ProductName").value<std::string>(), "Fake recording device");
    EXPECT_TRUE(o->setProperty("TimeFormat", QVariant::fromValue(tfMillisecond)));
    EXPECT_EQ(static_cast<TMMWaveIn*>(o)->TimeFormat(), tfMillisecond);
}

#include "wave_in_test.moc"
