#include "chain/connector.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <vector>

#include "chain/application_hooks.h"
#include "framework/exception_handler.h"
#include "framework/numeric.h"
#include "platform/message_window.h"
#include "platform/periodic_timer.h"

namespace qv {

// ===========================================================================
// Trigger search

int64_t TriggerThreshold(uint16_t BitsPerSample, TMMTriggerMode Mode, int32_t Level)
{
    const int64_t l = Mode == tmDownFlank ? -static_cast<int64_t>(Level) : static_cast<int64_t>(Level);
    if (BitsPerSample == 8)
        return Trunc(static_cast<long double>(l) * 127.0L / 100.0L) + 128;
    return l * 327;
}

int32_t TriggerSearch(const TWaveFormatEx* Format, const void* Data, int32_t Count, TMMChannel Channel,
                      TMMTriggerMode Mode, int32_t Level)
{
    if (Mode == tmNone || Count <= 0 || !Format || !Data)
        return -1;
    const bool is16 = Format->wBitsPerSample == 16;
    const bool stereo = Format->nChannels == 2;
    const int32_t bytesPerSample = is16 ? 2 : 1;
    const int32_t frame = bytesPerSample * (stereo ? 2 : 1);
    const int64_t threshold = TriggerThreshold(Format->wBitsPerSample, Mode, Level);
    const auto* d = static_cast<const uint8_t*>(Data);

    auto sample = [&](int32_t offset) -> int64_t {
        return is16 ? static_cast<int64_t>(ReadSample16(d + offset)) : static_cast<int64_t>(d[offset]);
    };
    auto crosses = [&](int64_t a, int64_t b) {
        return Mode == tmUpFlank ? (a < threshold && b >= threshold) : (a > threshold && b <= threshold);
    };
    auto crossesAt = [&](int32_t p, int32_t channelOffset) {
        return crosses(sample(p + channelOffset), sample(p + frame + channelOffset));
    };

    // Whole frames only, except for 8-bit mono where a frame is one byte anyway.
    const int32_t count = frame > 1 ? Count - Count % frame : Count;
    for (int32_t p = 0; count - p > 2 * frame; p += frame) {
        bool found;
        if (!stereo)
            found = crossesAt(p, 0);
        else if (Channel == chLeft)
            found = crossesAt(p, 0);
        else if (Channel == chRight)
            found = crossesAt(p, bytesPerSample);
        else
            found = crossesAt(p, 0) || crossesAt(p, bytesPerSample);
        if (found)
            return p + frame;
    }
    return -1;
}

// ===========================================================================
// Class-wide state: the connector list, the hidden window and the pump.

namespace {

// The connectors' hidden window in the main thread. It keeps its own queue so
// that the messages naming one connector can be purged without touching the
// others'.
class TConnectorWindow : public QObject {
public:
    using Proc = std::function<void(uint32_t, uintptr_t, intptr_t)>;
    explicit TConnectorWindow(Proc proc) : FProc(std::move(proc))
    {
        FPumpWait.setSingleShot(true);
        FPumpWait.setTimerType(Qt::PreciseTimer);
        FPumpWait.setInterval(1);
    }
    ~TConnectorWindow() override
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FQueue.clear();
    }

    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam)
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FQueue.push_back(TMessage{msg, wParam, lParam});
        }
        QCoreApplication::postEvent(this, new QEvent(WakeType()));
    }
    void PurgeIf(const std::function<bool(const TMessage&)>& pred)
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FQueue.erase(std::remove_if(FQueue.begin(), FQueue.end(), pred), FQueue.end());
    }
    int Count(uint32_t msg) const
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return static_cast<int>(
            std::count_if(FQueue.begin(), FQueue.end(), [&](const TMessage& m) { return m.msg == msg; }));
    }
    QTimer& PumpWait() { return FPumpWait; }

    // Nesting depth of message handling: the window is only deleted outside it.
    static int& Depth()
    {
        static int depth = 0;
        return depth;
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != WakeType())
            return QObject::event(e);
        TMessage m;
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FQueue.empty())
                return true;
            m = FQueue.front();
            FQueue.pop_front();
        }
        ++Depth();
        GuardedCall([&] { FProc(m.msg, m.wParam, m.lParam); });
        --Depth();
        return true;
    }

private:
    static QEvent::Type WakeType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    Proc FProc;
    mutable std::mutex FMutex;
    std::deque<TMessage> FQueue;
    QTimer FPumpWait;
};

struct TClassState {
    std::vector<TMMConnector*> list;
    TConnectorWindow* window = nullptr;
    std::atomic<int32_t> runningCount{0};
    int32_t maxSpeed = 0;
    std::atomic<bool> enterIdle{false};
    bool idleInstalled = false;
    // A pump message is queued or the pump's 1 ms wait runs: one pump at a time.
    bool pumpAlive = false;
    uint64_t nextSerial = 1;
};

TClassState& State()
{
    static TClassState state;
    return state;
}

TMMConnector* FindBySerial(intptr_t serial, const std::vector<TMMConnector*>& list,
                           const std::function<uint64_t(TMMConnector*)>& serialOf)
{
    for (TMMConnector* c : list)
        if (static_cast<intptr_t>(serialOf(c)) == serial)
            return c;
    return nullptr;
}

bool Listed(TMMConnector* c)
{
    const auto& list = State().list;
    return std::find(list.begin(), list.end(), c) != list.end();
}

// The operating system's audio compression manager does not exist on this
// platform: no conversion target is ever offered, so a non-PCM input leaves
// the connector inactive and the views untold, without an error.
bool FindConversionTarget(const TWaveFormatEx* /*source*/, TWaveFormatEx& target)
{
    std::memset(&target, 0, sizeof target);
    return false;
}

constexpr int32_t kSpectrogramSecond = TMMConnector::GroupCount; // read position of Spectrogram2

TMMConnector::TGroup GroupOf(int slot)
{
    switch (slot) {
    case TMMConnector::slLevel1:
    case TMMConnector::slLevel2: return TMMConnector::grLevel;
    case TMMConnector::slMeter1:
    case TMMConnector::slMeter2: return TMMConnector::grMeter;
    case TMMConnector::slOscope1:
    case TMMConnector::slOscope2: return TMMConnector::grOscope;
    case TMMConnector::slLight1:
    case TMMConnector::slLight2: return TMMConnector::grLight;
    case TMMConnector::slSpectrogram1:
    case TMMConnector::slSpectrogram2: return TMMConnector::grSpectrogram;
    default: return TMMConnector::grSpectrum;
    }
}

// The other slot of a two-slot group.
int PartnerOf(int slot) { return slot % 2 == 0 ? slot + 1 : slot - 1; }

} // namespace

// ===========================================================================
// Construction and the list

TMMConnector::TMMConnector(TComponent* AOwner) : TMMDSPComponent(AOwner), FSerial(State().nextSerial++)
{
    if (!IsDesigning())
        JoinList(this);
}

TMMConnector::~TMMConnector()
{
    Destroying();
    GuardedCall([this] { Stopped(); });
    // The pause timer's thread must be gone before the members it touches.
    if (FTimerID != 0) {
        TimeKillEvent(FTimerID);
        FTimerID = 0;
    }
    if (FListed)
        LeaveList(this);
}

void TMMConnector::JoinList(TMMConnector* C)
{
    TClassState& s = State();
    if (!s.window) {
        s.window = new TConnectorWindow(&TMMConnector::WindowProc);
        QObject::connect(&s.window->PumpWait(), &QTimer::timeout, s.window, [] {
            TClassState& st = State();
            ++TConnectorWindow::Depth();
            GuardedCall([&] {
                // With EnterIdle the application handles one message, running its
                // idle processing when none waits.
                if (st.enterIdle.load())
                    MMApplicationHooks().HandleMessage();
            });
            --TConnectorWindow::Depth();
            if (st.window && st.pumpAlive)
                st.window->Post(MM_CONNECT_PUMP, 0, 0);
        });
    }
    s.list.push_back(C);
    C->FListed = true;
    RecomputeMaxSpeed();
}

void TMMConnector::LeaveList(TMMConnector* C)
{
    TClassState& s = State();
    s.list.erase(std::remove(s.list.begin(), s.list.end(), C), s.list.end());
    C->FListed = false;
    if (s.window) {
        // Messages naming this connector go; another connector's start or
        // trigger request, and the pump serving the others, stay.
        const auto serial = static_cast<intptr_t>(C->FSerial);
        s.window->PurgeIf([serial](const TMessage& m) {
            return (m.msg == MM_CONNECT_START || m.msg == MM_CONNECT_TRIGGER) && m.lParam == serial;
        });
    }
    if (C->FCounted) {
        C->FCounted = false;
        s.runningCount.fetch_sub(1);
    }
    if (s.list.empty()) {
        if (s.idleInstalled) {
            MMApplicationHooks().SetIdleEvent(TMMIdleEvent());
            s.idleInstalled = false;
        }
        if (s.window) {
            s.window->PurgeIf([](const TMessage&) { return true; });
            s.window->PumpWait().stop();
            // Never delete the window under its own message handling.
            if (TConnectorWindow::Depth() > 0)
                s.window->deleteLater();
            else
                delete s.window;
            s.window = nullptr;
        }
        s.pumpAlive = false;
    }
}

void TMMConnector::RecomputeMaxSpeed()
{
    int32_t m = 0;
    for (TMMConnector* c : State().list)
        m = std::max(m, c->FSpeed);
    State().maxSpeed = m;
}

int32_t TMMConnector::RunningCount() { return State().runningCount.load(); }
int32_t TMMConnector::MaxSpeed() { return State().maxSpeed; }
int32_t TMMConnector::ConnectorCount() { return static_cast<int32_t>(State().list.size()); }
bool TMMConnector::IdleHandlerInstalled() { return State().idleInstalled; }

int TMMConnector::PendingMessages(uint32_t Msg)
{
    TConnectorWindow* w = State().window;
    return w ? w->Count(Msg) : 0;
}

void TMMConnector::InstallIdleHandler()
{
    TClassState& s = State();
    const TMMApplicationHooks& app = MMApplicationHooks();
    if (s.idleInstalled || app.IdleEventAssigned())
        return;
    // The pump keeps the message queue busy, so the application would never
    // become idle by itself: answer "not done" so it does not wait for a message.
    app.SetIdleEvent([](TComponent*, bool& Done) { Done = false; });
    s.idleInstalled = true;
}

void TMMConnector::RemoveIdleHandlerWhenIdle()
{
    TClassState& s = State();
    if (s.runningCount.load() == 0 && s.idleInstalled) {
        MMApplicationHooks().SetIdleEvent(TMMIdleEvent());
        s.idleInstalled = false;
    }
}

void TMMConnector::PostPump()
{
    TClassState& s = State();
    if (s.pumpAlive || !s.window)
        return;
    s.pumpAlive = true;
    s.window->Post(MM_CONNECT_PUMP, 0, 0);
}

void TMMConnector::PostStart()
{
    if (TConnectorWindow* w = State().window)
        w->Post(MM_CONNECT_START, 0, static_cast<intptr_t>(FSerial));
}

void TMMConnector::WindowProc(uint32_t Msg, uintptr_t, intptr_t LParam)
{
    TClassState& s = State();
    auto serialOf = [](TMMConnector* c) { return c->FSerial; };
    switch (Msg) {
    case MM_CONNECT_START:
        if (TMMConnector* c = FindBySerial(LParam, s.list, serialOf))
            c->HandleStart();
        break;
    case MM_CONNECT_TRIGGER:
        if (TMMConnector* c = FindBySerial(LParam, s.list, serialOf))
            c->HandleTrigger();
        break;
    case MM_CONNECT_PUMP:
        try {
            PumpCycle();
        } catch (...) {
            // Reported; the pump is not re-posted.
            State().pumpAlive = false;
            throw;
        }
        break;
    default: break;
    }
}

void TMMConnector::PumpCycle()
{
    TClassState& s = State();
    const TMMApplicationHooks& app = MMApplicationHooks();
    if (s.list.empty()) {
        s.pumpAlive = false;
        return;
    }
    // 1. Message processing (5001 - MaxSpeed) times: once at Speed 5000.
    const int32_t rounds = std::clamp(5001 - s.maxSpeed, 1, 5000);
    for (int32_t i = 0; i < rounds; ++i)
        app.ProcessMessages();
    // 2. One step for every running connector, in list order. The list may have
    //    changed while messages were handled.
    if (s.runningCount.load() > 0 && !app.Terminated()) {
        const std::vector<TMMConnector*> snapshot = s.list;
        for (TMMConnector* c : snapshot)
            if (Listed(c) && c->AutoTrigger() && c->Enabled() && c->FRunning.load())
                c->DistributionStep();
    }
    // 3. The pump ends when nothing runs.
    if (s.runningCount.load() <= 0 || app.Terminated() || s.list.empty() || !s.window) {
        s.pumpAlive = false;
        return;
    }
    // 4. The 1 ms wait runs as a precise timer, so the event loop keeps serving
    //    the window meanwhile; then the pump message is posted again.
    s.pumpAlive = true;
    s.window->PumpWait().start();
}

// ===========================================================================
// Properties

void TMMConnector::SetEnabled(bool Value)
{
    if (Value == FEnabled.load())
        return;
    FEnabled.store(Value);
    if (IsDesigning())
        return;
    if (!Value) {
        StopRunning();
        ResetAllViews();
    } else if (FActive.load() && RealTime()) {
        if (AutoTrigger() && EnterIdle())
            InstallIdleHandler();
        PostStart();
    }
}

void TMMConnector::SetAutoTrigger(bool Value)
{
    if (Value == FAutoTrigger.load())
        return;
    FAutoTrigger.store(Value);
    if (IsDesigning())
        return;
    if (!Value) {
        if (FRunning.load()) {
            if (FCounted) {
                FCounted = false;
                State().runningCount.fetch_sub(1);
            }
            FRunning.store(false);
        }
        RemoveIdleHandlerWhenIdle();
    } else if (FActive.load() && Enabled() && RealTime()) {
        if (EnterIdle())
            InstallIdleHandler();
        PostStart();
    }
}

void TMMConnector::SetSpeed(int32_t Value)
{
    FSpeed = std::clamp(Value, 1, 5000);
    if (!IsDesigning() && FListed)
        RecomputeMaxSpeed();
}

void TMMConnector::SetRealTime(bool Value)
{
    if (Value == FRealTime.load())
        return;
    if (IsOpened())
        throw EMMConnectorError("Change to property while device was open");
    FRealTime.store(Value);
}

bool TMMConnector::EnterIdle() const { return State().enterIdle.load(); }
void TMMConnector::SetEnterIdle(bool Value) { State().enterIdle.store(Value); }

bool TMMConnector::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnTrigger")
        return AssignEvent(OnTrigger, Handler);
    return TMMDSPComponent::SetEvent(Name, Handler);
}

void TMMConnector::SetDesigning(bool value)
{
    const bool was = IsDesigning();
    TMMDSPComponent::SetDesigning(value);
    if (value && !was && FListed)
        LeaveList(this);
    else if (!value && was && !FListed)
        JoinList(this);
}

// ===========================================================================
// View slots

uint32_t TMMConnector::AssignedGroups() const
{
    uint32_t bits = 0;
    for (int i = 0; i < SlotCount; ++i)
        if (FSlots[i].View)
            bits |= 1u << GroupOf(i);
    return bits;
}

void TMMConnector::SetSlot(TSlot Index, QObject* Value)
{
    if (Index < 0 || Index >= SlotCount)
        return;
    if (Value && Value == static_cast<QObject*>(this))
        return;
    TViewSlot slot;
    if (Value) {
        slot.Object = Value;
        slot.Component = dynamic_cast<TComponent*>(Value);
        slot.View = dynamic_cast<TMMView*>(Value);
        // Only components (whose removal is announced) implementing the view
        // operations; the oscilloscope and spectrogram slots need their kinds.
        if (!slot.Component || !slot.View)
            return;
        const TGroup g = GroupOf(Index);
        if (g == grOscope && !(slot.Oscope = dynamic_cast<TMMOscopeView*>(Value)))
            return;
        if (g == grSpectrogram && !(slot.Spectrogram = dynamic_cast<TMMSpectrogramView*>(Value)))
            return;
    }
    if (FSlots[Index].Object == Value)
        return;
    const TGroup group = GroupOf(Index);
    if (group != grSpectrum && Value && FSlots[PartnerOf(Index)].Object == Value)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(FDataSection);
        FSlots[Index] = slot;
        FAssignedGroups.store(AssignedGroups());
        FPending[group].store(false);
    }
    if (Value) {
        FreeNotification(slot.Component);
        FormatPropagation();
    }
}

void TMMConnector::Notification(TComponent* AComponent, TOperation Operation)
{
    TMMDSPComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || !AComponent)
        return;
    std::lock_guard<std::recursive_mutex> lock(FDataSection);
    for (int i = 0; i < SlotCount; ++i)
        if (FSlots[i].Component == AComponent) {
            FSlots[i] = TViewSlot();
            FPending[GroupOf(i)].store(false);
        }
    FAssignedGroups.store(AssignedGroups());
}

void TMMConnector::ResetAllViews()
{
    std::lock_guard<std::recursive_mutex> lock(FDataSection);
    for (const TViewSlot& s : FSlots)
        if (s.View)
            s.View->ResetDisplay();
}

// ===========================================================================
// Format, activation, deactivation

void TMMConnector::FormatPropagation()
{
    const TWaveFormatEx* own = GetPWaveFormat();
    if (!own)
        return;
    std::lock_guard<std::recursive_mutex> lock(FDataSection);
    const TWaveFormatEx* announce = nullptr;
    TWaveFormatEx target{};
    if (FActive.load()) {
        announce = FViewFormat.get();
    } else {
        FConverting = false;
        if (own->wFormatTag == WAVE_FORMAT_PCM) {
            FIsPCM = true;
            announce = own;
        } else {
            FIsPCM = false;
            if (FAutoConvert && FindConversionTarget(own, target)) {
                FConverting = true;
                announce = &target;
            }
        }
    }
    if ((!FIsPCM && !FConverting) || !announce)
        return;
    FSilence = announce->wBitsPerSample == 8 ? 128 : 0;
    for (const TViewSlot& s : FSlots)
        if (s.View)
            s.View->ApplyPCMFormat(announce);
}

void TMMConnector::SetPWaveFormat(const TWaveFormatEx* Format)
{
    TMMDSPComponent::SetPWaveFormat(Format);
    FormatPropagation();
}

void TMMConnector::ReleaseData()
{
    std::lock_guard<std::recursive_mutex> lock(FDataSection);
    FDataPtr = nullptr;
    FData.reset();
    FDataSize = 0;
    FDataBytes = 0;
}

void TMMConnector::Activation()
{
    const TWaveFormatEx* own = GetPWaveFormat();
    if (IsDesigning() || !Input() || !own || FActive.load())
        return;
    ReleaseData();
    {
        std::lock_guard<std::recursive_mutex> lock(FDataSection);
        FConverting = false;
        if (own->wFormatTag == WAVE_FORMAT_PCM) {
            FIsPCM = true;
            // The views' format is a private copy: it stays what the hand-over
            // buffer was sized for until the next activation.
            FViewFormat = CopyWaveFormatPtr(own);
            const int32_t size = std::max(BufferSize(), 0);
            try {
                FData.reset(new uint8_t[static_cast<size_t>(size)]());
            } catch (const std::bad_alloc&) {
                throw EOutOfMemory("Out of memory");
            }
            FDataSize = size;
            FDataPtr = FData.get();
        } else {
            FIsPCM = false;
            TWaveFormatEx target{};
            // Without a conversion target nothing is allocated and the
            // connector stays inactive.
            if (FAutoConvert && FindConversionTarget(own, target))
                FViewFormat = CopyWaveFormatPtr(&target);
            else
                FViewFormat.reset();
            FDataSize = 0;
        }
        for (int g = 0; g < GroupCount; ++g) {
            FPending[g].store(false);
            FHandOvers[g].store(0);
        }
        if ((!FIsPCM && !FConverting) || !FDataPtr)
            return;
    }
    if (FListed)
        RecomputeMaxSpeed();
    FActive.store(true);
    FormatPropagation();
    if (Enabled() && RealTime()) {
        if (AutoTrigger() && EnterIdle())
            InstallIdleHandler();
        PostStart();
    }
}

void TMMConnector::StopRunning()
{
    if (!FRunning.load())
        return;
    FRunning.store(false);
    if (FCounted) {
        FCounted = false;
        State().runningCount.fetch_sub(1);
    }
    RemoveIdleHandlerWhenIdle();
}

void TMMConnector::Deactivation()
{
    if (IsDesigning() || !Input() || !FActive.load())
        return;
    FActive.store(false);
    StopRunning();
    FPaused.store(false);
    StopPauseTimer();
    {
        std::lock_guard<std::recursive_mutex> lock(FDataSection);
        FConverting = false;
        FViewFormat.reset();
        ReleaseData();
    }
    if (FRefreshOnStop)
        ResetAllViews();
}

void TMMConnector::Started()
{
    TMMDSPComponent::Started();
    Activation();
}

void TMMConnector::Stopped()
{
    Deactivation();
    TMMDSPComponent::Stopped();
}

void TMMConnector::Paused()
{
    TMMDSPComponent::Paused();
    if (IsDesigning() || !Input() || !FActive.load() || FPaused.load())
        return;
    FPaused.store(true);
    FillSilence();
    if (RealTime())
        StartPauseTimer();
}

void TMMConnector::Restarted()
{
    TMMDSPComponent::Restarted();
    if (IsDesigning() || !Input() || !FPaused.load())
        return;
    FPaused.store(false);
    if (RealTime())
        StopPauseTimer();
}

void TMMConnector::Reset()
{
    TMMDSPComponent::Reset();
    if (IsDesigning() || !Input() || !FActive.load())
        return;
    FillSilence();
}

void TMMConnector::FillSilence()
{
    std::lock_guard<std::recursive_mutex> lock(FDataSection);
    if (FDataPtr && (FIsPCM || FConverting) && FDataSize > 0)
        std::memset(FDataPtr, FSilence, static_cast<size_t>(FDataSize));
}

// ===========================================================================
// Pause timer

void TMMConnector::StartPauseTimer()
{
    for (auto& p : FPending)
        p.store(false);
    if (FTimerID != 0) {
        TimeKillEvent(FTimerID);
        FTimerID = 0;
    }
    // The playing time of one buffer.
    const int32_t period = BytesToMs(GetPWaveFormat(), BufferSize());
    const uint32_t id = TimeSetEvent(static_cast<uint32_t>(std::max(period, 1)), [this] { PauseTimerRoutine(); });
    if (id == 0)
        throw EOutOfResources("Not enough timers available");
    FTimerID = id;
}

void TMMConnector::StopPauseTimer()
{
    for (auto& p : FPending)
        p.store(false);
    if (FTimerID != 0)
        TimeKillEvent(FTimerID);
    FTimerID = 0;
}

void TMMConnector::PauseTimerRoutine()
{
    // Multimedia-timer thread: the silence-filled buffer counts as newly arrived.
    if (!FPaused.load())
        return;
    FBufferTime.store(MicroTime());
    RearmGroups();
}

// ===========================================================================
// Buffers and distribution

void TMMConnector::RearmGroups()
{
    const uint32_t assigned = FAssignedGroups.load();
    for (int g = 0; g < GroupCount; ++g) {
        if (!(assigned & (1u << g)))
            continue;
        FReadPos[g].store(0);
        if (g == grSpectrogram)
            FReadPos[kSpectrogramSecond].store(0);
        FPending[g].store(true);
    }
}

void TMMConnector::TakeBuffer(PWaveHdr Buffer)
{
    if (!Buffer || !Input() || !Enabled() || FPaused.load() || !FActive.load())
        return;
    FBufferTime.store(MicroTime());
    {
        std::lock_guard<std::recursive_mutex> lock(FDataSection);
        // Deactivated meanwhile, or no PCM to cut: nothing to take.
        if (!FData || !FDataPtr || (!FIsPCM && !FConverting))
            return;
        int64_t n = std::min<int64_t>(Buffer->dwBytesRecorded, FDataSize);
        if (!Buffer->lpData)
            n = 0;
        if (n > 0)
            std::memmove(FData.get(), Buffer->lpData, static_cast<size_t>(n));
        FDataBytes = static_cast<int32_t>(n);
    }
    RearmGroups();
    if (!RealTime() && AutoTrigger())
        DistributionStep();
}

void TMMConnector::BufferReady(PWaveHdr Buffer)
{
    PWaveHdr take = Buffer;
    if (Buffer && Synchronize() && Buffer->lpLinkedHdr)
        take = Buffer->lpLinkedHdr;
    TakeBuffer(take);
    TMMDSPComponent::BufferReady(Buffer);
}

bool TMMConnector::BufferLoad(PWaveHdr Buffer, bool& MoreBuffers)
{
    const bool result = TMMDSPComponent::BufferLoad(Buffer, MoreBuffers);
    TakeBuffer(Buffer);
    return result;
}

bool TMMConnector::Due(int32_t ReadPos) const
{
    if (!Synchronize())
        return true;
    const uint32_t perSecond = FViewFormat ? FViewFormat->nAvgBytesPerSec : 0;
    if (perSecond == 0)
        return true;
    const int64_t product = 1000000LL * ReadPos;
    const int64_t target = Trunc(static_cast<long double>(product) / static_cast<long double>(perSecond));
    return MicroTime() - FBufferTime.load() >= target;
}

void TMMConnector::Trigger()
{
    if (!Enabled() || AutoTrigger() || FPendingRequests.load() != 0)
        return;
    if (!(FRunning.load() || (!RealTime() && FActive.load())))
        return;
    if (IsMainThread()) {
        DistributionStep();
    } else if (TConnectorWindow* w = State().window) {
        FPendingRequests.fetch_add(1);
        w->Post(MM_CONNECT_TRIGGER, 0, static_cast<intptr_t>(FSerial));
    }
}

void TMMConnector::HandleStart()
{
    if (!Input() || !FActive.load())
        return;
    FPendingRequests.store(0);
    FRunning.store(true);
    if (AutoTrigger()) {
        // Counted once, however often the start message comes.
        if (!FCounted) {
            FCounted = true;
            State().runningCount.fetch_add(1);
        }
        PostPump();
    }
}

void TMMConnector::HandleTrigger()
{
    if (!Input() || !Enabled() || !FRunning.load())
        return; // dropped without lowering the request count
    DistributionStep();
    FPendingRequests.fetch_sub(1);
}

void TMMConnector::DistributionStep()
{
    // FActive stands for "the hand-over buffer exists" outside the lock.
    if (!Enabled() || !(FRunning.load() || (!RealTime() && FActive.load())) || !FActive.load())
        return;
    if (OnTrigger)
        OnTrigger(this);
    std::lock_guard<std::recursive_mutex> lock(FDataSection);
    if (!FDataPtr)
        return;
    for (int g = 0; g < GroupCount; ++g) {
        if (!FPending[g].load())
            continue;
        switch (g) {
        case grOscope: ServeOscopeGroup(); break;
        case grSpectrogram: ServeSpectrogramGroup(); break;
        default: ServeSharedGroup(static_cast<TGroup>(g)); break;
        }
    }
}

void TMMConnector::ServeSharedGroup(TGroup Group)
{
    int first, last;
    switch (Group) {
    case grLevel: first = slLevel1, last = slLevel2; break;
    case grMeter: first = slMeter1, last = slMeter2; break;
    case grLight: first = slLight1, last = slLight2; break;
    default: first = slSpectrum1, last = slSpectrum4; break;
    }
    int32_t size = 0;
    for (int i = first; i <= last; ++i)
        if (FSlots[i].View)
            size = std::max(size, FSlots[i].View->BlockBytes());
    // A group whose views consume nothing would be handed the same block forever.
    if (size <= 0) {
        FPending[Group].store(false);
        return;
    }
    const int32_t start = FReadPos[Group].load();
    if (!Due(start))
        return;
    FReadPos[Group].store(start + size);
    if (static_cast<int64_t>(start) + size > FDataBytes) {
        FPending[Group].store(false);
        return;
    }
    for (int i = first; i <= last; ++i)
        if (FSlots[i].View)
            FSlots[i].View->ProcessBlock(FDataPtr + start);
    FHandOvers[Group].fetch_add(1);
}

void TMMConnector::ServeOscopeGroup()
{
    TMMOscopeView* o1 = FSlots[slOscope1].Oscope;
    TMMOscopeView* o2 = FSlots[slOscope2].Oscope;
    TMMOscopeView* ref = o1 ? o1 : o2;
    int32_t size = 0;
    if (o2)
        size = std::max(size, o2->BlockBytes());
    if (o1)
        size = std::max(size, o1->BlockBytes());
    if (!ref || size <= 0) {
        FPending[grOscope].store(false);
        return;
    }
    int32_t start = FReadPos[grOscope].load();
    int32_t readPos = start;
    // The due test sees the read position before any change. The trigger
    // search has no side effects, so it runs only for a due block.
    if (!Due(start))
        return;
    int32_t t = -1;
    const TMMTriggerMode mode = TriggerMode();
    if (mode != tmNone && !FPaused.load() && start >= 0 && start < FDataBytes)
        t = TriggerSearch(FViewFormat.get(), FDataPtr + start, FDataBytes - start, chBoth, mode, TriggerLevel());
    if (t > 0) {
        start += t;
        readPos += t;
    }
    int32_t step = size;
    if (ref->Scroll() && ref->Accelerate())
        step = (ref->FFTLength() / 4) * (static_cast<int32_t>(ref->BitLength()) + 1) *
               (static_cast<int32_t>(ref->Mode()) + 1);
    // A scope too short for a quarter step advances by whole blocks instead of
    // being handed the same block forever.
    if (step <= 0)
        step = size;
    FReadPos[grOscope].store(readPos + step);
    if (static_cast<int64_t>(start) + size > FDataBytes) {
        FPending[grOscope].store(false);
        return;
    }
    if (o1)
        o1->ProcessBlock(FDataPtr + start);
    if (o2)
        o2->ProcessBlock(FDataPtr + start);
    FHandOvers[grOscope].fetch_add(1);
}

void TMMConnector::ServeSpectrogramGroup()
{
    struct TEntry {
        TMMSpectrogramView* View;
        int32_t Bytes = 0;
        bool Due = false;
        int32_t Start = 0;
    };
    TEntry e[2] = {{FSlots[slSpectrogram1].Spectrogram}, {FSlots[slSpectrogram2].Spectrogram}};
    const int posIndex[2] = {grSpectrogram, kSpectrogramSecond};
    bool anyDue = false;
    for (int i = 0; i < 2; ++i) {
        if (!e[i].View)
            continue;
        e[i].Bytes = e[i].View->BlockBytes();
        if (e[i].Bytes <= 0) { // consumes nothing: as if the slot were empty
            e[i].View = nullptr;
            continue;
        }
        const int32_t pos = FReadPos[posIndex[i]].load();
        e[i].Due = Due(pos);
        if (e[i].Due) {
            e[i].Start = pos;
            int32_t advance = e[i].View->Accelerate() ? e[i].Bytes / 4 : e[i].Bytes;
            if (advance <= 0)
                advance = e[i].Bytes;
            FReadPos[posIndex[i]].store(pos + advance);
            anyDue = true;
        }
    }
    if (!anyDue) {
        if (!e[0].View && !e[1].View)
            FPending[grSpectrogram].store(false);
        return;
    }
    bool hasData = false;
    for (const TEntry& x : e) {
        if (!x.View)
            continue;
        if (x.Due ? static_cast<int64_t>(x.Start) + x.Bytes <= FDataBytes : x.Bytes <= FDataBytes)
            hasData = true;
    }
    if (!hasData) {
        FPending[grSpectrogram].store(false);
        return;
    }
    for (const TEntry& x : e)
        if (x.View && x.Due && static_cast<int64_t>(x.Start) + x.Bytes <= FDataBytes)
            x.View->ProcessBlock(FDataPtr + x.Start);
    FHandOvers[grSpectrogram].fetch_add(1);
}

} // namespace qv
