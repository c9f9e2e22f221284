// The DIB surface's hot paths on a 640 x 240 surface. BM_Memset is the memory
// speed of the same bytes in the same process: fills and spans are compared
// with it as a ratio (times on a shared machine drift between runs).
#include <QApplication>
#include <QCoreApplication>
#include <QThread>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "display/dib_canvas.h"
#include "display/dib_draw.h"
#include "display/dib_graphic_control.h"

using namespace qv;

namespace {

constexpr int kW = 640;
constexpr int kH = 240;

struct Surface {
    std::vector<uint8_t> mem;
    TDIBSurface s;
    explicit Surface(int bpp)
    {
        s.BitsPerPixel = bpp;
        s.BytesPerPixel = bpp / 8;
        s.Width = kW;
        s.Height = kH;
        s.Stride = DIBStride(kW, bpp);
        mem.assign(static_cast<size_t>(s.Stride) * kH, 0);
        s.Bits = mem.data();
        s.Clip = Rect(0, 0, kW, kH);
        s.Color = DIBDrawValue(bpp, bpp == 8 ? 37 : 0x123456);
    }
    int64_t Bytes() const { return static_cast<int64_t>(s.Stride) * kH; }
};

void BM_Memset(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::memset(d.mem.data(), static_cast<int>(state.iterations() & 0xFF), d.mem.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_Memset)->Arg(8)->Arg(24);

void BM_FillRect(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        dib::FillRect(d.s, Rect(0, 0, kW, kH));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_FillRect)->Arg(8)->Arg(24);

void BM_Clear(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        dib::Clear(d.s);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_Clear)->Arg(8)->Arg(24);

// Every row as one clipped span (the ends reach past the surface).
void BM_HLines(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (int y = 0; y < kH; ++y)
            dib::HLine(d.s, -10, kW + 10, y);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_HLines)->Arg(8)->Arg(24);

// The same pixels one clipped SetPixel at a time: what spans save.
void BM_PixelByPixel(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    const uint32_t v = d.s.Color & 0xFFFFFF;
    for (auto _ : state) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                dib::SetPixel(d.s, x, y, v);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_PixelByPixel)->Arg(8)->Arg(24);

void BM_VLines(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (int x = 0; x < kW; ++x)
            dib::VLine(d.s, x, -5, kH + 5);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH); // pixels
}
BENCHMARK(BM_VLines)->Arg(8)->Arg(24);

// A trace of 640 connected segments of a waveform (the oscilloscope's load).
void BM_TraceLines(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    std::vector<int> ys(kW + 1);
    for (int i = 0; i <= kW; ++i)
        ys[static_cast<size_t>(i)]
            = kH / 2 + static_cast<int>((kH / 2 - 1) * (((i * 37) % 101) / 50.0 - 1.0));
    for (auto _ : state) {
        for (int i = 0; i < kW; ++i)
            dib::Line(d.s, i, ys[static_cast<size_t>(i)], i + 1, ys[static_cast<size_t>(i) + 1]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW); // segments
}
BENCHMARK(BM_TraceLines)->Arg(8)->Arg(24);

// Long diagonal lines, half of them clipped.
void BM_LongLines(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            dib::Line(d.s, -100 + i * 7, -50, kW + 100 - i * 5, kH + 50);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_LongLines)->Arg(8)->Arg(24);

// The scroll of a trace: the whole surface one column to the left, overlapping.
void BM_CopyRectScroll(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        dib::CopyRect(d.s, 1, 0, kW - 1, kH, 0, 0, d.s.Bits);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_CopyRectScroll)->Arg(8)->Arg(24);

// The picture moved down two rows (the scrolling spectrum).
void BM_CopyRectDown(benchmark::State& state)
{
    Surface d(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        dib::CopyRect(d.s, 0, 0, kW, kH - 2, 0, 2, d.s.Bits);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * d.Bytes());
}
BENCHMARK(BM_CopyRectDown)->Arg(8)->Arg(24);

// The conversion of the whole surface into the screen image.
void BM_ConvertToScreen(benchmark::State& state)
{
    TMMDIBCanvas c;
    c.SetBitsPerPixel(static_cast<int>(state.range(0)));
    c.SetBounds(0, 0, kW, kH);
    c.BeginDraw();
    c.EndDraw();
    QImage screen(kW, kH, QImage::Format_RGB32);
    for (auto _ : state) {
        c.CopyToImage(screen, 0, 0, kW, kH, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}
BENCHMARK(BM_ConvertToScreen)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

void ShowAndSettle(QWidget& w)
{
    w.show();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
}

// A whole presentation: PaintDirect converts the surface into the view's
// screen image and the widget repaints that rectangle synchronously.
class PresentView : public TMMDIBGraphicControl {
public:
    using TMMDIBGraphicControl::TMMDIBGraphicControl;
    void Present()
    {
        PaintDirect(nullptr, [](TMMDIBGraphicControl* v, void*) {
            TMMDIBCanvas& d = *v->DIBCanvas();
            TDIBDrawScope draw(d);
            d.CopyToDC(v->Canvas(), 0, 0, d.Width(), d.Height(), 0, 0);
        });
    }
};

void BM_Present(benchmark::State& state)
{
    TControl form;
    form.SetBounds(0, 0, kW + 20, kH + 20);
    PresentView view(nullptr);
    view.SetBitsPerPixel(static_cast<int>(state.range(0)));
    view.SetBounds(10, 10, kW, kH);
    view.SetParent(&form);
    ShowAndSettle(form);
    for (auto _ : state)
        view.Present();
    state.SetItemsProcessed(state.iterations() * kW * kH);
    view.SetParent(nullptr);
}
BENCHMARK(BM_Present)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

// One new column presented (the scrolling oscilloscope's per-block update).
void BM_PresentColumn(benchmark::State& state)
{
    TControl form;
    form.SetBounds(0, 0, kW + 20, kH + 20);
    PresentView view(nullptr);
    view.SetBounds(10, 10, kW, kH);
    view.SetParent(&form);
    ShowAndSettle(form);
    int x = 0;
    for (auto _ : state) {
        view.PaintDirect(nullptr, [x](TMMDIBGraphicControl* v, void*) {
            TMMDIBCanvas& d = *v->DIBCanvas();
            TDIBDrawScope draw(d);
            d.CopyToDC(v->Canvas(), x, 0, 1, d.Height(), x, 0);
        });
        x = (x + 1) % kW;
    }
    view.SetParent(nullptr);
}
BENCHMARK(BM_PresentColumn)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_SCALE_FACTOR", "1", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
