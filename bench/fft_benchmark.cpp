// DoRealFFT against FFTW's measured single-precision real-to-complex plan, timed
// alternately in one process so that load on the machine affects both alike;
// the "ratio" counter is our time over FFTW's (1.0 = as fast as FFTW).
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <fftw3.h>
#include <random>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fft_window.h"
#include "dsp/vector_math.h"

using namespace qv;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<float> Noise(size_t n)
{
    std::mt19937 gen(42);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (float& x : v)
        x = dist(gen);
    return v;
}

struct Fftw {
    float* in;
    fftwf_complex* out;
    fftwf_plan plan;
    explicit Fftw(int n)
        : in(fftwf_alloc_real(size_t(n))), out(fftwf_alloc_complex(size_t(n / 2 + 1))),
          plan(fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE))
    {
        const std::vector<float> x = Noise(size_t(n));
        std::memcpy(in, x.data(), x.size() * sizeof(float));
    }
    ~Fftw()
    {
        fftwf_destroy_plan(plan);
        fftwf_free(in);
        fftwf_free(out);
    }
};

struct Ours {
    PFFTDescriptor d;
    std::vector<float> input, data;
    explicit Ours(int32_t order) : d(InitFFT(order)), input(Noise(size_t(1) << order)), data(input) {}
    ~Ours() { DoneFFT(d); }
    // In place: the input is restored now and then so that values stay finite.
    void Run(int64_t i)
    {
        if ((i & 7) == 0)
            std::memcpy(data.data(), input.data(), input.size() * sizeof(float));
        DoRealFFT(d, data.data(), 1);
    }
};

int32_t OrderOf(int64_t n)
{
    int32_t o = 0;
    while ((int64_t(1) << o) < n)
        ++o;
    return o;
}

void BM_DoRealFFT(benchmark::State& state)
{
    Ours ours(OrderOf(state.range(0)));
    int64_t i = 0;
    for (auto _ : state) {
        ours.Run(i++);
        benchmark::DoNotOptimize(ours.data.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FftwR2C(benchmark::State& state)
{
    Fftw fftw(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        fftwf_execute(fftw.plan);
        benchmark::DoNotOptimize(fftw.out);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Both transforms in turns of a few hundred calls; reports each one's time per
// call and the ratio.
void BM_RatioToFftw(benchmark::State& state)
{
    const int64_t n = state.range(0);
    Ours ours(OrderOf(n));
    Fftw fftw(static_cast<int>(n));
    const int64_t reps = std::max<int64_t>(16, 200000 / n);
    std::chrono::duration<double> tOurs{0}, tFftw{0};
    int64_t i = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        for (int64_t r = 0; r < reps; ++r)
            ours.Run(i++);
        auto t1 = Clock::now();
        for (int64_t r = 0; r < reps; ++r)
            fftwf_execute(fftw.plan);
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(ours.data.data());
        benchmark::DoNotOptimize(fftw.out);
        tOurs += t1 - t0;
        tFftw += t2 - t1;
    }
    const double calls = double(state.iterations() * reps);
    state.counters["ours_ns"] = tOurs.count() * 1e9 / calls;
    state.counters["fftw_ns"] = tFftw.count() * 1e9 / calls;
    state.counters["ratio"] = tOurs.count() / tFftw.count();
}

// The same comparison with the portable kernels that run on processors without
// AVX2 and FMA.
void BM_RatioToFftwPortable(benchmark::State& state)
{
    auto select = reinterpret_cast<TSelectKernelsProc>(VectorMathLibrary().Symbol(vecmath::kSelectKernels));
    select(0);
    BM_RatioToFftw(state);
    select(1);
}

// Windowing one block of 16-bit mono samples into the transform's floats.
void BM_WindowSamples16(benchmark::State& state)
{
    const int32_t n = int32_t(state.range(0));
    std::vector<int16_t> samples(static_cast<size_t>(n));
    std::mt19937 gen(1);
    for (auto& s : samples)
        s = int16_t(gen());
    std::vector<int32_t> table(static_cast<size_t>(n));
    FillWindowTable(table.data(), fwHamming, OrderOf(n));
    std::vector<float> data(static_cast<size_t>(n));
    for (auto _ : state) {
        WindowSamples16(samples.data(), 1, table.data(), data.data(), n);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

} // namespace

BENCHMARK(BM_DoRealFFT)->RangeMultiplier(2)->Range(64, 4096);
BENCHMARK(BM_FftwR2C)->RangeMultiplier(2)->Range(64, 4096);
BENCHMARK(BM_RatioToFftw)->Arg(512)->Arg(2048)->Arg(4096)->Arg(128)->Arg(1024);
BENCHMARK(BM_RatioToFftwPortable)->Arg(512)->Arg(2048)->Arg(4096);
BENCHMARK(BM_WindowSamples16)->Arg(512)->Arg(4096);

int main(int argc, char** argv)
{
    LoadVectorMathLibrary();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
