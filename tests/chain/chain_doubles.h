#pragma once
// Test doubles for the chain: a passive stage that records what it is told, a
// sink that only accepts an input, and a driving stage that delivers buffers it
// is given, as the capture device does.
#include <QObject>
#include <cstring>
#include <string>
#include <vector>

#include "capture/pcm_format.h"
#include "chain/dsp_component.h"

namespace qv::test {

using TLog = std::vector<std::string>;

// Publishes Input and Output, like the gain stage.
class TestStage : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
public:
    explicit TestStage(const std::string& name, TLog* log = nullptr, TComponent* owner = nullptr);
    void Opened() override;
    void Closed() override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reset() override;
    void SetPWaveFormat(const TWaveFormatEx* Format) override;
    void BufferReady(PWaveHdr Buffer) override;
    bool BufferLoad(PWaveHdr Buffer, bool& MoreBuffers) override;

    TLog* log;
    int formatCalls = 0;
    bool refuseFormats = false; // raise from SetPWaveFormat for any non-null format
    uint8_t addOnBuffer = 0;    // added to every byte of a passing buffer

private:
    void Log(const std::string& what);
};

// Publishes Input only: it can end a chain but never feed one.
class TestSink : public TMMDSPComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Input READ Input WRITE SetInput)
public:
    using TMMDSPComponent::TMMDSPComponent;
};

// A driving stage: publishes Output and BufferSize, notifies its segment and
// delivers buffers filled with bytes it is given.
class TestDriver : public TMMCustomSoundComponent {
    Q_OBJECT
    Q_PROPERTY(qv::TMMDSPComponent* Output READ Output WRITE SetOutput)
    Q_PROPERTY(int BufferSize READ BufferSize WRITE SetBufferSize)
public:
    explicit TestDriver(const std::string& name, TLog* log = nullptr, TComponent* owner = nullptr);
    ~TestDriver() override;

    // Builds a PCM format and hands it to the format setter.
    void SetFormat(uint16_t bits, uint16_t channels, uint32_t rate);

    void Opened() override;
    void Closed() override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reset() override;

    // Copies bytes into a buffer of its own and passes it down the chain; the
    // buffer is the driver's and is reused for the next delivery.
    void Deliver(const std::vector<uint8_t>& bytes);
    void Deliver(const uint8_t* bytes, size_t count);
    PWaveHdr LastBuffer() const { return FHdr; }

    // Open/Start/Pause/Restart/Stop/Close as the capture device sends them.
    void Open() { Opened(); }
    void Start() { Started(); }
    void Pause() { Paused(); }
    void Restart() { Restarted(); }
    void Stop() { Stopped(); }
    void Close() { Closed(); }

    TLog* log;

private:
    void Log(const std::string& what);
    PWaveHdr FHdr = nullptr;
};

// A format record for tests.
inline TWaveFormatEx PcmFormat(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

} // namespace qv::test
