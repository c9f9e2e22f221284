// The gain stage's kernels, one benchmark per sample format, against a plain
// 64-bit scalar loop for scale. Bytes per second are reported.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "chain/volume_kernels.h"

namespace {

std::vector<uint8_t> Noise(size_t bytes)
{
    std::vector<uint8_t> v(bytes);
    std::mt19937 rng(1);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// 64 KiB: a typical burst of capture buffers that stays in the cache.
constexpr size_t kBytes = 64 * 1024;

void BM_Mono8(benchmark::State& state)
{
    auto data = Noise(kBytes);
    const auto gain = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::VolumeMono8(data.data(), kBytes, gain));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

void BM_Stereo8(benchmark::State& state)
{
    auto data = Noise(kBytes);
    const auto gain = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::VolumeStereo8(data.data(), kBytes / 2, gain, gain / 2));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

void BM_Mono16(benchmark::State& state)
{
    auto data = Noise(kBytes);
    const auto gain = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::VolumeMono16(data.data(), kBytes / 2, gain));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

void BM_Stereo16(benchmark::State& state)
{
    auto data = Noise(kBytes);
    const auto gain = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::VolumeStereo16(data.data(), kBytes / 4, gain, gain / 2));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

// The law written plainly with a 64-bit product and branches, for comparison.
void BM_Mono16Scalar64(benchmark::State& state)
{
    auto data = Noise(kBytes);
    const auto gain = static_cast<int64_t>(state.range(0));
    for (auto _ : state) {
        auto* s = reinterpret_cast<int16_t*>(data.data());
        bool over = false;
        for (size_t i = 0; i < kBytes / 2; ++i) {
            int64_t v = (s[i] * gain) >> 14;
            if (v > 32767) {
                v = 32767;
                over = true;
            } else if (v < -32768) {
                v = -32768;
                over = true;
            }
            s[i] = static_cast<int16_t>(v);
        }
        benchmark::DoNotOptimize(over);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

} // namespace

BENCHMARK(BM_Mono8)->Arg(8192)->Arg(100000);
BENCHMARK(BM_Stereo8)->Arg(8192)->Arg(100000);
BENCHMARK(BM_Mono16)->Arg(8192)->Arg(100000);
BENCHMARK(BM_Stereo16)->Arg(8192)->Arg(100000);
BENCHMARK(BM_Mono16Scalar64)->Arg(8192)->Arg(100000);

BENCHMARK_MAIN();
