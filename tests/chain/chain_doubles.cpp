#include "chain_doubles.h"

#include <stdexcept>

#include "framework/exceptions.h"

namespace qv::test {

TestStage::TestStage(const std::string& name, TLog* log_, TComponent* owner) : TMMDSPComponent(owner), log(log_)
{
    SetName(name);
}

void TestStage::Log(const std::string& what)
{
    if (log)
        log->push_back(Name() + ":" + what);
}

void TestStage::Opened()
{
    Log("Opened(" + std::to_string(RequestedBufferSize()) + ")");
    TMMDSPComponent::Opened();
}
void TestStage::Closed()
{
    Log("Closed");
    TMMDSPComponent::Closed();
}
void TestStage::Started()
{
    Log("Started");
    TMMDSPComponent::Started();
}
void TestStage::Paused()
{
    Log("Paused");
    TMMDSPComponent::Paused();
}
void TestStage::Restarted()
{
    Log("Restarted");
    TMMDSPComponent::Restarted();
}
void TestStage::Stopped()
{
    Log("Stopped");
    TMMDSPComponent::Stopped();
}
void TestStage::Reset()
{
    Log("Reset");
    TMMDSPComponent::Reset();
}

void TestStage::SetPWaveFormat(const TWaveFormatEx* Format)
{
    ++formatCalls;
    if (refuseFormats && Format)
        throw Exception("refused");
    TMMDSPComponent::SetPWaveFormat(Format);
}

void TestStage::BufferReady(PWaveHdr Buffer)
{
    Log("BufferReady");
    for (uint32_t i = 0; i < Buffer->dwBytesRecorded; ++i)
        Buffer->lpData[i] = static_cast<char>(Buffer->lpData[i] + addOnBuffer);
    TMMDSPComponent::BufferReady(Buffer);
}

bool TestStage::BufferLoad(PWaveHdr Buffer, bool& MoreBuffers)
{
    const bool r = TMMDSPComponent::BufferLoad(Buffer, MoreBuffers);
    Log("BufferLoad");
    for (uint32_t i = 0; i < Buffer->dwBytesRecorded; ++i)
        Buffer->lpData[i] = static_cast<char>(Buffer->lpData[i] + addOnBuffer);
    return r;
}

TestDriver::TestDriver(const std::string& name, TLog* log_, TComponent* owner)
    : TMMCustomSoundComponent(owner), log(log_)
{
    SetName(name);
}

TestDriver::~TestDriver() { FreeWaveHdr(FHdr); }

void TestDriver::Log(const std::string& what)
{
    if (log)
        log->push_back(Name() + ":" + what);
}

void TestDriver::SetFormat(uint16_t bits, uint16_t channels, uint32_t rate)
{
    TWaveFormatEx f{};
    BuildPCMFormat(f, bits, channels, rate);
    SetPWaveFormat(&f);
}

// Each notification is logged when the driver's own base handling runs, which
// the fan-out does last.
void TestDriver::Opened()
{
    TMMCustomSoundComponent::Opened();
    Log("Opened");
}
void TestDriver::Closed()
{
    TMMCustomSoundComponent::Closed();
    Log("Closed");
}
void TestDriver::Started()
{
    TMMCustomSoundComponent::Started();
    Log("Started");
}
void TestDriver::Paused()
{
    TMMCustomSoundComponent::Paused();
    Log("Paused");
}
void TestDriver::Restarted()
{
    TMMCustomSoundComponent::Restarted();
    Log("Restarted");
}
void TestDriver::Stopped()
{
    TMMCustomSoundComponent::Stopped();
    Log("Stopped");
}
void TestDriver::Reset()
{
    TMMCustomSoundComponent::Reset();
    Log("Reset");
}

void TestDriver::Deliver(const std::vector<uint8_t>& bytes) { Deliver(bytes.data(), bytes.size()); }

void TestDriver::Deliver(const uint8_t* bytes, size_t count)
{
    if (!FHdr || FHdr->dwBufferLength < count) {
        FreeWaveHdr(FHdr);
        FHdr = AllocWaveHdr(static_cast<int32_t>(count));
        if (!FHdr)
            throw std::bad_alloc();
    }
    std::memcpy(FHdr->lpData, bytes, count);
    FHdr->dwBytesRecorded = static_cast<uint32_t>(count);
    FHdr->dwFlags = WHDR_DONE | WHDR_PREPARED;
    BufferReady(FHdr);
}

} // namespace qv::test
