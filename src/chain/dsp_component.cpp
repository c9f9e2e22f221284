#include "chain/dsp_component.h"

#include <algorithm>

#include "framework/exception_handler.h"

namespace qv {

namespace {
std::vector<TMMDSPComponent*>& InstanceList()
{
    static std::vector<TMMDSPComponent*> list;
    return list;
}

constexpr size_t MaxPropNameLength = 20;
} // namespace

const std::vector<TMMDSPComponent*>& TMMDSPComponent::Instances() { return InstanceList(); }

TMMDSPComponent::TMMDSPComponent(TComponent* AOwner) : TMMCustomDSPComponent(AOwner)
{
    InstanceList().push_back(this);
}

TMMDSPComponent::~TMMDSPComponent()
{
    // The partners are told while this stage can still answer for its links;
    // nothing here may escape a destructor.
    Destroying();
    GuardedCall([this] {
        SetInput(nullptr);
        SetOutput(nullptr);
        SetPWaveFormat(nullptr);
    });
    // Should a partner have refused to let go, never leave it a dangling pointer.
    for (TMMDSPComponent* c : InstanceList()) {
        if (c->FInput == this)
            c->AssignInput(nullptr, std::string());
        if (c->FOutput == this)
            c->AssignOutput(nullptr, std::string());
    }
    auto& list = InstanceList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

// ---------------------------------------------------------------------------
// Links

void TMMDSPComponent::AssignInput(TMMDSPComponent* Component, const std::string& PropName)
{
    FInput = Component;
    FInputProp = PropName.substr(0, MaxPropNameLength);
}

void TMMDSPComponent::AssignOutput(TMMDSPComponent* Component, const std::string& PropName)
{
    FOutput = Component;
    FOutputProp = PropName.substr(0, MaxPropNameLength);
}

bool TMMDSPComponent::CanSetInput(TComponent* Component) const
{
    if (!Component || Component == this)
        return false;
    auto* stage = dynamic_cast<TMMDSPComponent*>(Component);
    if (!stage || !stage->HasPublishedProperty("Output"))
        return false;
    // Component may not be this stage or any stage after it.
    size_t guard = InstanceList().size() + 1;
    for (const TMMDSPComponent* s = FOutput; s && guard > 0; s = s->FOutput, --guard)
        if (s == stage)
            return false;
    return true;
}

bool TMMDSPComponent::CanSetOutput(TComponent* Component) const
{
    if (!Component || Component == this)
        return false;
    auto* stage = dynamic_cast<TMMDSPComponent*>(Component);
    if (!stage || !stage->HasPublishedProperty("Input"))
        return false;
    size_t guard = InstanceList().size() + 1;
    for (const TMMDSPComponent* s = FInput; s && guard > 0; s = s->FInput, --guard)
        if (s == stage)
            return false;
    return true;
}

void TMMDSPComponent::BroadcastLinkNotify(TMMDSPComponent* Component, bool InputSide, const char* PropName)
{
    const std::string name(PropName);
    // Copied: a receiver may create or destroy stages in principle.
    const std::vector<TMMDSPComponent*> list = InstanceList();
    for (TMMDSPComponent* c : list)
        c->LinkNotify(Component, InputSide, name);
}

void TMMDSPComponent::LinkNotify(TMMDSPComponent* Component, bool InputSide, const std::string& PropName)
{
    // The partner's published "Input"/"Output" property reads its link field, so
    // "the property refers back to this stage" is tested on the field; that also
    // holds while the partner is being destroyed and its meta-object is gone.
    if (!Component)
        return;
    if (InputSide) {
        if (FInput == Component && FInputProp == PropName && PropName == "Output" &&
            Component->FOutput == this)
            AssignInput(nullptr, std::string());
    } else {
        if (FOutput == Component && FOutputProp == PropName && PropName == "Input" &&
            Component->FInput == this)
            AssignOutput(nullptr, std::string());
    }
}

void TMMDSPComponent::SetInput(TMMDSPComponent* V)
{
    if (V == FInput)
        return;
    if (V && !CanSetInput(V))
        return;
    Stopped();
    if (FInput) {
        BroadcastLinkNotify(this, false, "Input");
        AssignInput(nullptr, std::string());
        ChangePWaveFormat(nullptr);
    }
    if (V) {
        BroadcastLinkNotify(V, true, "Output");
        AssignInput(V, "Output");
        V->AssignOutput(this, "Input");
        FreeNotification(V);
        SyncFormat();
    }
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* V)
{
    if (V == FOutput)
        return;
    if (V && !CanSetOutput(V))
        return;
    Stopped();
    if (FOutput) {
        BroadcastLinkNotify(this, true, "Output");
        TMMDSPComponent* old = FOutput;
        old->ChangePWaveFormat(nullptr);
        AssignOutput(nullptr, std::string());
    }
    if (V) {
        BroadcastLinkNotify(V, false, "Input");
        AssignOutput(V, "Input");
        V->AssignInput(this, "Output");
        FreeNotification(V);
        SyncFormat();
    }
}

void TMMDSPComponent::Notification(TComponent* AComponent, TOperation Operation)
{
    TMMCustomDSPComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || !AComponent)
        return;
    if (FInput && static_cast<TComponent*>(FInput) == AComponent)
        SetInput(nullptr);
    if (FOutput && static_cast<TComponent*>(FOutput) == AComponent)
        SetOutput(nullptr);
}

// ---------------------------------------------------------------------------
// Format

void TMMDSPComponent::SyncFormat()
{
    if (IsLoadingOrDestroying())
        return;
    if (FInput)
        ChangePWaveFormat(FInput->GetPWaveFormat());
    else if (FOutput)
        FOutput->ChangePWaveFormat(FPWaveFormat.get());
}

void TMMDSPComponent::ChangePWaveFormat(const TWaveFormatEx* Format) { SetPWaveFormat(Format); }

void TMMDSPComponent::SetPWaveFormat(const TWaveFormatEx* Format)
{
    if (Format != FPWaveFormat.get()) {
        if (FStarted)
            Stopped();
        TWaveFormatPtr copy = CopyWaveFormatPtr(Format); // may raise before the old one goes
        FPWaveFormat = std::move(copy);
    }
    if (!IsLoadingOrDestroying() && FOutput)
        FOutput->ChangePWaveFormat(FPWaveFormat.get());
}

void TMMDSPComponent::Loaded()
{
    TMMCustomDSPComponent::Loaded();
    SetPWaveFormat(FPWaveFormat.get());
}

// ---------------------------------------------------------------------------
// Buffer size and lifecycle

int32_t TMMDSPComponent::BufferSize() const { return FOpened ? FRealBufferSize : FBufferSize; }

void TMMDSPComponent::SetBufferSize(int32_t Value)
{
    if (Value == FBufferSize)
        return;
    if (FStarted)
        Stopped();
    FBufferSize = Value;
}

void TMMDSPComponent::Opened()
{
    if (FOpened)
        return;
    const TWaveFormatEx* f = FPWaveFormat.get();
    if (f && f->nBlockAlign > 0) {
        const int32_t align = f->nBlockAlign;
        FRealBufferSize = std::max(FBufferSize - FBufferSize % align, align);
    } else {
        FRealBufferSize = FBufferSize;
    }
    FOpened = true;
}

void TMMDSPComponent::Closed() { FOpened = false; }

void TMMDSPComponent::Started()
{
    if (FOpened && !FStarted)
        FStarted = true;
}

void TMMDSPComponent::Paused() {}
void TMMDSPComponent::Restarted() {}
void TMMDSPComponent::Stopped() { FStarted = false; }
void TMMDSPComponent::Reset() {}

void TMMDSPComponent::Notify(TMMNotification Notification)
{
    switch (Notification) {
    case TMMNotification::Opened: Opened(); break;
    case TMMNotification::Closed: Closed(); break;
    case TMMNotification::Started: Started(); break;
    case TMMNotification::Paused: Paused(); break;
    case TMMNotification::Restarted: Restarted(); break;
    case TMMNotification::Stopped: Stopped(); break;
    case TMMNotification::Reset: Reset(); break;
    }
}

// ---------------------------------------------------------------------------
// Buffers

void TMMDSPComponent::BufferReady(PWaveHdr Buffer)
{
    if (OnBufferReady)
        OnBufferReady(this, Buffer);
    if (TMMDSPComponent* out = FOutput)
        out->BufferReady(Buffer);
}

bool TMMDSPComponent::BufferLoad(PWaveHdr Buffer, bool& MoreBuffers)
{
    if (TMMDSPComponent* in = FInput)
        return in->BufferLoad(Buffer, MoreBuffers);
    MoreBuffers = false;
    return false;
}

bool TMMDSPComponent::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnBufferReady")
        return AssignEvent(OnBufferReady, Handler);
    return TMMCustomDSPComponent::SetEvent(Name, Handler);
}

// ---------------------------------------------------------------------------
// Fan-out of a driving stage

void TMMCustomSoundComponent::NotifyBase(TMMNotification Notification)
{
    switch (Notification) {
    case TMMNotification::Opened: TMMDSPComponent::Opened(); break;
    case TMMNotification::Closed: TMMDSPComponent::Closed(); break;
    case TMMNotification::Started: TMMDSPComponent::Started(); break;
    case TMMNotification::Paused: TMMDSPComponent::Paused(); break;
    case TMMNotification::Restarted: TMMDSPComponent::Restarted(); break;
    case TMMNotification::Stopped: TMMDSPComponent::Stopped(); break;
    case TMMNotification::Reset: TMMDSPComponent::Reset(); break;
    }
}

void TMMCustomSoundComponent::NotifyChain(TMMNotification Notification)
{
    // Links cannot form a cycle, but a walk never runs longer than there are stages.
    const size_t limit = Instances().size() + 1;
    const bool closing = Notification == TMMNotification::Closed || Notification == TMMNotification::Stopped;

    // 1. The segment starts at the first stage before this one, unless another
    //    driving stage lies before it.
    TMMDSPComponent* first = this;
    {
        TMMDSPComponent* s = this;
        size_t n = 0;
        while (s->Input() && n++ < limit) {
            s = s->Input();
            if (dynamic_cast<TMMCustomSoundComponent*>(s)) {
                s = this;
                break;
            }
        }
        first = s;
    }

    // 2. Closing and stopping reach the next driving stage first.
    if (closing) {
        size_t n = 0;
        for (TMMDSPComponent* s = Output(); s && n++ < limit; s = s->Output())
            if (dynamic_cast<TMMCustomSoundComponent*>(s)) {
                s->Notify(Notification);
                break;
            }
    }

    // 3. Every passive stage of the segment, in chain order; the walk ends at the
    //    next driving stage, which serves its own segment.
    const int32_t size = BufferSize();
    size_t n = 0;
    for (TMMDSPComponent* s = first; s && n++ < limit;) {
        TMMDSPComponent* next = s->Output();
        if (s != this) {
            if (dynamic_cast<TMMCustomSoundComponent*>(s)) {
                if (!closing) {
                    if (Notification == TMMNotification::Opened)
                        s->SetBufferSize(size);
                    s->Notify(Notification);
                }
                break;
            }
            if (Notification == TMMNotification::Opened)
                s->SetBufferSize(size);
            s->Notify(Notification);
        }
        s = next;
    }

    // 4. This stage's own handling comes last.
    NotifyBase(Notification);
}

} // namespace qv
