// The connector's real-time pump: the CPU it costs while it runs, and how late
// the event loop serves a 5 ms timer meanwhile. The chain is the main window's
// (8-bit mono at 11025 Hz, 2048-byte buffers, one every 186 ms, a scope taking
// 256-byte blocks), with buffers delivered in the main thread by a timer.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <vector>

#include "capture/pcm_format.h"
#include "chain/connector.h"
#include "chain/dsp_component.h"
#include "platform/message_window.h"

namespace {

class BenchDriver : public qv::TMMCustomSoundComponent {
public:
    BenchDriver() { FHdr = qv::AllocWaveHdr(2048); }
    ~BenchDriver() override { qv::FreeWaveHdr(FHdr); }
    void Deliver()
    {
        for (uint32_t i = 0; i < FHdr->dwBufferLength; ++i)
            FHdr->lpData[i] = static_cast<char>(128 + ((i / 16) % 2 ? 40 : -40));
        FHdr->dwBytesRecorded = FHdr->dwBufferLength;
        BufferReady(FHdr);
    }

private:
    qv::PWaveHdr FHdr;
};

class BenchScope : public QObject, public qv::TComponent, public qv::TMMOscopeView {
public:
    QObject* AsQObject() override { return this; }
    void ApplyPCMFormat(const qv::TWaveFormatEx*) override {}
    void ProcessBlock(void* Data) override
    {
        sum += static_cast<const uint8_t*>(Data)[0];
        ++blocks;
    }
    void ResetDisplay() override {}
    int32_t BlockBytes() const override { return 256; }
    bool Scroll() const override { return false; }
    bool Accelerate() const override { return false; }
    int32_t FFTLength() const override { return 128; }
    qv::TMMBits BitLength() const override { return qv::b8Bit; }
    qv::TMMMode Mode() const override { return qv::mMono; }
    int64_t blocks = 0;
    int64_t sum = 0;
};

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs the event loop for the given time with the pump running (or not) and
// reports CPU use and the lateness of a 5 ms timer.
void RunLoop(benchmark::State& state, bool pumpRunning, bool buffers)
{
    const int seconds = 3;
    for (auto _ : state) {
        BenchDriver driver;
        qv::TMMConnector connector;
        BenchScope scope;
        qv::TWaveFormatEx f{};
        qv::BuildPCMFormat(f, 8, 1, 11025);
        driver.AssignOutput(&connector, "Input");
        connector.AssignInput(&driver, "Output");
        driver.SetPWaveFormat(&f);
        connector.SetPWaveFormat(&f);
        connector.SetOscope1(&scope);
        if (!pumpRunning)
            connector.SetEnabled(false);
        driver.Opened();
        connector.Opened();
        driver.Started();
        connector.Started();
        qv::WaitWithMessages([&] { return !pumpRunning || connector.Running(); }, 5000);

        QTimer feed;
        QObject::connect(&feed, &QTimer::timeout, [&] { driver.Deliver(); });
        if (buffers)
            feed.start(186);
        QElapsedTimer tick;
        int64_t worstLateUs = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const int64_t late = tick.nsecsElapsed() / 1000 - 5000;
            worstLateUs = std::max(worstLateUs, late);
            tick.restart();
        });
        tick.start();
        probe.start(5);

        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double elapsed = static_cast<double>(wall.nsecsElapsed()) * 1e-9;

        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / elapsed;
        state.counters["blocks_per_s"] = static_cast<double>(scope.blocks) / elapsed;
        state.counters["worst_5ms_timer_late_ms"] = static_cast<double>(worstLateUs) / 1000.0;

        feed.stop();
        probe.stop();
        connector.Stopped();
        driver.Stopped();
        driver.AssignOutput(nullptr, "");
        connector.AssignInput(nullptr, "");
        qv::WaitWithMessages([] { return false; }, 20);
    }
}

void BM_EventLoopWithoutPump(benchmark::State& state) { RunLoop(state, false, true); }
void BM_PumpRunningNoBuffers(benchmark::State& state) { RunLoop(state, true, false); }
void BM_PumpRunningWithBuffers(benchmark::State& state) { RunLoop(state, true, true); }

BENCHMARK(BM_EventLoopWithoutPump)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_PumpRunningNoBuffers)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_PumpRunningWithBuffers)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
