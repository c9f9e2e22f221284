#pragma once
// Test doubles for the chain: a passive stage that logs what it is told, a sink
// that only accepts an input, and a driving stage that delivers the bytes it is
// given, as the capture device does.
#include <QObject>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "capture/pcm_format.h"
#include "chain/dsp_component.h"
#include "framework/exceptions.h"

namespace qv::test {

using TLog = std::vector<std::string>;

inline void Append(TLog* log, const TComponent& who, const std::string& what)
{
    if (log)
        log->push_back(who.Name() + ":" + what);
}

// The message of the E that f raises, or "no error".
template <typename E, typename F> std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "no error";
}

inline TWaveFormatEx PcmFormat(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

// Publishes Input and Output, like the gain stage; logs each notification
// before its base handling.
class TestStage : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
public:
    explicit TestStage(const std::string& name, TLog* log_ = nullptr, TComponent* owner = nullptr)
        : TMMDSPComponent(owner), log(log_)
    {
        SetName(name);
    }
    void Opened() override
    {
        Append(log, *this, "Opened(" + std::to_string(RequestedBufferSize()) + ")");
        TMMDSPComponent::Opened();
    }
    void Closed() override { Append(log, *this, "Closed"); TMMDSPComponent::Closed(); }
    void Started() override { Append(log, *this, "Started"); TMMDSPComponent::Started(); }
    void Paused() override { Append(log, *this, "Paused"); TMMDSPComponent::Paused(); }
    void Restarted() override { Append(log, *this, "Restarted"); TMMDSPComponent::Restarted(); }
    void Stopped() override { Append(log, *this, "Stopped"); TMMDSPComponent::Stopped(); }
    void Reset() override { Append(log, *this, "Reset"); TMMDSPComponent::Reset(); }
    void SetPWaveFormat(const TWaveFormatEx* Format) override
    {
        ++formatCalls;
        if (refuseFormats && Format)
            throw Exception("refused");
        TMMDSPComponent::SetPWaveFormat(Format);
    }
    void BufferReady(PWaveHdr Buffer) override
    {
        Append(log, *this, "BufferReady");
        AddTo(Buffer);
        TMMDSPComponent::BufferReady(Buffer);
    }
    bool BufferLoad(PWaveHdr Buffer, bool& MoreBuffers) override
    {
        const bool r = TMMDSPComponent::BufferLoad(Buffer, MoreBuffers);
        Append(log, *this, "BufferLoad");
        AddTo(Buffer);
        return r;
    }

    TLog* log;
    int formatCalls = 0;
    bool refuseFormats = false; // raise from SetPWaveFormat for any non-null format
    uint8_t addOnBuffer = 0;    // added to every byte of a passing buffer

private:
    void AddTo(PWaveHdr Buffer)
    {
        for (uint32_t i = 0; i < Buffer->dwBytesRecorded; ++i)
            Buffer->lpData[i] = static_cast<char>(Buffer->lpData[i] + addOnBuffer);
    }
};

// Publishes Input only: it can end a chain but never feed one.
class TestSink : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
public:
    using TMMDSPComponent::TMMDSPComponent;
};

// A driving stage: publishes Output and BufferSize, notifies its segment (and
// logs each notification after that) and delivers buffers of given bytes.
class TestDriver : public TMMCustomSoundComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
    Q_PROPERTY(int BufferSize READ BufferSize WRITE SetBufferSize)
public:
    explicit TestDriver(const std::string& name, TLog* log_ = nullptr, TComponent* owner = nullptr)
        : TMMCustomSoundComponent(owner), log(log_)
    {
        SetName(name);
    }
    ~TestDriver() override { FreeWaveHdr(FHdr); }

    void SetFormat(uint16_t bits, uint16_t channels, uint32_t rate)
    {
        const TWaveFormatEx f = PcmFormat(bits, channels, rate);
        SetPWaveFormat(&f);
    }
    void Opened() override { TMMCustomSoundComponent::Opened(); Append(log, *this, "Opened"); }
    void Closed() override { TMMCustomSoundComponent::Closed(); Append(log, *this, "Closed"); }
    void Started() override { TMMCustomSoundComponent::Started(); Append(log, *this, "Started"); }
    void Paused() override { TMMCustomSoundComponent::Paused(); Append(log, *this, "Paused"); }
    void Restarted() override { TMMCustomSoundComponent::Restarted(); Append(log, *this, "Restarted"); }
    void Stopped() override { TMMCustomSoundComponent::Stopped(); Append(log, *this, "Stopped"); }
    void Reset() override { TMMCustomSoundComponent::Reset(); Append(log, *this, "Reset"); }

    // Copies the bytes into the driver's own buffer, reused for the next
    // delivery, and passes it down the chain.
    void Deliver(const std::vector<uint8_t>& bytes)
    {
        if (!FHdr || FHdr->dwBufferLength < bytes.size()) {
            FreeWaveHdr(FHdr);
            if (!(FHdr = AllocWaveHdr(static_cast<int32_t>(bytes.size()))))
                throw std::bad_alloc();
        }
        std::memcpy(FHdr->lpData, bytes.data(), bytes.size());
        FHdr->dwBytesRecorded = static_cast<uint32_t>(bytes.size());
        FHdr->dwFlags = WHDR_DONE | WHDR_PREPARED;
        BufferReady(FHdr);
    }
    PWaveHdr LastBuffer() const { return FHdr; }

    // The notifications as the capture device sends them.
    void Open() { Opened(); }
    void Start() { Started(); }
    void Pause() { Paused(); }
    void Restart() { Restarted(); }
    void Stop() { Stopped(); }
    void Close() { Closed(); }

    TLog* log;

private:
    PWaveHdr FHdr = nullptr;
};

} // namespace qv::test
