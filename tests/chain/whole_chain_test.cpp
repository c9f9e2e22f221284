// The chain of the main window, WaveIn -> MMVolume1 -> Connector -> Scope, read
// from a stored description and driven by the scripted wave-input driver, with
// the gain switch changed while buffers flow.
#include <QObject>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "capture/wave_in.h"
#include "chain/chain_registry.h"
#include "chain/connector.h"
#include "chain/volume.h"
#include "framework/description_reader.h"
#include "platform/message_window.h"
#include "platform/wave_in_fake_driver.h"
#include "view_doubles.h"

using namespace qv;
using namespace qv::test;

namespace qvchaintest {

// The owner the description is read into, standing in for the main window.
class TChainForm : public QObject, public TComponent {
    Q_OBJECT
public:
    QObject* AsQObject() override { return this; }
};

} // namespace qvchaintest

using qvchaintest::TChainForm;

namespace {

const char* kDescription = R"(object Form1: TChainForm
  object WaveIn: TMMWaveIn
    TimeFormat = tfMillisecond
    Output = MMVolume1
  end
  object MMVolume1: TMMVolume
    Input = WaveIn
    Output = Connector
    Enabled = False
  end
  object Connector: TMMConnector
    Input = MMVolume1
    Oscope1 = Scope
    AutoConvert = False
    RefreshOnStop = False
    EnterIdle = False
  end
  object Scope: TRecordingScope
  end
end
)";

struct MainChain {
    TFakeWaveInDriver driver;
    TChainForm form;
    TMMWaveIn* wave = nullptr;
    TMMVolume* volume = nullptr;
    TMMConnector* connector = nullptr;
    RecordingScope* scope = nullptr;

    MainChain()
    {
        driver.Install();
        RegisterWaveInComponents();
        RegisterChainComponents();
        TComponentRegistry::Register("TRecordingScope", [](TComponent* owner) {
            auto* s = new RecordingScope("Scope", nullptr, 256);
            if (owner)
                owner->InsertComponent(s);
            return s;
        });
        ReadDescription(&form, kDescription, [](const std::string&) -> const std::any* { return nullptr; });
        wave = dynamic_cast<TMMWaveIn*>(form.FindComponent("WaveIn"));
        volume = dynamic_cast<TMMVolume*>(form.FindComponent("MMVolume1"));
        connector = dynamic_cast<TMMConnector*>(form.FindComponent("Connector"));
        scope = dynamic_cast<RecordingScope*>(form.FindComponent("Scope"));
    }
    ~MainChain()
    {
        if (wave) {
            wave->Stop();
            wave->Close();
        }
    }
    // Hands the driver one buffer's worth and waits until the chain has it.
    void DeliverBuffer(const std::vector<uint8_t>& bytes)
    {
        const int64_t before = wave->BytesRecorded();
        ASSERT_EQ(driver.Deliver(bytes), bytes.size());
        ASSERT_TRUE(WaitWithMessages(
            [&] { return wave->BytesRecorded() >= before + static_cast<int64_t>(bytes.size()); }, 10000));
    }
};

// Bytes 96 and 160 (-32 and +32): doubled they become 64 and 192.
std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = i % 2 ? 160 : 96;
    return v;
}

} // namespace

TEST(WholeChain, MainWindowChainWithTheGainSwitch)
{
    MainChain m;
    ASSERT_TRUE(m.wave && m.volume && m.connector && m.scope);
    m.scope->SetSource(m.connector);
    // The links and settings as the main window stores them.
    EXPECT_EQ(m.wave->Output(), m.volume);
    EXPECT_EQ(m.volume->Input(), m.wave);
    EXPECT_EQ(m.volume->Output(), m.connector);
    EXPECT_EQ(m.connector->Input(), m.volume);
    EXPECT_EQ(m.connector->Oscope1(), m.scope);
    EXPECT_FALSE(m.volume->Enabled());
    EXPECT_FALSE(m.connector->RefreshOnStop());
    ASSERT_FALSE(m.scope->formats.empty()); // the format reached the view
    EXPECT_EQ(+m.scope->formats.back().nSamplesPerSec, 11025u);
    EXPECT_EQ(+m.scope->formats.back().wBitsPerSample, 8);

    m.wave->Open();
    m.wave->Start();
    EXPECT_EQ(m.volume->RealBufferSize(), 2048);
    EXPECT_EQ(m.connector->DataSize(), 2048);
    ASSERT_TRUE(WaitWithMessages([&] { return m.connector->Running(); }, 5000));

    // Gain switch off: the samples reach the view unchanged.
    m.DeliverBuffer(Pattern(2048));
    ASSERT_TRUE(WaitWithMessages([&] { return m.scope->BlockCount() >= 1; }, 5000));
    auto first = m.scope->Blocks()[0];
    EXPECT_EQ(first.Offset, 0);
    EXPECT_EQ(first.Bytes[0], 96);
    EXPECT_EQ(first.Bytes[1], 160);

    ASSERT_TRUE(WaitWithMessages([&] { return !m.connector->Pending(TMMConnector::grOscope); }, 5000));

    // Gain switch on at double gain, without interrupting the capture.
    m.volume->SetVolume(32768);
    m.volume->SetEnabled(true);
    m.scope->Clear();
    m.DeliverBuffer(Pattern(2048));
    ASSERT_TRUE(WaitWithMessages([&] { return m.scope->BlockCount() >= 1; }, 5000));
    auto doubled = m.scope->Blocks()[0];
    EXPECT_EQ(doubled.Offset, 0);
    EXPECT_EQ(doubled.Bytes[0], 64);
    EXPECT_EQ(doubled.Bytes[1], 192);

    ASSERT_TRUE(WaitWithMessages([&] { return !m.connector->Pending(TMMConnector::grOscope); }, 5000));

    // And off again: the last Volume is kept, the samples pass unchanged.
    m.volume->SetEnabled(false);
    m.scope->Clear();
    m.DeliverBuffer(Pattern(2048));
    ASSERT_TRUE(WaitWithMessages([&] { return m.scope->BlockCount() >= 1; }, 5000));
    EXPECT_EQ(m.scope->Blocks()[0].Bytes[0], 96);
    EXPECT_EQ(m.volume->Volume(), 32768);
    ASSERT_TRUE(WaitWithMessages([&] { return !m.connector->Pending(TMMConnector::grOscope); }, 5000));
    EXPECT_EQ(m.scope->BlockCount(), 8u);

    // Stop keeps the picture (RefreshOnStop False), close ends the chain.
    m.wave->Stop();
    EXPECT_EQ(m.scope->resets.load(), 0);
    EXPECT_FALSE(m.connector->Active());
    m.wave->Close();
    EXPECT_FALSE(m.volume->Active());
    EXPECT_EQ(TMMConnector::RunningCount(), 0);
}

TEST(WholeChain, GainSwitchFlippedFromAnotherThreadNeverSplitsABuffer)
{
    MainChain m;
    ASSERT_TRUE(m.wave && m.volume && m.connector);
    // Buffers are processed on the device's worker thread while the main
    // thread flips the switch: every buffer is scaled entirely or not at all.
    m.wave->SetCallBackMode(cmThread);
    m.volume->SetVolume(32768);
    std::mutex lock;
    std::vector<std::vector<uint8_t>> seen;
    m.connector->OnBufferReady = [&](TComponent*, PWaveHdr h) {
        std::lock_guard<std::mutex> l(lock);
        seen.emplace_back(h->lpData, h->lpData + h->dwBytesRecorded);
    };
    m.wave->Open();
    m.wave->Start();
    std::atomic<bool> stop{false};
    std::thread flipper([&] {
        bool on = false;
        while (!stop.load()) {
            on = !on;
            m.volume->SetEnabled(on);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 40; ++i)
        m.DeliverBuffer(Pattern(2048));
    stop.store(true);
    flipper.join();
    m.wave->Stop();
    std::lock_guard<std::mutex> l(lock);
    ASSERT_EQ(seen.size(), 40u);
    for (const auto& buf : seen) {
        const bool scaled = buf[0] == 64;
        for (size_t i = 0; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], scaled ? (i % 2 ? 192 : 64) : (i % 2 ? 160 : 96)) << i;
    }
}

#include "whole_chain_test.moc"
