// Cost of one oscilloscope block, drawn into the surface and brought to the
// (offscreen) screen image: every kind at several widths (the work grows with
// the width), and a scrolling block once the area is full, accelerated (one
// column copied, the screen image moved) against not accelerated (the whole
// surface shifted and copied).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "display/oscope.h"

namespace {

// The main window's scope panel is 68 pixels high: a trace area of 66 rows.
constexpr int32_t kHeight = 66;

struct Rig {
    std::unique_ptr<qv::TControl> parent;
    qv::TMMOscope* scope = nullptr;
    std::vector<uint8_t> data;

    Rig(int32_t width, qv::TMMOscopeKind kind, bool scroll, bool accelerate)
    {
        parent = std::make_unique<qv::TControl>();
        parent->SetBounds(0, 0, width + 20, kHeight + 20);
        scope = new qv::TMMOscope(nullptr);
        scope->SetParent(parent.get());
        scope->SetBounds(0, 0, width + 2, kHeight + 2);
        scope->SetBitLength(qv::b16Bit);
        scope->SetKind(kind);
        scope->SetDrawMidLine(true);
        scope->SetDrawGrid(true);
        scope->SetScroll(scroll);
        scope->SetAccelerate(accelerate);
        parent->show();
        QApplication::processEvents();
        scope->Repaint();
        // A tone of about 1 kHz at 11025 Hz, enough for any block.
        const int32_t frames = std::max(scope->BlockBytes() / 2, 4096);
        data.resize(static_cast<size_t>(frames) * 2);
        for (int32_t i = 0; i < frames; ++i)
            qv::WriteSample16(&data[static_cast<size_t>(i) * 2],
                              static_cast<int16_t>(20000 * std::sin(i * 2 * M_PI * 1000 / 11025)));
    }
    ~Rig()
    {
        delete scope;
        parent.reset();
    }
};

void BM_Block(benchmark::State& state)
{
    const auto kind = static_cast<qv::TMMOscopeKind>(state.range(0));
    const auto width = static_cast<int32_t>(state.range(1));
    Rig rig(width, kind, false, true);
    for (auto _ : state)
        rig.scope->ProcessBlock(rig.data.data());
    state.counters["ns_per_column"] =
        benchmark::Counter(static_cast<double>(width), benchmark::Counter::kIsIterationInvariantRate
                                                           | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Block)
    ->ArgsProduct({{qv::okDots, qv::okConLines, qv::okVertLines, qv::okMirLines, qv::okSpikes}, {150, 300, 600, 1200}})
    ->Unit(benchmark::kMicrosecond);

// A full scrolling area: every block draws one column and scrolls.
void BM_ScrollBlock(benchmark::State& state)
{
    const bool accelerate = state.range(0) != 0;
    const auto width = static_cast<int32_t>(state.range(1));
    Rig rig(width, qv::okConLines, true, accelerate);
    for (int32_t i = 0; i <= width; ++i)
        rig.scope->ProcessBlock(rig.data.data());
    for (auto _ : state)
        rig.scope->ProcessBlock(rig.data.data());
    // Let the posted screen updates go, outside the timing.
    QApplication::processEvents();
}
BENCHMARK(BM_ScrollBlock)->ArgsProduct({{1, 0}, {300, 600, 1200}})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
