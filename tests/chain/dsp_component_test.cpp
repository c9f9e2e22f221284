#include "chain/dsp_component.h"

#include <QVariant>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <utility>

#include "chain/dsp_thread.h"
#include "chain_doubles.h"
#include "framework/exceptions.h"

using namespace qv;
using namespace qv::test;

namespace {
// WaveIn -> A -> B, as the main window links WaveIn -> MMVolume1 -> Connector.
struct Chain {
    TLog log;
    TestDriver wave{"WaveIn", &log};
    TestStage a{"A", &log};
    TestStage b{"B", &log};
    Chain()
    {
        wave.SetFormat(16, 2, 44100);
        wave.SetOutput(&a);
        b.SetInput(&a);
        log.clear();
    }
};

TLog Take(TLog& log) { return std::exchange(log, {}); }
} // namespace

TEST(DSPComponent, LinksAreTwoWayAndRefuseCycles)
{
    Chain c;
    EXPECT_EQ(c.wave.Output(), &c.a);
    EXPECT_EQ(c.a.Input(), &c.wave);
    EXPECT_EQ(c.a.Output(), &c.b);
    EXPECT_EQ(c.b.Input(), &c.a);
    EXPECT_EQ(c.a.InputProp(), "Output");
    EXPECT_EQ(c.a.OutputProp(), "Input");

    // Closing a cycle is refused without a word, and sends nothing.
    c.a.SetInput(&c.b);
    EXPECT_EQ(c.a.Input(), &c.wave);
    c.b.SetOutput(&c.wave); // the driver publishes no Input
    EXPECT_EQ(c.b.Output(), nullptr);
    c.b.SetOutput(&c.a);
    EXPECT_EQ(c.b.Output(), nullptr);
    c.a.SetInput(&c.a);
    EXPECT_EQ(c.a.Input(), &c.wave);
    EXPECT_TRUE(c.log.empty());

    // A stage that publishes no Output cannot feed another.
    TestSink sink;
    TestStage d("D");
    d.SetInput(&sink);
    EXPECT_EQ(d.Input(), nullptr);
    EXPECT_FALSE(d.CanSetInput(&sink));
    EXPECT_TRUE(d.CanSetOutput(&sink));
    EXPECT_FALSE(d.CanSetInput(nullptr));

    // Links are published properties that take a component by pointer.
    QObject* qa = c.a.AsQObject();
    EXPECT_EQ(qa->property("Input").value<TMMDSPComponent*>(), &c.wave);
    EXPECT_TRUE(qa->setProperty("Output", QVariant::fromValue<TMMDSPComponent*>(&d)));
    EXPECT_EQ(c.a.Output(), &d);
    EXPECT_EQ(d.Input(), &c.a);
    EXPECT_EQ(c.b.Input(), nullptr); // the old output let go of its input
    EXPECT_EQ(c.wave.HasPublishedProperty("Input"), false);
}

TEST(DSPComponent, RelinkingDetachesTheOldPartner)
{
    Chain c;
    // N after WaveIn: the old output of WaveIn loses its input, N takes the format.
    TestStage n("N", &c.log);
    n.SetInput(&c.wave);
    EXPECT_EQ(c.wave.Output(), &n);
    EXPECT_EQ(c.a.Input(), nullptr);
    EXPECT_EQ(c.a.Output(), &c.b); // the far side stays
    ASSERT_NE(n.GetPWaveFormat(), nullptr);
    EXPECT_EQ(+n.GetPWaveFormat()->nBlockAlign, 4);
    EXPECT_NE(n.GetPWaveFormat(), c.wave.GetPWaveFormat()); // a private copy
    // The stage whose link changed was sent Stopped first.
    ASSERT_FALSE(c.log.empty());
    EXPECT_EQ(c.log.front(), "N:Stopped");

    // Clearing B's input clears B's format and A's output.
    ASSERT_NE(c.b.GetPWaveFormat(), nullptr);
    c.b.SetInput(nullptr);
    EXPECT_EQ(c.b.GetPWaveFormat(), nullptr);
    EXPECT_EQ(c.a.Output(), nullptr);

    // Output := nothing clears the old output's format too.
    TestStage m("M");
    n.SetOutput(&m);
    EXPECT_EQ(+m.GetPWaveFormat()->nSamplesPerSec, 44100u);
    n.SetOutput(nullptr);
    EXPECT_EQ(m.Input(), nullptr);
    EXPECT_EQ(m.GetPWaveFormat(), nullptr);
}

TEST(DSPComponent, FormatTravelsDownAndWaitsForLoading)
{
    Chain c;
    ASSERT_NE(c.b.GetPWaveFormat(), nullptr);
    EXPECT_EQ(+c.b.GetPWaveFormat()->nSamplesPerSec, 44100u);
    c.wave.SetFormat(8, 1, 11025);
    EXPECT_EQ(+c.a.GetPWaveFormat()->nSamplesPerSec, 11025u);
    EXPECT_EQ(+c.b.GetPWaveFormat()->wBitsPerSample, 8);

    // A refusal raises out of the setter; the link stays made.
    c.b.refuseFormats = true;
    EXPECT_THROW(c.wave.SetFormat(16, 1, 8000), Exception);
    EXPECT_EQ(+c.a.GetPWaveFormat()->nSamplesPerSec, 8000u);
    EXPECT_EQ(c.b.Input(), &c.a);
    c.b.refuseFormats = false;

    // While loading nothing is forwarded; Loaded passes each stage's own on.
    TestDriver w("W");
    TestStage x("X"), y("Y");
    w.SetLoading(true);
    x.SetLoading(true);
    y.SetLoading(true);
    w.SetOutput(&x);
    x.SetOutput(&y);
    w.SetFormat(16, 1, 22050);
    EXPECT_EQ(x.GetPWaveFormat(), nullptr);
    w.Loaded();
    ASSERT_NE(x.GetPWaveFormat(), nullptr); // X took it, although still loading
    EXPECT_EQ(y.GetPWaveFormat(), nullptr); // X does not forward yet
    x.Loaded();
    ASSERT_NE(y.GetPWaveFormat(), nullptr);
    EXPECT_EQ(+y.GetPWaveFormat()->nSamplesPerSec, 22050u);
    const int calls = y.formatCalls;
    y.Loaded(); // its own record again: kept, nothing to forward
    EXPECT_EQ(y.formatCalls, calls + 1);
    EXPECT_EQ(+y.GetPWaveFormat()->nSamplesPerSec, 22050u);
}

TEST(DSPComponent, FanOutOrderAndBufferSizes)
{
    Chain c;
    c.wave.SetBufferSize(2048);
    c.wave.Open();
    EXPECT_EQ(Take(c.log), (TLog{"A:Opened(2048)", "B:Opened(2048)", "WaveIn:Opened"}));
    EXPECT_EQ(c.a.BufferSize(), 2048);
    EXPECT_TRUE(c.a.IsOpened());
    c.wave.Start();
    c.wave.Pause();
    c.wave.Restart();
    c.wave.Stop();
    c.wave.Close();
    EXPECT_EQ(c.log, (TLog{"A:Started", "B:Started", "WaveIn:Started", "A:Paused", "B:Paused", "WaveIn:Paused",
                           "A:Restarted", "B:Restarted", "WaveIn:Restarted", "A:Stopped", "B:Stopped",
                           "WaveIn:Stopped", "A:Closed", "B:Closed", "WaveIn:Closed"}));
    EXPECT_FALSE(c.a.IsOpened());

    // Working sizes are cut to whole frames of each stage's own format.
    TestDriver d("D");
    TestStage s("S");
    d.SetOutput(&s);
    auto odd = PcmFormat(24, 2, 8000); // 6-byte frames
    s.SetPWaveFormat(&odd);
    d.SetBufferSize(2048);
    d.Open();
    EXPECT_EQ(s.BufferSize(), 2046);
    EXPECT_EQ(s.RequestedBufferSize(), 2048);
    d.Close();
    EXPECT_EQ(s.BufferSize(), 2048);
    d.SetFormat(16, 2, 8000);
    d.SetBufferSize(3);
    d.Open();
    EXPECT_EQ(s.BufferSize(), 4);
    EXPECT_EQ(d.BufferSize(), 4);
    d.Close();
    s.SetInput(nullptr); // no format: the size stays as requested
    d.SetOutput(&s);
    s.SetPWaveFormat(nullptr);
    d.SetBufferSize(1000);
    d.Open();
    EXPECT_EQ(s.BufferSize(), 1000);
    // A started stage is stopped before its size or format changes.
    d.Start();
    EXPECT_TRUE(s.IsStarted());
    s.SetBufferSize(512);
    EXPECT_FALSE(s.IsStarted());
    d.Close();
}

TEST(DSPComponent, SegmentsOfTwoDrivingStages)
{
    // P -> D1 -> A -> D2 -> B: D1's segment starts at the passive stage P before it.
    TLog log;
    TestStage p("P", &log);
    TestDriver d1("D1", &log);
    TestStage a("A", &log);
    TestDriver d2("D2", &log);
    TestStage b("B", &log);
    // The drivers publish no Input, so the links into them are made by hand.
    d1.AssignInput(&p, "Output");
    p.AssignOutput(&d1, "Input");
    d1.SetOutput(&a);
    a.AssignOutput(&d2, "Input");
    d2.AssignInput(&a, "Output");
    d2.SetOutput(&b);
    d1.SetBufferSize(1024);
    d2.SetBufferSize(4096);
    log.clear();

    d1.Open();
    EXPECT_EQ(Take(log), (TLog{"P:Opened(1024)", "A:Opened(1024)", "B:Opened(1024)", "D2:Opened", "D1:Opened"}));
    EXPECT_EQ(d2.RequestedBufferSize(), 1024);
    d1.Start();
    EXPECT_EQ(Take(log), (TLog{"P:Started", "A:Started", "B:Started", "D2:Started", "D1:Started"}));
    // Stopping and closing reach the next driving stage first.
    d1.Stop();
    EXPECT_EQ(Take(log), (TLog{"B:Stopped", "D2:Stopped", "P:Stopped", "A:Stopped", "D1:Stopped"}));
    d1.Close();
    EXPECT_EQ(log, (TLog{"B:Closed", "D2:Closed", "P:Closed", "A:Closed", "D1:Closed"}));

    // Unhook the hand-made links before the stages go.
    d1.AssignInput(nullptr, "");
    p.AssignOutput(nullptr, "");
}

TEST(DSPComponent, BuffersPassDownInOrder)
{
    Chain c;
    std::vector<std::string> events;
    c.wave.OnBufferReady = [&](TComponent* sender, PWaveHdr hdr) {
        events.push_back(sender->Name() + ":" + std::to_string(hdr->dwBytesRecorded));
    };
    c.a.addOnBuffer = 1;
    c.b.addOnBuffer = 10;
    c.wave.Deliver({1, 2, 3, 4});
    EXPECT_EQ(events, (std::vector<std::string>{"WaveIn:4"}));
    EXPECT_EQ(Take(c.log), (TLog{"A:BufferReady", "B:BufferReady"}));
    const auto* data = reinterpret_cast<const uint8_t*>(c.wave.LastBuffer()->lpData);
    EXPECT_EQ(data[0], 12);
    EXPECT_EQ(data[3], 15);

    // The pull direction asks the input first, then each stage processes.
    PWaveHdr h = AllocWaveHdr(2);
    h->dwBytesRecorded = 2;
    bool more = true;
    EXPECT_FALSE(c.b.BufferLoad(h, more));
    EXPECT_FALSE(more);
    EXPECT_EQ(c.log, (TLog{"A:BufferLoad", "B:BufferLoad"}));
    EXPECT_EQ(static_cast<uint8_t>(h->lpData[0]), 11);
    FreeWaveHdr(h);

    // OnBufferReady can be assigned by name with its exact type.
    TMMBufferEvent handler = [&](TComponent*, PWaveHdr) { events.push_back("named"); };
    EXPECT_TRUE(c.a.SetEvent("OnBufferReady", handler));
    EXPECT_FALSE(c.a.SetEvent("OnBufferReady", 42));
    c.wave.Deliver({0});
    EXPECT_EQ(events.back(), "named");
}

TEST(DSPComponent, RemovalAndDestructionUnlink)
{
    TLog log;
    TestDriver wave("WaveIn", &log);
    wave.SetFormat(8, 1, 11025);
    auto a = std::make_unique<TestStage>("A", &log);
    TestStage b("B", &log);
    wave.SetOutput(a.get());
    b.SetInput(a.get());
    const size_t before = TMMDSPComponent::Instances().size();
    a.reset();
    EXPECT_EQ(TMMDSPComponent::Instances().size(), before - 1);
    EXPECT_EQ(wave.Output(), nullptr);
    EXPECT_EQ(b.Input(), nullptr);
    EXPECT_EQ(b.GetPWaveFormat(), nullptr);
    wave.Deliver({1}); // goes nowhere, touches nothing freed

    // Through an owner: the owner frees its stages newest first.
    auto* owner = new TestStage("Owner");
    auto* x = new TestStage("X", nullptr, owner);
    auto* y = new TestStage("Y", nullptr, owner);
    TestStage z("Z");
    x->SetOutput(y);
    y->SetOutput(&z);
    delete owner;
    EXPECT_EQ(z.Input(), nullptr);

    // The removal notice alone unlinks as well.
    TestStage p("P"), q("Q");
    p.SetOutput(&q);
    q.Notification(&p, TOperation::opRemove);
    EXPECT_EQ(q.Input(), nullptr);
    EXPECT_EQ(p.Output(), nullptr);
}

namespace {
// Counts its runs; with wait set the body then runs until terminated.
class CountingThread : public TMMDSPThread {
public:
    CountingThread(TMMDSPComponent* owner, std::atomic<int>* runs, bool wait)
        : TMMDSPThread(owner), FRuns(runs), FWait(wait) {}
    ~CountingThread() override
    {
        Terminate();
        if (!IsCurrentThread())
            WaitFor();
    }

protected:
    void Execute() override
    {
        FRuns->fetch_add(1);
        while (FWait && !Terminated())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    std::atomic<int>* FRuns;
    bool FWait;
};
} // namespace

TEST(DSPThread, SuspendedUntilResumedAndListed)
{
    TestStage owner("Owner");
    std::atomic<int> runs{0};
    const size_t base = TMMDSPThread::ThreadCount();
    {
        CountingThread t(&owner, &runs, true);
        EXPECT_EQ(TMMDSPThread::ThreadCount(), base + 1);
        EXPECT_TRUE(TMMDSPThread::Exists(&t));
        EXPECT_EQ(t.Owner(), &owner);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(runs.load(), 0); // created suspended
        t.Resume();
        t.Resume();
        for (int i = 0; i < 5000 && runs.load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(runs.load(), 1);
        EXPECT_FALSE(t.Finished());
        EXPECT_FALSE(t.IsCurrentThread());
    } // terminates and joins
    EXPECT_EQ(TMMDSPThread::ThreadCount(), base);

    // A thread that frees itself leaves the list by itself.
    auto* once = new CountingThread(nullptr, &runs, false);
    once->SetFreeOnTerminate(true);
    once->Resume();
    for (int i = 0; i < 5000 && TMMDSPThread::ThreadCount() != base; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(TMMDSPThread::ThreadCount(), base);
    EXPECT_EQ(runs.load(), 2);
}
