#pragma once
// The connector: the chain stage that feeds the views. It keeps a copy of the
// newest buffer, cuts it into blocks of the size each view consumes and hands
// them to up to fourteen views held in slots. In real-time mode a pump in the
// main thread spreads the blocks of a buffer over its playing time; the
// oscilloscope's blocks start at the trigger crossing; while the capture is
// paused a timer keeps the views running on silence.
#include <QObject>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "chain/dsp_component.h"
#include "chain/view_ops.h"
#include "framework/exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EMMConnectorError, Exception);
// Raised when no periodic timer can be had for the pause timer.
QV_DECLARE_EXCEPTION(EOutOfResources, Exception);

// Private messages of the connectors' hidden window; LParam names the connector.
constexpr uint32_t MM_CONNECT_START = 45557;   // 0xB1F5
constexpr uint32_t MM_CONNECT_TRIGGER = 45558; // 0xB1F6
constexpr uint32_t MM_CONNECT_PUMP = 45559;    // 0xB1F7

// Byte offset of the frame that holds the first crossing of the threshold that
// Level (percent of full scale) gives, or -1. Crossings are looked for between
// each frame and the next; the last pair of frames is never compared.
int32_t TriggerSearch(const TWaveFormatEx* Format, const void* Data, int32_t Count, TMMChannel Channel,
                      TMMTriggerMode Mode, int32_t Level);
// The sample value a flank must cross: Trunc(L * 127 / 100) + 128 for 8-bit data,
// L * 327 for 16-bit data, with L = -Level for tmDownFlank.
int64_t TriggerThreshold(uint16_t BitsPerSample, TMMTriggerMode Mode, int32_t Level);

class TMMConnector : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool AutoConvert READ AutoConvert WRITE SetAutoConvert)
    Q_PROPERTY(bool AutoTrigger READ AutoTrigger WRITE SetAutoTrigger)
    Q_PROPERTY(bool Synchronize READ Synchronize WRITE SetSynchronize)
    Q_PROPERTY(int Speed READ Speed WRITE SetSpeed)
    Q_PROPERTY(qv::TMMTriggerMode TriggerMode READ TriggerMode WRITE SetTriggerMode)
    Q_PROPERTY(int TriggerLevel READ TriggerLevel WRITE SetTriggerLevel)
    Q_PROPERTY(bool RefreshOnStop READ RefreshOnStop WRITE SetRefreshOnStop)
    Q_PROPERTY(bool RealTime READ RealTime WRITE SetRealTime)
    Q_PROPERTY(bool EnterIdle READ EnterIdle WRITE SetEnterIdle)
    Q_PROPERTY(QObject* Level1 READ Level1 WRITE SetLevel1)
    Q_PROPERTY(QObject* Level2 READ Level2 WRITE SetLevel2)
    Q_PROPERTY(QObject* Meter1 READ Meter1 WRITE SetMeter1)
    Q_PROPERTY(QObject* Meter2 READ Meter2 WRITE SetMeter2)
    Q_PROPERTY(QObject* Oscope1 READ Oscope1 WRITE SetOscope1)
    Q_PROPERTY(QObject* Oscope2 READ Oscope2 WRITE SetOscope2)
    Q_PROPERTY(QObject* Light1 READ Light1 WRITE SetLight1)
    Q_PROPERTY(QObject* Light2 READ Light2 WRITE SetLight2)
    Q_PROPERTY(QObject* Spectrum1 READ Spectrum1 WRITE SetSpectrum1)
    Q_PROPERTY(QObject* Spectrum2 READ Spectrum2 WRITE SetSpectrum2)
    Q_PROPERTY(QObject* Spectrum3 READ Spectrum3 WRITE SetSpectrum3)
    Q_PROPERTY(QObject* Spectrum4 READ Spectrum4 WRITE SetSpectrum4)
    Q_PROPERTY(QObject* Spectrogram1 READ Spectrogram1 WRITE SetSpectrogram1)
    Q_PROPERTY(QObject* Spectrogram2 READ Spectrogram2 WRITE SetSpectrogram2)
public:
    // View slots in the order the groups and slots are served.
    enum TSlot : int {
        slLevel1, slLevel2, slMeter1, slMeter2, slOscope1, slOscope2, slLight1, slLight2,
        slSpectrum1, slSpectrum2, slSpectrum3, slSpectrum4, slSpectrogram1, slSpectrogram2,
        SlotCount
    };
    enum TGroup : int { grLevel, grMeter, grOscope, grLight, grSpectrum, grSpectrogram, GroupCount };

    explicit TMMConnector(TComponent* AOwner = nullptr);
    ~TMMConnector() override;

    // --- published properties ------------------------------------------------
    bool Enabled() const { return FEnabled.load(); }
    void SetEnabled(bool Value);
    bool AutoConvert() const { return FAutoConvert; }
    void SetAutoConvert(bool Value) { FAutoConvert = Value; }
    bool AutoTrigger() const { return FAutoTrigger.load(); }
    void SetAutoTrigger(bool Value);
    bool Synchronize() const { return FSynchronize.load(); }
    void SetSynchronize(bool Value) { FSynchronize.store(Value); }
    // Pump speed 1..5000: the pump handles the application's messages
    // (5001 - the largest Speed) times per cycle.
    int32_t Speed() const { return FSpeed; }
    void SetSpeed(int32_t Value);
    TMMTriggerMode TriggerMode() const { return FTriggerMode.load(); }
    void SetTriggerMode(TMMTriggerMode Value) { FTriggerMode.store(Value); }
    int32_t TriggerLevel() const { return FTriggerLevel.load(); }
    void SetTriggerLevel(int32_t Value) { FTriggerLevel.store(Value); }
    bool RefreshOnStop() const { return FRefreshOnStop; }
    void SetRefreshOnStop(bool Value) { FRefreshOnStop = Value; }
    bool RealTime() const { return FRealTime.load(); }
    // Refused with "Change to property while device was open" while opened.
    void SetRealTime(bool Value);
    // One value shared by all connectors.
    bool EnterIdle() const;
    void SetEnterIdle(bool Value);

    TMMNotifyEvent OnTrigger;

    // --- view slots -----------------------------------------------------------
    // A slot takes a view component (a TComponent implementing the slot's view
    // operations); anything else is refused without a message.
    QObject* Slot(TSlot Index) const { return FSlots[Index].Object; }
    void SetSlot(TSlot Index, QObject* Value);
    QObject* Level1() const { return Slot(slLevel1); }
    void SetLevel1(QObject* v) { SetSlot(slLevel1, v); }
    QObject* Level2() const { return Slot(slLevel2); }
    void SetLevel2(QObject* v) { SetSlot(slLevel2, v); }
    QObject* Meter1() const { return Slot(slMeter1); }
    void SetMeter1(QObject* v) { SetSlot(slMeter1, v); }
    QObject* Meter2() const { return Slot(slMeter2); }
    void SetMeter2(QObject* v) { SetSlot(slMeter2, v); }
    QObject* Oscope1() const { return Slot(slOscope1); }
    void SetOscope1(QObject* v) { SetSlot(slOscope1, v); }
    QObject* Oscope2() const { return Slot(slOscope2); }
    void SetOscope2(QObject* v) { SetSlot(slOscope2, v); }
    QObject* Light1() const { return Slot(slLight1); }
    void SetLight1(QObject* v) { SetSlot(slLight1, v); }
    QObject* Light2() const { return Slot(slLight2); }
    void SetLight2(QObject* v) { SetSlot(slLight2, v); }
    QObject* Spectrum1() const { return Slot(slSpectrum1); }
    void SetSpectrum1(QObject* v) { SetSlot(slSpectrum1, v); }
    QObject* Spectrum2() const { return Slot(slSpectrum2); }
    void SetSpectrum2(QObject* v) { SetSlot(slSpectrum2, v); }
    QObject* Spectrum3() const { return Slot(slSpectrum3); }
    void SetSpectrum3(QObject* v) { SetSlot(slSpectrum3, v); }
    QObject* Spectrum4() const { return Slot(slSpectrum4); }
    void SetSpectrum4(QObject* v) { SetSlot(slSpectrum4, v); }
    QObject* Spectrogram1() const { return Slot(slSpectrogram1); }
    void SetSpectrogram1(QObject* v) { SetSlot(slSpectrogram1, v); }
    QObject* Spectrogram2() const { return Slot(slSpectrogram2); }
    void SetSpectrogram2(QObject* v) { SetSlot(slSpectrogram2, v); }

    // --- operations -------------------------------------------------------------
    // One distribution step on demand (only with AutoTrigger False). From a
    // thread other than the main thread the step is posted to the main thread.
    void Trigger();

    // Chain notifications.
    void SetPWaveFormat(const TWaveFormatEx* Format) override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reset() override;
    void BufferReady(PWaveHdr Buffer) override;
    bool BufferLoad(PWaveHdr Buffer, bool& MoreBuffers) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void SetDesigning(bool value) override;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;

    // --- state, for the program and for tests -------------------------------------
    bool Active() const { return FActive.load(); }
    bool Running() const { return FRunning.load(); }
    bool IsPaused() const { return FPaused.load(); }
    bool IsPCM() const { return FIsPCM; }
    bool Converting() const { return FConverting; }
    // The format the views receive while active.
    const TWaveFormatEx* ViewFormat() const { return FViewFormat.get(); }
    // The bytes that are cut into blocks, their capacity and valid count.
    const uint8_t* DataPtr() const { return FDataPtr; }
    int32_t DataSize() const { return FDataSize; }
    int32_t DataBytes() const { return FDataBytes; }
    uint8_t Silence() const { return FSilence; }
    // Microsecond time stamp of the current buffer (arrival or pause-timer tick).
    int64_t BufferTime() const { return FBufferTime.load(); }
    bool Pending(TGroup Group) const { return FPending[Group].load(); }
    int32_t HandOvers(TGroup Group) const { return FHandOvers[Group].load(); }
    int32_t PendingRequests() const { return FPendingRequests.load(); }
    bool PauseTimerRunning() const { return FTimerID != 0; }

    // Class-wide state.
    static int32_t RunningCount();
    static int32_t MaxSpeed();
    static int32_t ConnectorCount();
    static bool IdleHandlerInstalled();
    // Queued private messages (all connectors), for tests and diagnostics.
    static int PendingMessages(uint32_t Msg);

    // Runs one step of the class-wide pump now (what MM_CONNECT_PUMP does).
    static void PumpCycle();

private:
    struct TViewSlot {
        QObject* Object = nullptr;
        TComponent* Component = nullptr;
        TMMView* View = nullptr;
        TMMOscopeView* Oscope = nullptr;
        TMMSpectrogramView* Spectrogram = nullptr;
    };

    static void WindowProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);
    static void JoinList(TMMConnector* C);
    static void LeaveList(TMMConnector* C);
    static void RecomputeMaxSpeed();
    static void InstallIdleHandler();
    static void RemoveIdleHandlerWhenIdle();
    static void PostPump();

    void FormatPropagation();
    void Activation();
    void Deactivation();
    void TakeBuffer(PWaveHdr Buffer);
    void RearmGroups();
    void DistributionStep();
    bool Due(int32_t ReadPos) const;
    void ServeSharedGroup(TGroup Group);
    void ServeOscopeGroup();
    void ServeSpectrogramGroup();
    void FillSilence();
    void StartPauseTimer();
    void StopPauseTimer();
    void PauseTimerRoutine();
    void StopRunning();
    void PostStart();
    void HandleStart();
    void HandleTrigger();
    void ResetAllViews();
    void ReleaseData();
    uint32_t AssignedGroups() const;

    // Published state.
    std::atomic<bool> FEnabled{true};
    bool FAutoConvert = true;
    std::atomic<bool> FAutoTrigger{true};
    std::atomic<bool> FSynchronize{true};
    int32_t FSpeed = 5000;
    std::atomic<TMMTriggerMode> FTriggerMode{tmNone};
    std::atomic<int32_t> FTriggerLevel{0};
    bool FRefreshOnStop = true;
    std::atomic<bool> FRealTime{true};

    std::array<TViewSlot, SlotCount> FSlots{};
    // Bit per group that has at least one assigned slot (read by the delivering
    // and timer threads).
    std::atomic<uint32_t> FAssignedGroups{0};

    // Guards the hand-over buffer and every distribution step.
    mutable std::recursive_mutex FDataSection;
    uint32_t FTimerID = 0;
    std::atomic<bool> FActive{false};
    std::atomic<bool> FRunning{false};
    bool FCounted = false; // counted in RunningCount
    std::atomic<bool> FPaused{false};
    bool FIsPCM = false;
    bool FConverting = false;
    TWaveFormatPtr FViewFormat;
    std::unique_ptr<uint8_t[]> FData;
    uint8_t* FDataPtr = nullptr;
    int32_t FDataSize = 0;
    int32_t FDataBytes = 0;
    uint8_t FSilence = 0;
    std::atomic<int64_t> FBufferTime{0};
    std::array<std::atomic<bool>, GroupCount> FPending{};
    // One read position per group; the spectrogram group has one per slot
    // (the second one at index GroupCount).
    std::array<std::atomic<int32_t>, GroupCount + 1> FReadPos{};
    std::array<std::atomic<int32_t>, GroupCount> FHandOvers{};
    std::atomic<int32_t> FPendingRequests{0};
    uint64_t FSerial;  // names the connector in posted messages
    bool FListed = false;
};

} // namespace qv
