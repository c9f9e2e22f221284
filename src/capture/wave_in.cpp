#include "capture/wave_in.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "framework/enum_names.h"
#include "framework/exception_handler.h"
#include "platform/message_box.h"

namespace qv {

namespace {

const char* const kNoDevice = "No wave audio recording device found";
const char* const kChangeWhileOpen = "Change to property while device was open";
const char* const kUnknownError = "Specified error number is out of range (unknown error)";
const char* const kCallbackWarning =
    "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95";

constexpr int kStepMs = 10;

} // namespace

// ---------------------------------------------------------------------------
// Worker thread

TMMWaveInThread::TMMWaveInThread(TMMCustomWaveIn* Owner) : TMMDSPThread(Owner), FWaveIn(Owner) {}

TMMWaveInThread::~TMMWaveInThread()
{
    Terminate();
    WaitFor();
}

void TMMWaveInThread::Execute()
{
    TMMCustomWaveIn* w = FWaveIn;
    RaiseThreadPriority();
    w->FThreadEvent->Set(); // running
    try {
        while (!Terminated()) {
            TMessage m;
            if (!FQueue.Peek(m)) {
                if (FQueue.WaitFor(*w->FStopEvent, -1) == TMessageQueue::wrEvent)
                    break;
                continue;
            }
            if (m.msg == MM_WIM_DATA && m.wParam == w->FHandle.load())
                w->ProcessBuffer(reinterpret_cast<PWaveHdr>(m.lParam));
        }
    } catch (...) {
        w->ThreadFailed(std::current_exception());
    }
    w->FThreadEvent->Set(); // finished
}

// ---------------------------------------------------------------------------
// Construction

TMMCustomWaveIn::TMMCustomWaveIn(TComponent* AOwner) : TMMCustomSoundComponent(AOwner)
{
    FProductName = kNoDevice;
    if (!IsDesigning())
        CreateWindow();
}

void TMMCustomWaveIn::InitDevice()
{
    FNumDevs = FDriver.GetNumDevs ? static_cast<int32_t>(FDriver.GetNumDevs()) : 0;
    SetDeviceID(0);
    RebuildFormat();
}

TMMCustomWaveIn::~TMMCustomWaveIn()
{
    Destroying();
    if (FHandle.load() != 0)
        Close();
    else if (FThread)
        StopThread();
    FWindow.reset();
    FreeBuffers();
}

void TMMCustomWaveIn::CreateWindow()
{
    if (!FWindow)
        FWindow = std::make_unique<TMessageWindow>(
            [this](uint32_t m, uintptr_t w, intptr_t l) { WndProc(m, w, l); });
}

bool TMMCustomWaveIn::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnOpen")
        return AssignEvent(OnOpen, Handler);
    if (Name == "OnStart")
        return AssignEvent(OnStart, Handler);
    if (Name == "OnPause")
        return AssignEvent(OnPause, Handler);
    if (Name == "OnRestart")
        return AssignEvent(OnRestart, Handler);
    if (Name == "OnStop")
        return AssignEvent(OnStop, Handler);
    if (Name == "OnClose")
        return AssignEvent(OnClose, Handler);
    if (Name == "OnError")
        return AssignEvent(OnError, Handler);
    return TMMCustomSoundComponent::SetEvent(Name, Handler);
}

// ---------------------------------------------------------------------------
// Errors

void TMMCustomWaveIn::Error(const std::string& Msg)
{
    if (OnError)
        OnError(this);
    throw EMMWaveInError(Msg);
}

void TMMCustomWaveIn::ReportForeign(std::exception_ptr E)
{
    // Errors raised through Error have fired OnError already.
    try {
        std::rethrow_exception(E);
    } catch (const EMMWaveInError&) {
    } catch (...) {
        if (OnError)
            OnError(this);
    }
}

std::string TMMCustomWaveIn::DriverErrorText(MMRESULT Result)
{
    char text[255] = {};
    if (FDriver.GetErrorText && FDriver.GetErrorText(Result, text, sizeof text) == MMSYSERR_NOERROR) {
        text[sizeof text - 1] = '\0';
        return text;
    }
    return kUnknownError;
}

void TMMCustomWaveIn::Check(MMRESULT Result, const char* Prefix)
{
    if (Result != MMSYSERR_NOERROR)
        Error(std::string(Prefix) + DriverErrorText(Result));
}

void TMMCustomWaveIn::CheckNotOpen()
{
    if (FState.load() & wsOpen)
        Error(kChangeWhileOpen);
}

// ---------------------------------------------------------------------------
// Properties

void TMMCustomWaveIn::SetDeviceID(TMMDeviceId Value)
{
    if (Value != FDeviceID)
        CheckNotOpen();
    FProductName = kNoDevice;
    if (FNumDevs > 0 && Value >= -1 && Value < FNumDevs && FDriver.GetDevCaps) {
        TWaveInCaps caps{};
        if (FDriver.GetDevCaps(static_cast<uintptr_t>(static_cast<uint32_t>(Value)), &caps, sizeof caps) ==
            MMSYSERR_NOERROR) {
            caps.szPname[MAXPNAMELEN - 1] = '\0';
            FProductName = caps.szPname;
        }
    }
    // Anything outside -1 .. FNumDevs - 1 marks an invalid device.
    FDeviceID = (Value < -1 || Value >= FNumDevs) ? -2 : Value;
}

void TMMCustomWaveIn::SetMode(TMMMode Value)
{
    if (Value == FMode || (Value != mMono && Value != mStereo))
        return;
    CheckNotOpen();
    FMode = Value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits Value)
{
    if (Value == FBitLength)
        return;
    CheckNotOpen();
    FBitLength = Value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int32_t Value)
{
    if (Value == FSampleRate)
        return;
    CheckNotOpen();
    FSampleRate = std::clamp<int32_t>(Value, 8000, 100000);
    RebuildFormat();
}

void TMMCustomWaveIn::SetNumBuffers(int32_t Value)
{
    if (Value == FNumBuffers || Value <= 1)
        return;
    CheckNotOpen();
    FNumBuffers = std::min<int32_t>(Value, MAXWAVEINBUFFERS);
}

void TMMCustomWaveIn::SetBufferSize(int32_t Value)
{
    if (Value == BufferSize())
        return;
    CheckNotOpen();
    TMMCustomSoundComponent::SetBufferSize(std::max<int32_t>(Value, 32));
}

void TMMCustomWaveIn::SetCallBackMode(TMMCBMode Value)
{
    if (Value == FCallBackMode)
        return;
    CheckNotOpen();
    if (Value == cmCallback) {
        // Processing inside the driver's own context is not offered here.
        ShowMessageBox(kCallbackWarning, "TMMWaveIn");
        return;
    }
    FCallBackMode = Value;
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats Value)
{
    if (Value == FTimeFormat)
        return;
    FTimeFormat = Value;
    if (FMaxRecordTime >= 0) {
        // Re-expressed in the new unit: the limit itself stays.
        const TWaveFormatEx* f = GetPWaveFormat();
        switch (FTimeFormat) {
        case tfMillisecond: FMaxRecordTime = BytesToMs(f, FMaxBytes); break;
        case tfSample: FMaxRecordTime = BytesToSamples(f, FMaxBytes); break;
        default: FMaxRecordTime = FMaxBytes; break;
        }
    }
}

void TMMCustomWaveIn::SetMaxRecordTime(int32_t Value)
{
    FMaxRecordTime = Value;
    CalcMaxBytes();
}

void TMMCustomWaveIn::CalcMaxBytes()
{
    const TWaveFormatEx* f = GetPWaveFormat();
    FLimited = FMaxRecordTime >= 0 && f;
    if (!FLimited) {
        FMaxBytes = 0x7FFFFFFF;
    } else {
        switch (FTimeFormat) {
        case tfMillisecond: FMaxBytes = MsToBytes(f, FMaxRecordTime); break;
        case tfSample: FMaxBytes = SamplesToBytes(f, FMaxRecordTime); break;
        default: FMaxBytes = FMaxRecordTime; break;
        }
    }
    if (f && f->nBlockAlign > 0)
        FMaxBytes -= FMaxBytes % f->nBlockAlign;
}

void TMMCustomWaveIn::RebuildFormat()
{
    BuildPCMFormat(FWaveFormat, static_cast<uint16_t>((FBitLength + 1) * 8), static_cast<uint16_t>(FMode + 1),
                   static_cast<uint32_t>(FSampleRate));
    SetPWaveFormat(&FWaveFormat);
}

void TMMCustomWaveIn::SetPWaveFormat(const TWaveFormatEx* Format)
{
    Close();
    if (IsPCMFormatValid(Format)) {
        const TWaveFormatEx f = *Format; // the setters below replace our own record
        SetSampleRate(static_cast<int32_t>(f.nSamplesPerSec));
        SetBitLength(BitLengthOf(f));
        SetMode(ModeOf(f));
        TMMCustomSoundComponent::SetPWaveFormat(&f);
    } else {
        TMMCustomSoundComponent::SetPWaveFormat(Format);
    }
    CalcMaxBytes();
}

// ---------------------------------------------------------------------------
// Format check

bool TMMCustomWaveIn::CheckFormatSupported(TMMDeviceId Device, const TWaveFormatEx* Format)
{
    if (Device < -1 || Device >= FNumDevs || !Format)
        return false;
    const uint32_t id = static_cast<uint32_t>(Device);
    if (FDriver.Open(nullptr, id, Format, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR)
        return false;
    if (Format->wFormatTag != WAVE_FORMAT_PCM)
        return true;
    TWaveInCaps caps{};
    if (FDriver.GetDevCaps(static_cast<uintptr_t>(id), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return false;
    const uint32_t rate = Format->nSamplesPerSec;
    int band;
    if (rate >= 8000 && rate <= 11025)
        band = 0;
    else if (rate >= 11026 && rate <= 22050)
        band = 1;
    else if (rate >= 22051 && rate <= 48000)
        band = 2;
    else
        return true; // the query's answer stands
    // Within a band: mono 8, stereo 8, mono 16, stereo 16 bits.
    const int kind = (Format->wBitsPerSample == 16 ? 2 : 0) + (Format->nChannels == 2 ? 1 : 0);
    return (caps.dwFormats & (1u << (band * 4 + kind))) != 0;
}

// ---------------------------------------------------------------------------
// Waits

bool TMMCustomWaveIn::WaitSteps(const std::function<bool()>& Done, int MinSteps, int MaxSteps, bool WithMessages)
{
    for (int step = 0; step < MaxSteps; ++step) {
        if (step >= MinSteps && Done())
            return true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStepMs);
        do {
            if (WithMessages && FWindow)
                FWindow->DeliverPending();
            else if (FCallBackMode == cmThread && FThreadFailed.load() && FThread) {
                // The worker is gone: the returned buffers are counted here.
                TMessage m;
                while (FThread->Queue().Peek(m))
                    if (m.msg == MM_WIM_DATA && m.wParam == FHandle.load())
                        ProcessBuffer(reinterpret_cast<PWaveHdr>(m.lParam));
            }
            if (step + 1 >= MinSteps && Done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } while (std::chrono::steady_clock::now() < end);
    }
    return Done();
}

// ---------------------------------------------------------------------------
// Open and close

void TMMCustomWaveIn::Open()
{
    if (FNumDevs == 0)
        Error(kNoDevice);
    if (FDeviceID == -2)
        Error("Invalid DeviceID");
    if (!GetPWaveFormat())
        Error("Invalid wave format");
    if (FState.load() & wsOpen)
        Close();
    if ((FState.load() & wsOpen) || FClosing)
        return;
    try {
        FClosing = false;
        FResetting = false;
        FStopping = false;
        if (!CheckFormatSupported(FDeviceID, GetPWaveFormat()))
            Error("WaveInOpen:\n\rThe actual device can''t record this format");
        CreateWindow();
        FHandle = 0;
        FClosePending = false;

        TMMCustomSoundComponent::Opened(); // the stages cut the buffer size to whole frames

        if (FCallBackMode != cmWindow) {
            FLock = std::make_unique<TCriticalSection>();
            if (FCallBackMode == cmThread)
                StartThread();
        }

        // Delivery is always by callback function here: the driver calls from
        // its own thread, and cmWindow posts on to the window from there.
        HWAVEIN handle = 0;
        const MMRESULT r = FDriver.Open(&handle, static_cast<uint32_t>(FDeviceID), GetPWaveFormat(),
                                        reinterpret_cast<uintptr_t>(&TMMCustomWaveIn::WaveInCallback),
                                        reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION);
        FHandle = handle;
        Check(r, "WaveInOpen:\n\r");
        if (!WaitSteps([this] { return (FState.load() & wsOpen) != 0; }, 0, 100, false))
            Error("WaveInOpen:\n\rUnable to open device");

        const int32_t size = BufferSize();
        if (size > 0)
            for (int i = 0; i < FNumBuffers; ++i)
                if (!FBuffers[static_cast<size_t>(i)]) {
                    FBuffers[static_cast<size_t>(i)] = AllocWaveHdr(size);
                    if (!FBuffers[static_cast<size_t>(i)])
                        Error("Unable to allocate memory for wave header");
                }
        for (int i = 0; i < FNumBuffers; ++i)
            if (PWaveHdr h = FBuffers[static_cast<size_t>(i)])
                Check(FDriver.PrepareHeader(FHandle, h, WAVEHDR_DRIVER_SIZE), "WaveInPrepareHeader:\n\r");
        if (OnOpen)
            OnOpen(this);
    } catch (...) {
        const auto e = std::current_exception();
        ReportForeign(e);
        FState = wsOpen; // so that Close tears everything down
        Close();
        FState = wsClosed;
        std::rethrow_exception(e);
    }
}

void TMMCustomWaveIn::Close()
{
    if (!(FState.load() & wsOpen) || (FClosing && !FClosePending))
        return;
    try {
        FClosing = true;
        if (FState.load() & (wsStarted | wsPaused)) {
            try {
                Stop();
            } catch (...) {
                // The stop failed (OnError has fired): the device is closed all the same.
                if (!FStopRequested.load() && (FState.load() & (wsStarted | wsPaused)))
                    DoStoppedNotification();
            }
        }
        if (FStopRequested.load()) {
            // A deferred stop is outstanding: the close runs again once it completes.
            FClosePending = true;
            return;
        }
        FClosePending = false;
        bool timedOut = false;
        if (FHandle.load() != 0) {
            FDriver.Stop(FHandle);
            FDriver.Reset(FHandle);
            UnprepareHeaders();
            Check(FDriver.Close(FHandle), "WaveInClose:\n\r");
            timedOut = !WaitSteps([this] { return (FState.load() & wsClosed) != 0; }, 0, 100, false);
            if (timedOut)
                FState = wsClosed; // the driver let the handle go; it is not ours any more
        } else {
            FState = wsClosed;
        }
        TMMCustomSoundComponent::Closed(); // down the chain
        if (FCallBackMode == cmThread || FThread)
            StopThread();
        FLock.reset();
        Closed();
        if (timedOut)
            Error("WaveInClose:\n\rUnable to close device");
    } catch (...) {
        ReportForeign(std::current_exception());
        FClosing = false;
    }
}

void TMMCustomWaveIn::UnprepareHeaders()
{
    for (int i = 0; i < MAXWAVEINBUFFERS; ++i) {
        PWaveHdr h = FBuffers[static_cast<size_t>(i)];
        if (!h)
            continue;
        bool done = false;
        for (int n = 0; n < 65000 && !done; ++n)
            done = (__atomic_load_n(&h->dwFlags, __ATOMIC_ACQUIRE) & WHDR_DONE) != 0;
        if (!done)
            h->dwFlags = WHDR_DONE;
        Check(FDriver.UnprepareHeader(FHandle, h, WAVEHDR_DRIVER_SIZE), "WaveInUnprepareHeader:\n\r");
    }
}

void TMMCustomWaveIn::FreeBuffers()
{
    for (PWaveHdr& h : FBuffers)
        FreeWaveHdr(h);
}

void TMMCustomWaveIn::Closed()
{
    FHandle = 0;
    FreeBuffers();
    FClosing = false;
    if (!IsDestroying() && OnClose)
        OnClose(this);
}

// ---------------------------------------------------------------------------
// Start, pause, restart, stop

void TMMCustomWaveIn::QueueBuffer(PWaveHdr Buffer)
{
    Buffer->dwFlags = (Buffer->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    Check(FDriver.AddBuffer(FHandle, Buffer, WAVEHDR_DRIVER_SIZE), "WaveInAddBuffer:\n\r");
    ++FQueued;
}

void TMMCustomWaveIn::Start()
{
    if (!(FState.load() & wsOpen))
        Open();
    if (!(FState.load() & wsOpen) || (FState.load() & wsStarted))
        return;
    try {
        FBytesRecorded = 0;
        FInHandler = 0;
        FQueued = 0;
        FStopRequested = false;
        FStopping = false;
        FResetting = false;
        FStopPartial = nullptr;
        CalcMaxBytes();
        for (int i = 0; i < FNumBuffers; ++i)
            if (PWaveHdr h = FBuffers[static_cast<size_t>(i)])
                QueueBuffer(h);
        Started();
    } catch (...) {
        const auto e = std::current_exception();
        ReportForeign(e);
        FState |= wsStarted;
        Close();
        FState = wsClosed;
        std::rethrow_exception(e);
    }
}

void TMMCustomWaveIn::Started()
{
    FState |= wsStarted;
    if (!(FState.load() & wsPaused))
        Check(FDriver.Start(FHandle), "WaveInStart:\n\r");
    TMMCustomSoundComponent::Started();
    if (OnStart)
        OnStart(this);
}

void TMMCustomWaveIn::Pause()
{
    if (!(FState.load() & wsOpen))
        Open();
    if (!(FState.load() & wsOpen) || (FState.load() & wsPaused))
        return;
    try {
        if (FState.load() & wsStarted)
            Check(FDriver.Stop(FHandle), "WaveInPause:\n\r");
        Paused();
    } catch (...) {
        const auto e = std::current_exception();
        ReportForeign(e);
        Close();
        std::rethrow_exception(e);
    }
}

void TMMCustomWaveIn::Paused()
{
    FState |= wsPaused;
    TMMCustomSoundComponent::Paused();
    if (OnPause)
        OnPause(this);
}

void TMMCustomWaveIn::Restart()
{
    const uint32_t s = FState.load();
    if (!((s & wsStarted) && (s & wsPaused)))
        return;
    try {
        Check(FDriver.Start(FHandle), "WaveInRestart:\n\r");
        Restarted();
    } catch (...) {
        const auto e = std::current_exception();
        ReportForeign(e);
        Close();
        std::rethrow_exception(e);
    }
}

void TMMCustomWaveIn::Restarted()
{
    FState &= ~wsPaused;
    TMMCustomSoundComponent::Restarted();
    if (OnRestart)
        OnRestart(this);
}

void TMMCustomWaveIn::Stop()
{
    if (!(FState.load() & (wsStarted | wsPaused)))
        return;
    // A stop asked for while one runs (from a buffer it returns, or a deferred
    // stop delivered during its wait) is the same stop.
    if (FStopDepth > 0)
        return;
    ++FStopDepth;
    try {
        Locked([this] {
            FStopping = true;
            Check(FDriver.Stop(FHandle), "WaveInStop:\n\r");
            FResetting = true;
            Check(FDriver.Reset(FHandle), "WaveInReset:\n\r");
        });
        if (!InHandlerHere()) {
            // Asked for on another thread while the worker is inside a buffer
            // notification: let that notification end (it queues nothing more
            // now), then collect the buffers as usual. Deferring here would leave
            // a close, or the destructor, with the device still open.
            WaitSleeping([this] { return FInHandler.load() == 0; }, 5000);
            WaitSteps([this] { return FQueued.load() <= 0; }, 1, 100, FCallBackMode == cmWindow);
        }
        Stopped();
        --FStopDepth;
    } catch (...) {
        --FStopDepth;
        const auto e = std::current_exception();
        ReportForeign(e);
        Close();
        std::rethrow_exception(e);
    }
}

void TMMCustomWaveIn::Stopped()
{
    if (FStopDepth == 0 && (FState.load() & (wsStarted | wsPaused)) && FHandle.load() != 0) {
        // Sent by the chain (a relink while recording): stop the driver too.
        Stop();
        return;
    }
    if (InHandlerHere()) {
        FStopRequested = true; // completed through WIM_DEFERREDSTOP
        return;
    }
    DoStoppedNotification();
}

bool TMMCustomWaveIn::InHandlerHere() const
{
    return FInHandler.load() > 0 && FHandlerThread.load() == std::this_thread::get_id();
}

void TMMCustomWaveIn::DoStoppedNotification()
{
    FState &= ~(wsStarted | wsPaused);
    FQueued = 0;
    FStopRequested = false;
    TMMCustomSoundComponent::Stopped();
    if (!IsDestroying() && OnStop)
        OnStop(this);
    if (FClosePending)
        Close();
}

// ---------------------------------------------------------------------------
// Buffers

void TMMCustomWaveIn::BufferReady(PWaveHdr Buffer)
{
    // Past the limit a stop is already under way: nothing more goes down.
    if (FLimited && FBytesRecorded.load() >= FMaxBytes)
        return;
    bool limit = false;
    int64_t total = FBytesRecorded.load() + Buffer->dwBytesRecorded;
    if (FLimited && total >= FMaxBytes) {
        Buffer->dwBytesRecorded -= static_cast<uint32_t>(total - FMaxBytes);
        total = FMaxBytes;
        limit = true;
    }
    FBytesRecorded = total;
    TMMCustomSoundComponent::BufferReady(Buffer);
    if (limit)
        Stop();
}

void TMMCustomWaveIn::ProcessBuffer(PWaveHdr Buffer)
{
    if (!(FState.load() & wsStarted) || !Buffer)
        return;
    if (FStopping.load() || FResetting.load()) {
        // The partial buffer a stop returns still goes down the chain; the
        // buffers a reset returns do not.
        auto count = [this] {
            Locked([this] {
                if (FQueued.fetch_sub(1) == 1)
                    FResetting = false;
            });
        };
        // The buffer a stop returned is known by the callback (with window or
        // thread delivery it is processed only after the reset has begun).
        PWaveHdr partial = Buffer;
        const bool fromStop = FStopPartial.compare_exchange_strong(partial, nullptr);
        try {
            if ((fromStop || !FResetting.load()) && Buffer->dwBytesRecorded != 0)
                BufferReady(Buffer);
        } catch (...) {
            count();
            throw;
        }
        count();
        return;
    }
    ++FInHandler;
    FHandlerThread = std::this_thread::get_id();
    auto finish = [this] {
        if (--FInHandler == 0 && FStopRequested.load()) {
            FStopping = true;
            if (FWindow)
                FWindow->Post(WIM_DEFERREDSTOP, FHandle.load());
        }
    };
    try {
        Locked([this] { --FQueued; });
        // A buffer without bytes (a device that could not fill it) carries
        // nothing to pass on; it only goes back to the driver.
        if (Buffer->dwBytesRecorded != 0)
            BufferReady(Buffer);
        // Once a stop has begun (here or on another thread) nothing goes back
        // to the driver.
        if (!FStopRequested.load() && !FStopping.load())
            QueueBuffer(Buffer);
    } catch (...) {
        ReportForeign(std::current_exception());
        finish();
        throw;
    }
    finish();
}

// ---------------------------------------------------------------------------
// Driver notifications

void TMMCustomWaveIn::WaveInCallback(HWAVEIN hwi, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                                     uintptr_t)
{
    auto* self = reinterpret_cast<TMMCustomWaveIn*>(dwInstance);
    if (!self)
        return;
    switch (uMsg) {
    case MM_WIM_OPEN:
        self->FState = wsOpen;
        break;
    case MM_WIM_CLOSE:
        self->FState = wsClosed;
        break;
    case MM_WIM_DATA:
        if (self->FStopping.load() && !self->FResetting.load())
            self->FStopPartial = reinterpret_cast<PWaveHdr>(dwParam1);
        switch (self->FCallBackMode) {
        case cmThread:
            if (self->FThread)
                self->FThread->Queue().Post(MM_WIM_DATA, hwi, static_cast<intptr_t>(dwParam1));
            break;
        case cmCallback:
            // Never selected on this platform (the setter refuses it); kept safe
            // by handing the buffer to the main thread like cmWindow.
        case cmWindow:
        default:
            if (self->FWindow)
                self->FWindow->Post(MM_WIM_DATA, hwi, static_cast<intptr_t>(dwParam1));
            break;
        }
        break;
    default:
        break;
    }
}

void TMMCustomWaveIn::WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam)
{
    if (WParam != FHandle.load() || WParam == 0)
        return;
    try {
        switch (Msg) {
        case MM_WIM_OPEN: FState = wsOpen; break;
        case MM_WIM_CLOSE: FState = wsClosed; break;
        case MM_WIM_DATA: ProcessBuffer(reinterpret_cast<PWaveHdr>(LParam)); break;
        case WIM_DEFERREDSTOP: Stop(); break;
        case WIM_THREADFAILED: {
            std::exception_ptr e;
            {
                std::lock_guard<std::mutex> lock(FThreadErrorLock);
                e = FThreadError;
                FThreadError = nullptr;
            }
            Close();
            if (e)
                HandleException(e);
            break;
        }
        default: break;
        }
    } catch (...) {
        const auto e = std::current_exception();
        Close();
        HandleException(e);
    }
}

// ---------------------------------------------------------------------------
// Worker thread

void TMMCustomWaveIn::StartThread()
{
    Locked([this] {
        FThreadFailed = false;
        FThreadEvent = std::make_unique<TAutoResetEvent>();
        FStopEvent = std::make_unique<TAutoResetEvent>();
        bool ok = false;
        try {
            FThread = std::make_unique<TMMWaveInThread>(this);
            FThread->Resume();
            ok = FThreadEvent->Wait(5000);
        } catch (const std::exception&) {
            ok = false;
        }
        if (!ok)
            Error("WaveIn:\n\rCould not create thread");
    });
}

void TMMCustomWaveIn::StopThread()
{
    if (FThread) {
        if (!FThreadFailed.load() && FStopEvent) {
            FStopEvent->Set();
            FThreadEvent->Wait(5000);
        }
        FThread->Terminate();
        if (FStopEvent)
            FStopEvent->Set();
        FThread.reset(); // joins
    }
    FThreadEvent.reset();
    FStopEvent.reset();
    FLock.reset();
}

void TMMCustomWaveIn::ThreadFailed(std::exception_ptr E)
{
    // Runs on the worker: the device is closed and the error shown in the main
    // thread, where the chain and the user interface live.
    FThreadFailed = true;
    {
        std::lock_guard<std::mutex> lock(FThreadErrorLock);
        FThreadError = E;
    }
    if (FWindow)
        FWindow->Post(WIM_THREADFAILED, FHandle.load());
}

// ---------------------------------------------------------------------------

TMMWaveIn::TMMWaveIn(TComponent* AOwner) : TMMCustomWaveIn(AOwner)
{
    InitDriverTable();
    InitDevice();
}

void TMMWaveIn::InitDriverTable()
{
    if (!FDriver.GetNumDevs)
        FDriver = PlatformWaveInDriverTable();
}

void RegisterWaveInComponents()
{
    TComponentRegistry::Register("TMMWaveIn", [](TComponent* owner) -> TComponent* { return new TMMWaveIn(owner); });
    TEnumNames::Register<TMMMode>({"mMono", "mStereo"});
    TEnumNames::Register<TMMBits>({"b8Bit", "b16Bit"});
    TEnumNames::Register<TMMCBMode>({"cmWindow", "cmCallback", "cmThread"});
    TEnumNames::Register<TMMTimeFormats>({"tfMillisecond", "tfByte", "tfSample"});
}

} // namespace qv
