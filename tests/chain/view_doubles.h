#pragma once
// Recording views for the connector tests: components implementing the view
// operations that record every block they are handed (its offset in the
// connector's buffer, its bytes, the time and thread it arrived in), every
// format they are told and every reset.
#include <QObject>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "chain/connector.h"
#include "chain/view_ops.h"
#include "framework/component.h"
#include "platform/periodic_timer.h"

namespace qv::test {

struct TBlockRecord {
    int64_t Offset;  // from the connector's DataPtr()
    int64_t Time;    // MicroTime() on arrival
    std::thread::id Thread;
    std::vector<uint8_t> Bytes;
};

template <typename Interface> class RecordingViewBase : public QObject, public TComponent, public Interface {
public:
    explicit RecordingViewBase(const std::string& name, TMMConnector* source = nullptr, int32_t blockBytes = 256)
        : FSource(source), FBlockBytes(blockBytes)
    {
        SetName(name);
    }
    QObject* AsQObject() override { return this; }

    void ApplyPCMFormat(const TWaveFormatEx* Format) override
    {
        if (rejectFormats)
            throw std::runtime_error("Invalid WaveFormat");
        std::lock_guard<std::mutex> lock(FMutex);
        formats.push_back(*Format);
        if (orderLog)
            orderLog->push_back(Name() + ":Apply");
    }
    void ProcessBlock(void* Data) override
    {
        if (throwOnBlock)
            throw std::runtime_error("view failed");
        const auto* d = static_cast<const uint8_t*>(Data);
        std::lock_guard<std::mutex> lock(FMutex);
        blocks.push_back({FSource && FSource->DataPtr() ? d - FSource->DataPtr() : -1, MicroTime(),
                          std::this_thread::get_id(), std::vector<uint8_t>(d, d + FBlockBytes)});
    }
    void ResetDisplay() override
    {
        resets.fetch_add(1);
        if (orderLog)
            orderLog->push_back(Name() + ":Reset");
    }
    int32_t BlockBytes() const override { return FBlockBytes; }
    // The connector whose buffer the recorded offsets refer to.
    void SetSource(TMMConnector* source) { FSource = source; }

    size_t BlockCount() const { return Blocks().size(); }
    std::vector<TBlockRecord> Blocks() const
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return blocks;
    }
    std::vector<int64_t> Offsets() const
    {
        std::vector<int64_t> o;
        for (const auto& b : Blocks())
            o.push_back(b.Offset);
        return o;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        blocks.clear();
    }

    std::vector<TWaveFormatEx> formats;
    std::atomic<int> resets{0};
    bool rejectFormats = false;
    bool throwOnBlock = false;
    std::vector<std::string>* orderLog = nullptr; // main-thread calls, in order

protected:
    TMMConnector* FSource;
    int32_t FBlockBytes;
    mutable std::mutex FMutex;
    std::vector<TBlockRecord> blocks;
};

using RecordingView = RecordingViewBase<TMMView>;

class RecordingScope : public RecordingViewBase<TMMOscopeView> {
public:
    using RecordingViewBase::RecordingViewBase;
    bool Scroll() const override { return scroll; }
    bool Accelerate() const override { return accelerate; }
    int32_t FFTLength() const override { return fftLength; }
    TMMBits BitLength() const override { return bits; }
    TMMMode Mode() const override { return mode; }
    bool scroll = false;
    bool accelerate = false;
    int32_t fftLength = 128;
    TMMBits bits = b8Bit;
    TMMMode mode = mMono;
};

class RecordingSpectrogram : public RecordingViewBase<TMMSpectrogramView> {
public:
    using RecordingViewBase::RecordingViewBase;
    bool Accelerate() const override { return accelerate; }
    bool accelerate = false;
};

// A component that is not a view at all.
class NotAView : public QObject, public TComponent {
public:
    QObject* AsQObject() override { return this; }
};

} // namespace qv::test
