#pragma once
// The signal-chain protocol. Every sound-processing stage is a TMMDSPComponent
// linked to the stage before it (Input) and after it (Output); the protocol
// makes and breaks those two-way links without cycles, carries the wave format
// down the chain, passes the lifecycle notifications and every filled buffer to
// each stage, and derives each stage's working buffer size.
//
// The links are published by the concrete classes (a stage that accepts an
// input declares Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput),
// one that accepts an output the same for Output); a link is only made to a
// partner that publishes the matching back-link property.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/pcm_format.h"
#include "chain/mm_component.h"

namespace qv {

// (Sender, lpWaveHdr): fired for each buffer passing a stage.
using TMMBufferEvent = std::function<void(TComponent* Sender, PWaveHdr lpWaveHdr)>;
// (Sender): a plain notification.
using TMMNotifyEvent = std::function<void(TComponent* Sender)>;

// The lifecycle notifications that travel down a chain.
enum class TMMNotification { Opened, Closed, Started, Paused, Restarted, Stopped, Reset };

class TMMCustomDSPComponent : public TMMNonVisualComponent {
    Q_OBJECT
public:
    explicit TMMCustomDSPComponent(TComponent* AOwner = nullptr) : TMMNonVisualComponent(AOwner) {}
};

class TMMDSPComponent : public TMMCustomDSPComponent {
    Q_OBJECT
public:
    explicit TMMDSPComponent(TComponent* AOwner = nullptr);
    // Unlinks both sides, drops the format and leaves the class-wide list.
    ~TMMDSPComponent() override;

    // --- links ------------------------------------------------------------
    TMMDSPComponent* Input() const { return FInput; }
    // Refused silently when V would close a cycle or does not publish "Output".
    // Sends this stage Stopped first; the stage then takes V's format.
    virtual void SetInput(TMMDSPComponent* V);
    TMMDSPComponent* Output() const { return FOutput; }
    // Mirror of SetInput: V must publish "Input" and not lie before this stage.
    virtual void SetOutput(TMMDSPComponent* V);

    // Breaks a stale back link after Component was linked elsewhere.
    virtual void LinkNotify(TMMDSPComponent* Component, bool InputSide, const std::string& PropName);
    // Raw stores of a link and the partner's back-link property name (cut to 20 characters).
    virtual void AssignInput(TMMDSPComponent* Component, const std::string& PropName);
    virtual void AssignOutput(TMMDSPComponent* Component, const std::string& PropName);
    // Component may be neither this stage nor any stage after it (before it for
    // CanSetOutput), and must publish the matching back-link property.
    virtual bool CanSetInput(TComponent* Component) const;
    virtual bool CanSetOutput(TComponent* Component) const;
    const std::string& InputProp() const { return FInputProp; }
    const std::string& OutputProp() const { return FOutputProp; }

    // --- format -----------------------------------------------------------
    // Takes the input's format, or without an input pushes its own to the output.
    virtual void SyncFormat();
    // Called when the stage before this one changes its format.
    virtual void ChangePWaveFormat(const TWaveFormatEx* Format);
    // Stores a private copy and passes it on (not while loading, reading or
    // destroying). A stage may refuse a format by raising from here.
    virtual void SetPWaveFormat(const TWaveFormatEx* Format);
    virtual const TWaveFormatEx* GetPWaveFormat() const { return FPWaveFormat.get(); }

    // --- buffer size --------------------------------------------------------
    // The working size while opened, else the size as requested.
    virtual int32_t BufferSize() const;
    // Sends Stopped first when started; the working size changes at the next Opened.
    virtual void SetBufferSize(int32_t Value);
    int32_t RequestedBufferSize() const { return FBufferSize; }
    int32_t RealBufferSize() const { return FRealBufferSize; }

    // --- lifecycle notifications -------------------------------------------
    virtual void Opened();
    virtual void Closed();
    virtual void Started();
    virtual void Paused();
    virtual void Restarted();
    virtual void Stopped();
    virtual void Reset();
    // Calls the notification's virtual operation.
    void Notify(TMMNotification Notification);
    bool IsOpened() const { return FOpened; }
    bool IsStarted() const { return FStarted; }

    // --- buffers -------------------------------------------------------------
    // Fires OnBufferReady, then passes the buffer to the output. Runs in the
    // thread the driving stage delivers in.
    virtual void BufferReady(PWaveHdr Buffer);
    // The pull direction: asks the input to fill Buffer and returns its result.
    virtual bool BufferLoad(PWaveHdr Buffer, bool& MoreBuffers);

    TMMBufferEvent OnBufferReady;

    // The framework's removal notice: a removed partner is unlinked.
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // After the stored description has been read, the stage passes its own
    // format on once.
    void Loaded() override;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;

    // Every stage of the process, in creation order.
    static const std::vector<TMMDSPComponent*>& Instances();

protected:
    // Throws away the stored format without passing anything on (for stages
    // that must drop a record they cannot use).
    void ClearPWaveFormat() { FPWaveFormat.reset(); }

private:
    void BroadcastLinkNotify(TMMDSPComponent* Component, bool InputSide, const char* PropName);

    TMMDSPComponent* FInput = nullptr;
    TMMDSPComponent* FOutput = nullptr;
    std::string FInputProp;
    std::string FOutputProp;
    TWaveFormatPtr FPWaveFormat;
    int32_t FBufferSize = 2048;
    int32_t FRealBufferSize = 2048;
    bool FOpened = false;
    bool FStarted = false;
};

// The base of the stages that drive a chain (the capture device): each
// notification it receives is first given to the passive stages of its segment,
// in chain order, then handled by the stage itself.
class TMMCustomSoundComponent : public TMMDSPComponent {
    Q_OBJECT
public:
    explicit TMMCustomSoundComponent(TComponent* AOwner = nullptr) : TMMDSPComponent(AOwner) {}

    void Opened() override { NotifyChain(TMMNotification::Opened); }
    void Closed() override { NotifyChain(TMMNotification::Closed); }
    void Started() override { NotifyChain(TMMNotification::Started); }
    void Paused() override { NotifyChain(TMMNotification::Paused); }
    void Restarted() override { NotifyChain(TMMNotification::Restarted); }
    void Stopped() override { NotifyChain(TMMNotification::Stopped); }
    void Reset() override { NotifyChain(TMMNotification::Reset); }

protected:
    // The whole fan-out: the segment's passive stages (for Opened each first
    // gets this stage's BufferSize), the next driving stage, then this stage's
    // own base handling (TMMDSPComponent's) last.
    void NotifyChain(TMMNotification Notification);
    // This stage's own base handling alone.
    void NotifyBase(TMMNotification Notification);
};

} // namespace qv
