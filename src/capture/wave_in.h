#pragma once
// The wave-input device: records from a sound card through the wave-input
// driver table and heads the signal chain. It keeps a ring of buffers queued at
// the driver, hands every filled buffer down the chain and gives it back, stops
// cleanly even when the stop is asked for inside a buffer notification, and can
// end the recording by itself after a maximum recording time.
#include <any>
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "capture/pcm_format.h"
#include "chain/dsp_component.h"
#include "chain/dsp_thread.h"
#include "framework/exceptions.h"
#include "platform/message_window.h"
#include "platform/wave_in_driver.h"

namespace qv {

QV_DECLARE_EXCEPTION(EMMWaveInError, Exception);

enum TMMCBMode : int32_t { cmWindow = 0, cmCallback = 1, cmThread = 2 };
enum TMMTimeFormats : int32_t { tfMillisecond = 0, tfByte = 1, tfSample = 2 };
using TMMDeviceId = int32_t;

// Posted to the device's own window to finish a stop asked for during a buffer
// notification.
constexpr uint32_t WIM_DEFERREDSTOP = 0x8001;
// Posted to the device's own window by its worker thread when the thread ended
// through an error: the device is closed and the error shown in the main thread.
constexpr uint32_t WIM_THREADFAILED = 0x8002;

// Bits of the device state.
constexpr uint32_t wsClosed = 1;
constexpr uint32_t wsOpen = 2;
constexpr uint32_t wsStarted = 4;
constexpr uint32_t wsPaused = 8;

constexpr int32_t MAXWAVEINBUFFERS = 500;

class TMMCustomWaveIn;

// The worker of cmThread delivery: runs ProcessBuffer for every buffer the
// driver finishes, at above-normal priority where the system allows it.
class TMMWaveInThread : public TMMDSPThread {
public:
    explicit TMMWaveInThread(TMMCustomWaveIn* Owner);
    ~TMMWaveInThread() override;
    TMessageQueue& Queue() { return FQueue; }

protected:
    void Execute() override;

private:
    TMMCustomWaveIn* FWaveIn;
    TMessageQueue FQueue;
};

class TMMCustomWaveIn : public TMMCustomSoundComponent {
    Q_OBJECT
    friend class TMMWaveInThread;

public:
    explicit TMMCustomWaveIn(TComponent* AOwner = nullptr);
    ~TMMCustomWaveIn() override;

    // --- operations ---------------------------------------------------------
    virtual void InitDriverTable() = 0;
    // Fires OnError, then raises EMMWaveInError with Msg.
    [[noreturn]] virtual void Error(const std::string& Msg);
    virtual void Open();
    // Never raises: a failure is reported through OnError.
    virtual void Close();
    virtual void Start();
    virtual void Pause();
    virtual void Restart();
    virtual void Stop();

    // --- published properties ----------------------------------------------
    TMMDeviceId DeviceID() const { return FDeviceID; }
    void SetDeviceID(TMMDeviceId Value);
    const std::string& ProductName() const { return FProductName; }
    void SetProductName(const std::string&) {} // read-only
    TMMMode Mode() const { return FMode; }
    void SetMode(TMMMode Value);
    TMMBits BitLength() const { return FBitLength; }
    void SetBitLength(TMMBits Value);
    int32_t SampleRate() const { return FSampleRate; }
    void SetSampleRate(int32_t Value);
    int32_t NumBuffers() const { return FNumBuffers; }
    void SetNumBuffers(int32_t Value);
    void SetBufferSize(int32_t Value) override;
    TMMCBMode CallBackMode() const { return FCallBackMode; }
    void SetCallBackMode(TMMCBMode Value);
    TMMTimeFormats TimeFormat() const { return FTimeFormat; }
    void SetTimeFormat(TMMTimeFormats Value);
    int32_t MaxRecordTime() const { return FMaxRecordTime; }
    void SetMaxRecordTime(int32_t Value);

    TMMNotifyEvent OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose, OnError;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;

    // --- state, for the program and tests ----------------------------------
    uint32_t State() const { return FState.load(); }
    HWAVEIN Handle() const { return FHandle.load(); }
    int32_t NumDevs() const { return FNumDevs; }
    int32_t QueuedCount() const { return FQueued.load(); }
    int32_t MaxBytes() const { return FMaxBytes; }
    int64_t BytesRecorded() const { return FBytesRecorded.load(); }
    bool StopRequested() const { return FStopRequested.load(); }
    bool ClosePending() const { return FClosePending; }
    PWaveHdr Buffer(int Index) const
    {
        return Index >= 0 && Index < MAXWAVEINBUFFERS ? FBuffers[static_cast<size_t>(Index)] : nullptr;
    }

    // --- chain operations ----------------------------------------------------
    void SetPWaveFormat(const TWaveFormatEx* Format) override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    // The device's own closed notification: the ring is released and OnClose fires.
    void Closed() override;
    void BufferReady(PWaveHdr Buffer) override;

protected:
    // Called by a derived constructor once the driver table is filled: counts
    // the devices and selects device 0.
    void InitDevice();
    TWaveInDriverTable FDriver;

private:
    static void WaveInCallback(HWAVEIN hwi, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                               uintptr_t dwParam2);
    void WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);
    void ProcessBuffer(PWaveHdr Buffer);
    void QueueBuffer(PWaveHdr Buffer);
    void UnprepareHeaders();
    bool CheckFormatSupported(TMMDeviceId Device, const TWaveFormatEx* Format);
    void RebuildFormat();
    void CalcMaxBytes();
    void CheckNotOpen();
    // Raises Prefix + the driver's text when Result is not 0.
    void Check(MMRESULT Result, const char* Prefix);
    std::string DriverErrorText(MMRESULT Result);
    // OnError for a failure that did not come through Error.
    void ReportForeign(std::exception_ptr E);
    // Waits up to Steps x 10 ms (at least MinSteps) until Done; in cmWindow the
    // device's own window messages are delivered meanwhile.
    bool WaitSteps(const std::function<bool()>& Done, int MinSteps, int MaxSteps, bool WithMessages);
    void StartThread();
    void StopThread();
    void ThreadFailed(std::exception_ptr E);
    void DoStoppedNotification();
    // True inside a buffer notification on the calling thread.
    bool InHandlerHere() const;
    void CreateWindow();
    void FreeBuffers();
    template <typename F> void Locked(F&& f)
    {
        if (FLock) {
            std::lock_guard<TCriticalSection> lock(*FLock);
            f();
        } else {
            f();
        }
    }

    std::atomic<HWAVEIN> FHandle{0};
    std::atomic<uint32_t> FState{wsClosed};
    TWaveFormatEx FWaveFormat{};
    int32_t FNumDevs = 0;
    std::array<PWaveHdr, MAXWAVEINBUFFERS> FBuffers{};
    std::atomic<int32_t> FQueued{0};
    std::atomic<int32_t> FInHandler{0};
    std::atomic<std::thread::id> FHandlerThread{}; // the thread of the notification in progress
    std::atomic<bool> FStopRequested{false};
    bool FClosePending = false;
    bool FClosing = false;
    std::atomic<bool> FStopping{false};
    std::atomic<bool> FResetting{false};
    std::atomic<PWaveHdr> FStopPartial{nullptr}; // the partly filled buffer the last stop returned
    std::atomic<int64_t> FBytesRecorded{0};
    int32_t FMaxBytes = 0x7FFFFFFF;
    bool FLimited = false; // a recording limit is set (FMaxBytes alone cannot say "none")
    int FStopDepth = 0;     // Stop() calls in progress on this object
    std::unique_ptr<TMessageWindow> FWindow;
    std::unique_ptr<TCriticalSection> FLock;
    std::unique_ptr<TMMWaveInThread> FThread;
    std::unique_ptr<TAutoResetEvent> FThreadEvent, FStopEvent;
    std::atomic<bool> FThreadFailed{false};
    std::exception_ptr FThreadError;
    std::mutex FThreadErrorLock;

    TMMDeviceId FDeviceID = 0;
    std::string FProductName;
    TMMMode FMode = mMono;
    TMMBits FBitLength = b8Bit;
    int32_t FSampleRate = 11025;
    int32_t FNumBuffers = 10;
    TMMCBMode FCallBackMode = cmWindow;
    TMMTimeFormats FTimeFormat = tfByte;
    int32_t FMaxRecordTime = -1;
};

// The device on the platform's wave-input service.
class TMMWaveIn : public TMMCustomWaveIn {
    Q_OBJECT
    Q_PROPERTY(int DeviceID READ DeviceID WRITE SetDeviceID)
    Q_PROPERTY(std::string ProductName READ ProductName WRITE SetProductName)
    Q_PROPERTY(qv::TMMMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(qv::TMMBits BitLength READ BitLength WRITE SetBitLength)
    Q_PROPERTY(int SampleRate READ SampleRate WRITE SetSampleRate)
    Q_PROPERTY(int NumBuffers READ NumBuffers WRITE SetNumBuffers)
    Q_PROPERTY(int BufferSize READ BufferSize WRITE SetBufferSize)
    Q_PROPERTY(qv::TMMCBMode CallBackMode READ CallBackMode WRITE SetCallBackMode)
    Q_PROPERTY(qv::TMMTimeFormats TimeFormat READ TimeFormat WRITE SetTimeFormat)
    Q_PROPERTY(int MaxRecordTime READ MaxRecordTime WRITE SetMaxRecordTime)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
public:
    explicit TMMWaveIn(TComponent* AOwner = nullptr);
    void InitDriverTable() override;
};

// Registers TMMWaveIn and the names of its enumerations.
void RegisterWaveInComponents();

} // namespace qv
