#include "chain/connector.h"

#include <QTimer>
#include <QVariant>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "chain/application_hooks.h"
#include "chain/chain_registry.h"
#include "chain_doubles.h"
#include "framework/enum_names.h"
#include "framework/exception_handler.h"
#include "framework/numeric.h"
#include "platform/message_window.h"
#include "view_doubles.h"

using namespace qv;
using namespace qv::test;

namespace {

using C = TMMConnector;

// Runs the event loop until cond holds or the time runs out.
bool PumpUntil(const std::function<bool()>& cond, int ms = 10000) { return WaitWithMessages(cond, ms); }
void PumpFor(int ms) { WaitWithMessages([] { return false; }, ms); }

std::vector<uint8_t> Ramp(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    return v;
}

// WaveIn -> Connector with a driver double; the views it makes are its own.
struct Rig {
    TestDriver wave{"WaveIn"};
    TMMConnector conn;
    std::vector<std::unique_ptr<QObject>> views;
    Rig(uint16_t bits, uint16_t channels, uint32_t rate, int32_t bufferSize, bool realTime = true)
    {
        wave.SetFormat(bits, channels, rate);
        wave.SetBufferSize(bufferSize);
        conn.SetRealTime(realTime);
        conn.SetInput(&wave);
    }
    ~Rig()
    {
        wave.Stop();
        wave.Close();
    }
    // Opens and starts, then lets the start message be handled.
    void Start()
    {
        wave.Open();
        wave.Start();
        if (conn.RealTime() && conn.Enabled())
            PumpUntil([&] { return conn.Running(); }, 5000);
    }
    // A recording view of blockBytes, put into a slot.
    template <typename V = RecordingScope> V& View(void (C::*slot)(QObject*), int32_t blockBytes)
    {
        auto* v = new V("View", &conn, blockBytes);
        views.emplace_back(v);
        (conn.*slot)(v);
        return *v;
    }
    // Steps are taken only by Trigger, and every block is due at once.
    void Manual() { conn.SetAutoTrigger(false); conn.SetSynchronize(false); }
    void Steps(int n) { while (n-- > 0) conn.Trigger(); }
};

std::vector<int64_t> Every(int64_t step, int64_t block, int64_t total)
{
    std::vector<int64_t> o;
    for (int64_t at = 0; at + block <= total; at += step)
        o.push_back(at);
    return o;
}

int64_t DueMicros(int64_t offset, uint32_t bytesPerSecond)
{
    return Trunc(static_cast<long double>(1000000LL * offset) / bytesPerSecond);
}

} // namespace

TEST(ConnectorTrigger, ThresholdsOfTheExamples)
{
    EXPECT_EQ(TriggerThreshold(8, tmUpFlank, 50), 191);
    EXPECT_EQ(TriggerThreshold(8, tmDownFlank, 50), 65);
    EXPECT_EQ(TriggerThreshold(16, tmUpFlank, 50), 16350);
    EXPECT_EQ(TriggerThreshold(16, tmDownFlank, 50), -16350);
    EXPECT_EQ(TriggerThreshold(8, tmUpFlank, -50), 65); // Trunc(-63.5) = -63
    EXPECT_EQ(TriggerThreshold(8, tmUpFlank, 0), 128);
    EXPECT_EQ(TriggerThreshold(8, tmUpFlank, 100), 255);
    EXPECT_EQ(TriggerThreshold(8, tmUpFlank, 1), 129); // 1.27
    EXPECT_EQ(TriggerThreshold(16, tmUpFlank, 100), 32700);
    // No range is enforced on the level; nothing overflows.
    EXPECT_EQ(TriggerThreshold(16, tmDownFlank, INT32_MIN), 327LL * 2147483648LL);
}

TEST(ConnectorTrigger, CrossingsOfTheExamples)
{
    // 8-bit mono at level 50 (thresholds 191 and 65); Count -1 means all of d.
    const auto m8 = PcmFormat(8, 1, 11025);
    const auto search8 = [&](std::vector<uint8_t> d, int32_t count = -1, TMMTriggerMode mode = tmUpFlank) {
        count = count < 0 ? static_cast<int32_t>(d.size()) : count;
        return TriggerSearch(&m8, d.data(), count, chBoth, mode, 50);
    };
    EXPECT_EQ(search8({100, 200, 128, 128}), 1); // crossing at the first pair: the second frame's offset
    EXPECT_EQ(search8({190, 191, 128, 128, 128}), 1); // b equal to the threshold counts for the up flank,
    EXPECT_EQ(search8({191, 255, 128, 128, 128}), -1); // a equal does not
    EXPECT_EQ(search8({128, 128, 66, 65, 0, 0}, -1, tmDownFlank), 3); // a above, b at or below 65
    EXPECT_EQ(search8({128, 128, 128, 200, 128}, 4), -1); // the last pair of frames is never compared
    EXPECT_EQ(search8({128, 128, 128, 200, 128}, 5), 3);  // one more byte: now compared
    EXPECT_EQ(search8({100, 200, 128, 128}, -1, tmNone), -1);
    EXPECT_EQ(search8({100, 200, 128, 128}, 0), -1);

    // 16-bit stereo, silent but for one sample: chBoth tests the left channel, then the right.
    const auto s16 = PcmFormat(16, 2, 44100);
    const auto search16 = [&](int at, int16_t v, int32_t count, TMMChannel ch, TMMTriggerMode m = tmUpFlank) {
        std::vector<uint8_t> d(16, 0);
        WriteSample16(&d[at], v);
        return TriggerSearch(&s16, d.data(), count, ch, m, 50);
    };
    EXPECT_EQ(search16(10, 20000, 16, chBoth), 8); // frame 2, right channel
    EXPECT_EQ(search16(10, 20000, 16, chRight), 8);
    EXPECT_EQ(search16(10, 20000, 16, chLeft), -1);
    EXPECT_EQ(search16(10, 20000, 12, chBoth), -1); // frames 1, 2 are the last pair
    EXPECT_EQ(search16(10, 20000, 15, chBoth), -1); // rounded down to 12
    EXPECT_EQ(search16(10, 16349, 16, chBoth), -1); // 16350 exactly reaches the threshold
    EXPECT_EQ(search16(10, 16350, 16, chBoth), 8);
    EXPECT_EQ(search16(4, -16350, 16, chBoth, tmDownFlank), 4); // left channel of frame 1
    // 8-bit stereo: each channel on its own, not their mean.
    auto s8 = PcmFormat(8, 2, 8000);
    const uint8_t st8[] = {128, 128, 128, 250, 128, 128, 128, 128};
    EXPECT_EQ(TriggerSearch(&s8, st8, 8, chBoth, tmUpFlank, 50), 2);
    EXPECT_EQ(TriggerSearch(&s8, st8, 8, chLeft, tmUpFlank, 50), -1);
}

TEST(Connector, PropertiesAndClassWideState)
{
    TMMConnector c;
    EXPECT_TRUE(c.Enabled());
    EXPECT_TRUE(c.AutoConvert());
    EXPECT_TRUE(c.AutoTrigger());
    EXPECT_TRUE(c.Synchronize());
    EXPECT_EQ(c.Speed(), 5000);
    EXPECT_EQ(c.TriggerMode(), tmNone);
    EXPECT_EQ(c.TriggerLevel(), 0);
    EXPECT_TRUE(c.RefreshOnStop());
    EXPECT_TRUE(c.RealTime());
    EXPECT_FALSE(c.EnterIdle());
    c.SetSpeed(0);
    EXPECT_EQ(c.Speed(), 1);
    c.SetSpeed(9999);
    EXPECT_EQ(c.Speed(), 5000);
    EXPECT_EQ(C::MaxSpeed(), 5000);
    c.SetSpeed(300);
    EXPECT_EQ(C::MaxSpeed(), 300);
    {
        TMMConnector d;
        EXPECT_EQ(C::ConnectorCount(), 2);
        EXPECT_EQ(C::MaxSpeed(), 5000); // recomputed when one joins
        d.SetSpeed(200);
        EXPECT_EQ(C::MaxSpeed(), 300);
        d.SetEnterIdle(true);
        EXPECT_TRUE(c.EnterIdle()); // one value for all
        d.SetEnterIdle(false);
    }
    EXPECT_EQ(C::ConnectorCount(), 1);
    // In design mode the connector leaves the list.
    c.SetDesigning(true);
    EXPECT_EQ(C::ConnectorCount(), 0);
    c.SetDesigning(false);
    EXPECT_EQ(C::ConnectorCount(), 1);

    // Published by name.
    QObject* q = c.AsQObject();
    EXPECT_TRUE(q->setProperty("TriggerLevel", 40));
    EXPECT_TRUE(q->setProperty("TriggerMode", QVariant::fromValue(tmDownFlank)));
    EXPECT_TRUE(q->setProperty("RefreshOnStop", false));
    EXPECT_EQ(c.TriggerLevel(), 40);
    EXPECT_EQ(c.TriggerMode(), tmDownFlank);
    EXPECT_FALSE(c.RefreshOnStop());
    int fired = 0;
    TMMNotifyEvent handler = [&](TComponent*) { ++fired; };
    EXPECT_TRUE(c.SetEvent("OnTrigger", handler));
    EXPECT_FALSE(c.SetEvent("OnNothing", handler));

    RegisterChainComponents();
    EXPECT_TRUE(TComponentRegistry::IsRegistered("TMMConnector"));
    EXPECT_TRUE(TComponentRegistry::IsRegistered("TMMVolume"));
    std::unique_ptr<TComponent> made(TComponentRegistry::Create("TMMConnector", nullptr));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->ClassName(), "TMMConnector");
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TMMTriggerMode>().name(), "tmDownFlank"), 2);
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TMMChannel>().name(), "chRight"), 2);
    EXPECT_EQ(TEnumNames::NameOf(QMetaType::fromType<TMMBits>().name(), 1), "b16Bit");
    EXPECT_EQ(TEnumNames::NameOf(QMetaType::fromType<TMMMode>().name(), 0), "mMono");
}

TEST(Connector, SlotsAcceptTheirViewsOnly)
{
    Rig r(16, 1, 22050, 2048);
    TMMConnector& c = r.conn;
    std::vector<std::string> order;
    RecordingScope scope("Scope", &c);
    RecordingView spectrum("Spectrum", &c);
    RecordingSpectrogram gram("Gram", &c);
    RecordingView level("Level", &c);
    NotAView other;
    spectrum.orderLog = &order;
    level.orderLog = &order;
    scope.orderLog = &order;
    gram.orderLog = &order;

    c.SetOscope1(&scope);
    ASSERT_EQ(scope.formats.size(), 1u); // told the format at once
    EXPECT_EQ(+scope.formats[0].nSamplesPerSec, 22050u);
    EXPECT_EQ(c.Silence(), 0);
    c.SetOscope2(&scope); // already in Oscope1
    EXPECT_EQ(c.Oscope2(), nullptr);
    c.SetOscope1(&spectrum); // not a scope
    EXPECT_EQ(c.Oscope1(), &scope);
    c.SetSpectrogram1(&spectrum); // not a spectrogram
    EXPECT_EQ(c.Spectrogram1(), nullptr);
    c.SetLevel1(&other); // not a view
    EXPECT_EQ(c.Level1(), nullptr);
    c.SetLevel1(static_cast<QObject*>(&c)); // the connector itself
    EXPECT_EQ(c.Level1(), nullptr);

    c.SetSpectrum1(&spectrum);
    c.SetSpectrum2(&spectrum); // one spectrum may sit in several slots
    EXPECT_EQ(c.Spectrum2(), &spectrum);
    EXPECT_TRUE(c.AsQObject()->setProperty("Spectrogram1", QVariant::fromValue<QObject*>(&gram)));
    EXPECT_EQ(c.Spectrogram1(), &gram);
    c.SetLevel2(&level); // typed slot without a display class: any view
    EXPECT_EQ(c.Level2(), &level);

    // Every assignment of a view announces the format to all views, in slot order.
    order.clear();
    c.SetMeter1(&other); // refused: nothing announced
    EXPECT_TRUE(order.empty());
    r.wave.SetFormat(8, 2, 8000);
    EXPECT_EQ(order, (std::vector<std::string>{"Level:Apply", "Scope:Apply", "Spectrum:Apply", "Spectrum:Apply",
                                               "Gram:Apply"}));
    EXPECT_EQ(c.Silence(), 128);
    EXPECT_EQ(+gram.formats.back().nChannels, 2);

    // A destroyed view leaves every slot that held it.
    {
        auto temp = std::make_unique<RecordingView>("Temp", &c);
        c.SetSpectrum3(temp.get());
        c.SetSpectrum4(temp.get());
        EXPECT_EQ(c.Spectrum4(), temp.get());
    }
    EXPECT_EQ(c.Spectrum3(), nullptr);
    EXPECT_EQ(c.Spectrum4(), nullptr);
    c.SetSpectrum2(nullptr);
    EXPECT_EQ(c.Spectrum2(), nullptr);
    EXPECT_EQ(c.Spectrum1(), &spectrum);
}

TEST(Connector, BlocksArriveAtTheOffsetsAndTimesOfTheDueTest)
{
    Rig r(8, 1, 11025, 2048);
    auto& scope = r.View(&C::SetOscope1, 256);
    auto& spectrum = r.View<RecordingView>(&C::SetSpectrum1, 512);
    r.Start();
    ASSERT_TRUE(r.conn.Running());
    EXPECT_EQ(C::RunningCount(), 1);
    EXPECT_EQ(r.conn.DataSize(), 2048);

    const auto data = Ramp(2048);
    r.wave.Deliver(data);
    const int64_t arrived = r.conn.BufferTime();
    ASSERT_TRUE(PumpUntil([&] { return !r.conn.Pending(C::grOscope) && !r.conn.Pending(C::grSpectrum); }));
    const auto blocks = scope.Blocks();
    ASSERT_EQ(blocks.size(), 8u);
    for (size_t j = 0; j < blocks.size(); ++j) {
        EXPECT_EQ(blocks[j].Offset, static_cast<int64_t>(j * 256));
        EXPECT_GE(blocks[j].Time - arrived, DueMicros(j * 256, 11025)) << j;
        EXPECT_TRUE(std::equal(blocks[j].Bytes.begin(), blocks[j].Bytes.end(), data.begin() + j * 256));
    }
    // The last block became due after about 162 ms of the buffer's 186.
    EXPECT_GE(blocks.back().Time - arrived, 162539);
    EXPECT_EQ(spectrum.Offsets(), (std::vector<int64_t>{0, 512, 1024, 1536}));
    EXPECT_GE(spectrum.Blocks()[3].Time - arrived, DueMicros(1536, 11025));
    EXPECT_EQ(r.conn.HandOvers(C::grOscope), 8);
    EXPECT_EQ(r.conn.HandOvers(C::grSpectrum), 4);
    // Nothing more comes from this buffer.
    PumpFor(50);
    EXPECT_EQ(scope.BlockCount(), 8u);

    // A buffer shorter than a block hands nothing to that group.
    scope.Clear();
    r.wave.Deliver(Ramp(200));
    ASSERT_TRUE(PumpUntil([&] { return !r.conn.Pending(C::grOscope); }));
    EXPECT_EQ(scope.BlockCount(), 0u);
    EXPECT_EQ(r.conn.DataBytes(), 200);
}

TEST(Connector, NewBufferRestartsEveryGroup)
{
    Rig r(8, 1, 11025, 2048);
    auto& scope = r.View(&C::SetOscope1, 256);
    auto& spectrum = r.View<RecordingView>(&C::SetSpectrum1, 256);
    r.Start();
    r.wave.Deliver(std::vector<uint8_t>(2048, 10));
    ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() >= 2 && spectrum.BlockCount() >= 2; }));
    const size_t before = scope.BlockCount();
    const size_t beforeSpectrum = spectrum.BlockCount();
    r.wave.Deliver(std::vector<uint8_t>(2048, 20));
    ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() > before && spectrum.BlockCount() > beforeSpectrum; }));
    const auto s = scope.Blocks();
    EXPECT_EQ(s[before].Offset, 0);
    EXPECT_EQ(s[before].Bytes[0], 20);
    EXPECT_EQ(spectrum.Blocks()[beforeSpectrum].Offset, 0);
    EXPECT_EQ(spectrum.Blocks()[beforeSpectrum].Bytes[0], 20);
    ASSERT_TRUE(PumpUntil([&] { return !r.conn.Pending(C::grOscope); }));
    EXPECT_EQ(scope.BlockCount() - before, 8u); // the whole new buffer, once
}

TEST(Connector, TriggeredScopeBlockStartsAtTheCrossing)
{
    // Real time off: one step per buffer, in the delivering thread.
    Rig r(8, 1, 11025, 2048, false);
    auto& scope = r.View(&C::SetOscope1, 64);
    r.conn.SetTriggerMode(tmUpFlank);
    r.conn.SetTriggerLevel(50);
    r.Start();
    EXPECT_FALSE(r.conn.Running());
    EXPECT_TRUE(r.conn.Active());
    std::vector<uint8_t> data(512, 128);
    data[300] = 190;
    data[301] = 191; // crosses between 300 and 301
    r.wave.Deliver(data);
    ASSERT_EQ(scope.BlockCount(), 1u);
    EXPECT_EQ(scope.Blocks()[0].Offset, 301);
    EXPECT_EQ(scope.Blocks()[0].Bytes[0], 191);
    // Down flank at level 50: 65 reached from above.
    r.conn.SetTriggerMode(tmDownFlank);
    data[400] = 66;
    data[401] = 65;
    r.wave.Deliver(data);
    EXPECT_EQ(scope.Blocks().back().Offset, 401);
    // No crossing: the block stays where it was.
    r.wave.Deliver(std::vector<uint8_t>(512, 128));
    EXPECT_EQ(scope.Blocks().back().Offset, 0);
    // A crossing too late for a whole block hands nothing.
    std::vector<uint8_t> late(512, 128);
    late[499] = 60;
    r.wave.Deliver(late);
    EXPECT_EQ(scope.BlockCount(), 3u);
}

TEST(Connector, RealTimeOffSteppingInTheDeliveringThread)
{
    Rig r(16, 2, 8000, 1024, false);
    auto& scope = r.View(&C::SetOscope1, 128);
    auto& spectrum = r.View<RecordingView>(&C::SetSpectrum1, 256);
    int triggers = 0;
    r.conn.OnTrigger = [&](TComponent* sender) {
        EXPECT_EQ(sender, &r.conn);
        ++triggers;
    };
    r.Start();
    std::thread::id worker;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        for (int i = 0; i < 3; ++i)
            r.wave.Deliver(Ramp(1024));
    });
    t.join();
    EXPECT_EQ(triggers, 3);
    const auto blocks = scope.Blocks();
    ASSERT_EQ(blocks.size(), 3u); // only the first block of each buffer
    for (const auto& b : blocks) {
        EXPECT_EQ(b.Offset, 0);
        EXPECT_EQ(b.Thread, worker);
    }
    EXPECT_EQ(spectrum.BlockCount(), 3u);
    EXPECT_EQ(C::PendingMessages(MM_CONNECT_START), 0); // no start message, no pump
    EXPECT_EQ(C::RunningCount(), 0);

    // Trigger drives the remaining steps when AutoTrigger is off.
    r.Manual();
    r.wave.Deliver(Ramp(1024));
    EXPECT_EQ(scope.BlockCount(), 3u);
    r.Steps(10);
    EXPECT_EQ(scope.BlockCount(), 3u + 8u);
    EXPECT_EQ(scope.Offsets().back(), 896);
}

TEST(Connector, TriggerFromOtherThreadsIsServedInTheMainThread)
{
    Rig r(8, 1, 11025, 1024);
    auto& scope = r.View(&C::SetOscope1, 256);
    r.Manual();
    r.Start();
    ASSERT_TRUE(r.conn.Running());
    EXPECT_EQ(C::RunningCount(), 0); // not served by the pump
    r.wave.Deliver(Ramp(1024));
    r.conn.Trigger(); // main thread: at once
    ASSERT_EQ(scope.BlockCount(), 1u);
    EXPECT_EQ(scope.Blocks()[0].Thread, std::this_thread::get_id());

    std::thread t([&] {
        r.conn.Trigger();
        r.conn.Trigger(); // a request is outstanding: ignored
    });
    t.join();
    EXPECT_EQ(r.conn.PendingRequests(), 1);
    EXPECT_EQ(C::PendingMessages(MM_CONNECT_TRIGGER), 1);
    EXPECT_EQ(scope.BlockCount(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() == 2; }));
    EXPECT_EQ(r.conn.PendingRequests(), 0);
    EXPECT_EQ(scope.Blocks()[1].Offset, 256);
    EXPECT_EQ(scope.Blocks()[1].Thread, std::this_thread::get_id());

    // A request that finds the connector disabled is dropped with the count kept.
    std::thread t2([&] { r.conn.Trigger(); });
    t2.join();
    r.conn.SetEnabled(false);
    PumpFor(20);
    EXPECT_EQ(r.conn.PendingRequests(), 1);
    r.conn.SetEnabled(true); // the start message resets the count
    ASSERT_TRUE(PumpUntil([&] { return r.conn.Running(); }));
    EXPECT_EQ(r.conn.PendingRequests(), 0);
}

TEST(Connector, PausedCaptureReplaysSilenceAtTheBufferRate)
{
    for (uint16_t bits : {8, 16}) {
        Rig r(bits, 1, 11025, 512); // one buffer plays 46 ms (8-bit) or 23 ms (16-bit)
        const int32_t period = BytesToMs(r.wave.GetPWaveFormat(), 512);
        auto& scope = r.View(&C::SetOscope1, 256);
        r.Start();
        r.wave.Deliver(Ramp(512));
        ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() == 2; }));
        r.conn.SetTriggerMode(tmUpFlank); // not searched while paused
        r.wave.Pause();
        EXPECT_TRUE(r.conn.IsPaused());
        EXPECT_TRUE(r.conn.PauseTimerRunning());
        // Buffers that still arrive while paused are not taken.
        r.wave.Deliver(Ramp(512));
        scope.Clear();
        const int64_t from = MicroTime();
        ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() >= 6; }));
        const int64_t took = MicroTime() - from;
        const auto blocks = scope.Blocks();
        const uint8_t silence = bits == 8 ? 128 : 0;
        int replays = 0;
        for (const auto& b : blocks) {
            for (uint8_t x : b.Bytes)
                ASSERT_EQ(x, silence);
            replays += b.Offset == 0;
        }
        // Each replay starts with a tick of the pause timer, one per buffer
        // period: never faster than that.
        EXPECT_GE(replays, 3);
        EXPECT_LE(replays, took / (period * 1000) + 2);
        r.wave.Restart();
        EXPECT_FALSE(r.conn.IsPaused());
        EXPECT_FALSE(r.conn.PauseTimerRunning());
        const size_t n = scope.BlockCount();
        PumpFor(3 * period);
        EXPECT_LE(scope.BlockCount(), n + 1);
    }
}

TEST(Connector, StopKeepsOrClearsThePictures)
{
    {
        Rig r(8, 1, 11025, 512);
        auto& scope = r.View(&C::SetOscope1, 256);
        auto& spectrum = r.View<RecordingView>(&C::SetSpectrum1, 256);
        r.conn.SetRefreshOnStop(false); // as the main window stores it
        r.Start();
        r.wave.Deliver(Ramp(512));
        ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() == 2; }));
        r.wave.Stop();
        EXPECT_FALSE(r.conn.Active());
        EXPECT_EQ(scope.resets.load(), 0);
        EXPECT_EQ(spectrum.resets.load(), 0);
        EXPECT_EQ(C::RunningCount(), 0);
        // Disabling always clears them.
        r.conn.SetEnabled(false);
        EXPECT_EQ(scope.resets.load(), 1);
        EXPECT_EQ(spectrum.resets.load(), 1);
    }
    {
        Rig r(8, 1, 11025, 512);
        auto& scope = r.View(&C::SetOscope1, 256);
        r.Start();
        r.wave.Stop();
        EXPECT_EQ(scope.resets.load(), 1);
        // Disabled while running: not running, not counted, nothing handed.
        r.wave.Start();
        ASSERT_TRUE(PumpUntil([&] { return r.conn.Running(); }));
        EXPECT_EQ(C::RunningCount(), 1);
        r.conn.SetEnabled(false);
        EXPECT_FALSE(r.conn.Running());
        EXPECT_EQ(C::RunningCount(), 0);
        EXPECT_EQ(scope.resets.load(), 2);
        r.wave.Deliver(Ramp(512));
        PumpFor(20);
        EXPECT_EQ(scope.BlockCount(), 0u);
        r.conn.SetEnabled(true);
        ASSERT_TRUE(PumpUntil([&] { return r.conn.Running(); }));
        EXPECT_EQ(C::RunningCount(), 1);
    }
    // The pump ends once nothing runs.
    ASSERT_TRUE(PumpUntil([] { return C::PendingMessages(MM_CONNECT_PUMP) == 0; }));
    EXPECT_EQ(C::RunningCount(), 0);
}

TEST(Connector, RealTimeMayNotChangeWhileOpen)
{
    Rig r(8, 1, 11025, 512);
    r.wave.Open();
    EXPECT_EQ(ErrorOf<EMMConnectorError>([&] { r.conn.SetRealTime(false); }),
              "Change to property while device was open");
    EXPECT_TRUE(r.conn.RealTime());
    r.conn.SetRealTime(true); // the same value is no change
    r.wave.Close();
    r.conn.SetRealTime(false);
    EXPECT_FALSE(r.conn.RealTime());
}

TEST(Connector, NonPcmInputFindsNoConversion)
{
    Rig r(8, 1, 8000, 256);
    TWaveFormatEx adpcm = PcmFormat(4, 1, 8000);
    adpcm.wFormatTag = 2;
    r.wave.SetPWaveFormat(&adpcm);
    auto& scope = r.View(&C::SetOscope1, 64);
    EXPECT_TRUE(scope.formats.empty());
    EXPECT_FALSE(r.conn.IsPCM());
    EXPECT_FALSE(r.conn.Converting());
    r.wave.Open();
    r.wave.Start();
    EXPECT_FALSE(r.conn.Active());
    r.wave.Deliver(Ramp(256));
    PumpFor(20);
    EXPECT_EQ(scope.BlockCount(), 0u);
    EXPECT_FALSE(r.conn.Running());
}

TEST(Connector, ViewRefusingTheFormatRaisesOutOfTheChange)
{
    Rig r(8, 1, 8000, 256);
    RecordingScope scope("Scope", &r.conn, 64);
    scope.rejectFormats = true;
    EXPECT_THROW(r.conn.SetOscope1(&scope), std::runtime_error);
    EXPECT_EQ(r.conn.Oscope1(), &scope); // the slot keeps it
    EXPECT_THROW(r.wave.SetFormat(16, 1, 8000), std::runtime_error);
    EXPECT_EQ(+r.conn.GetPWaveFormat()->wBitsPerSample, 16);
}

TEST(Connector, AcceleratedViewsAdvanceByPartOfTheirBlock)
{
    Rig r(16, 2, 8000, 2048, false);
    auto& s1 = r.View(&C::SetOscope1, 512);
    auto& s2 = r.View(&C::SetOscope2, 256);
    s1.scroll = s1.accelerate = true;
    s1.fftLength = 128;
    s1.bits = b16Bit;
    s1.mode = mStereo; // a quarter of 128 frames of 4 bytes = 128 bytes
    auto& g1 = r.View<RecordingSpectrogram>(&C::SetSpectrogram1, 256);
    auto& g2 = r.View<RecordingSpectrogram>(&C::SetSpectrogram2, 512);
    g1.accelerate = true; // advances a quarter block
    r.Manual();
    r.Start();
    r.wave.Deliver(Ramp(2048));
    r.Steps(40);
    EXPECT_EQ(s1.Offsets(), Every(128, 512, 2048)); // whole 512-byte blocks every 128 bytes
    EXPECT_EQ(s2.Offsets(), Every(128, 512, 2048)); // the second scope shares the pointer
    EXPECT_EQ(r.conn.HandOvers(C::grOscope), 13);
    // The spectrograms keep one read position each.
    EXPECT_EQ(g1.Offsets(), Every(64, 256, 2048));
    EXPECT_EQ(g2.Offsets(), (std::vector<int64_t>{0, 512, 1024, 1536}));
    EXPECT_EQ(r.conn.HandOvers(C::grSpectrogram), 29);
    EXPECT_FALSE(r.conn.Pending(C::grSpectrogram));
}

TEST(Connector, IdleHandlerAndDestructionPurge)
{
    {
        Rig r(8, 1, 11025, 512);
        auto& scope = r.View(&C::SetOscope1, 256);
        r.conn.SetEnterIdle(true);
        r.Start();
        EXPECT_TRUE(C::IdleHandlerInstalled());
        EXPECT_TRUE(MMApplicationHooks().IdleEventAssigned());
        EXPECT_FALSE(RunMMApplicationIdle()); // "not done": do not wait for a message
        r.wave.Deliver(Ramp(512));
        ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() == 2; }));
        r.wave.Stop();
        EXPECT_FALSE(C::IdleHandlerInstalled());
        EXPECT_FALSE(MMApplicationHooks().IdleEventAssigned());
        r.conn.SetEnterIdle(false);
    }
    // An idle event of the application's own is left alone.
    {
        MMApplicationHooks().SetIdleEvent([](TComponent*, bool& done) { done = true; });
        Rig r(8, 1, 11025, 512);
        r.conn.SetEnterIdle(true);
        r.Start();
        EXPECT_FALSE(C::IdleHandlerInstalled());
        EXPECT_TRUE(RunMMApplicationIdle());
        r.conn.SetEnterIdle(false);
        MMApplicationHooks().SetIdleEvent(TMMIdleEvent());
    }
    // A destroyed connector's queued messages go; another's stay.
    PumpFor(10);
    Rig b(8, 1, 8000, 2048);
    TestDriver wave1("W1");
    wave1.SetFormat(8, 1, 8000);
    auto a = std::make_unique<TMMConnector>();
    a->SetInput(&wave1);
    wave1.Open();
    wave1.Start();
    b.wave.Open();
    b.wave.Start();
    EXPECT_EQ(C::PendingMessages(MM_CONNECT_START), 2);
    a.reset();
    EXPECT_EQ(C::PendingMessages(MM_CONNECT_START), 1);
    ASSERT_TRUE(PumpUntil([&] { return b.conn.Running(); }));
    wave1.Stop();
    wave1.Close();
}

TEST(Connector, PumpKeepsTheEventLoopServed)
{
    Rig r(8, 1, 11025, 2048);
    auto& scope = r.View(&C::SetOscope1, 64);
    r.Start();
    r.wave.Deliver(Ramp(2048));
    // Timers and posted calls of others run while the pump runs.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    bool posted = false;
    QMetaObject::invokeMethod(&timer, [&] { posted = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 5 && posted; }));
    EXPECT_TRUE(r.conn.Running());
    EXPECT_GE(scope.BlockCount(), 1u);
}

TEST(Connector, OnePumpAtATimeAndAFailingViewEndsIt)
{
    std::vector<std::string> shown;
    TExceptionHandler old = SetExceptionHandler([&](std::exception_ptr e) {
        std::string s;
        shown.push_back(ExceptionText(e, s));
    });
    {
        Rig r(8, 1, 11025, 512);
        auto& scope = r.View(&C::SetOscope1, 256);
        r.Start();
        // Restarting again and again never adds a second pump.
        for (int i = 0; i < 5; ++i) {
            r.wave.Stop();
            r.wave.Start();
            r.conn.SetEnabled(false);
            r.conn.SetEnabled(true);
            ASSERT_TRUE(PumpUntil([&] { return r.conn.Running(); }));
            EXPECT_LE(C::PendingMessages(MM_CONNECT_PUMP), 1);
        }
        EXPECT_EQ(C::RunningCount(), 1);
        // One pump makes at most one step per millisecond: count the steps.
        int steps = 0;
        r.conn.OnTrigger = [&](TComponent*) { ++steps; };
        const int64_t from = MicroTime();
        PumpFor(200);
        const int64_t ms = (MicroTime() - from) / 1000;
        r.conn.OnTrigger = nullptr;
        EXPECT_GT(steps, 0);
        EXPECT_LE(steps, ms + 5);
        // A view that raises: reported, and the pump is not posted again.
        scope.throwOnBlock = true;
        r.wave.Deliver(Ramp(512));
        ASSERT_TRUE(PumpUntil([&] { return !shown.empty(); }));
        EXPECT_EQ(shown[0], "view failed");
        PumpFor(30);
        EXPECT_EQ(C::PendingMessages(MM_CONNECT_PUMP), 0);
        EXPECT_EQ(shown.size(), 1u);
        // The next start message brings the pump back.
        scope.throwOnBlock = false;
        r.conn.SetEnabled(false);
        r.conn.SetEnabled(true);
        r.wave.Deliver(Ramp(512));
        ASSERT_TRUE(PumpUntil([&] { return scope.BlockCount() == 2; }));
    }
    SetExceptionHandler(old);
}
