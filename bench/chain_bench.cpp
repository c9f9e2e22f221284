// A buffer's trip down a three-stage chain (driver -> gain -> pass-through
// stage) and the format operations every stage uses.
#include <benchmark/benchmark.h>

#include <QObject>
#include <cstring>
#include <vector>

#include "capture/pcm_format.h"
#include "chain/dsp_component.h"
#include "chain/volume.h"

namespace {

// A driving stage that hands its one buffer down the chain.
class BenchDriver : public qv::TMMCustomSoundComponent {
public:
    qv::PWaveHdr hdr = nullptr;
    ~BenchDriver() override { qv::FreeWaveHdr(hdr); }
};

// A stage that only passes buffers on.
class BenchStage : public qv::TMMDSPComponent {};

void BM_ThreeStageTrip(benchmark::State& state)
{
    const auto bytes = static_cast<int32_t>(state.range(0));
    const bool gainOn = state.range(1) != 0;
    BenchDriver driver;
    qv::TMMVolume volume;
    BenchStage last;
    qv::TWaveFormatEx f{};
    qv::BuildPCMFormat(f, 16, 2, 44100);
    // Links made directly: the bench stages publish no link properties.
    driver.AssignOutput(&volume, "Input");
    volume.AssignInput(&driver, "Output");
    volume.AssignOutput(&last, "Input");
    last.AssignInput(&volume, "Output");
    driver.SetPWaveFormat(&f);
    volume.SetPWaveFormat(&f);
    volume.SetEnabled(gainOn);
    volume.SetVolume(20000);
    driver.Opened();
    volume.Opened();
    driver.hdr = qv::AllocWaveHdr(bytes);
    for (int32_t i = 0; i < bytes; ++i)
        driver.hdr->lpData[i] = static_cast<char>(i * 7);
    driver.hdr->dwBytesRecorded = static_cast<uint32_t>(bytes);
    int64_t count = 0;
    last.OnBufferReady = [&](qv::TComponent*, qv::PWaveHdr) { ++count; };
    for (auto _ : state)
        driver.BufferReady(driver.hdr);
    benchmark::DoNotOptimize(count);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    volume.AssignInput(nullptr, "");
    volume.AssignOutput(nullptr, "");
    driver.AssignOutput(nullptr, "");
    last.AssignInput(nullptr, "");
}
BENCHMARK(BM_ThreeStageTrip)->Args({2048, 0})->Args({2048, 1})->Args({16384, 1});

void BM_BuildAndValidate(benchmark::State& state)
{
    qv::TWaveFormatEx f{};
    uint32_t rate = 8000;
    for (auto _ : state) {
        qv::BuildPCMFormat(f, 16, 2, rate);
        benchmark::DoNotOptimize(qv::IsPCMFormatValid(&f));
        rate = rate == 96000 ? 8000 : rate + 1;
    }
}
BENCHMARK(BM_BuildAndValidate);

void BM_Conversions(benchmark::State& state)
{
    qv::TWaveFormatEx f{};
    qv::BuildPCMFormat(f, 16, 2, 44100);
    int32_t n = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::BytesToMs(&f, n));
        benchmark::DoNotOptimize(qv::BytesToSamples(&f, n));
        benchmark::DoNotOptimize(qv::MsToBytes(&f, n));
        benchmark::DoNotOptimize(qv::SamplesToBytes(&f, n));
        n = (n * 1103515245 + 12345) & 0xFFFFF;
    }
}
BENCHMARK(BM_Conversions);

void BM_CopyWaveFormat(benchmark::State& state)
{
    qv::TWaveFormatEx f{};
    qv::BuildPCMFormat(f, 16, 2, 44100);
    for (auto _ : state) {
        qv::TWaveFormatEx* c = qv::CopyWaveFormat(&f);
        benchmark::DoNotOptimize(c);
        qv::FreeWaveFormat(c);
    }
}
BENCHMARK(BM_CopyWaveFormat);

} // namespace

BENCHMARK_MAIN();
