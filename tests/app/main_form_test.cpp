#include "app/main_form.h"

#include <QImage>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "../platform/alsa_test_config.h"
#include "app/startup.h"
#include "platform/message_box.h"
#include "platform/message_window.h"
#include "platform/wave_in_fake_driver.h"

using namespace qv;

namespace {

bool WaitFor(const std::function<bool()>& done) { return WaitWithMessages(done, 10000); }

const char* const kNoDevice = "No wave audio recording device found";

class MainForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDriver.Install();
        FOldHook = SetMessageBoxHook([this](const std::string& text, const std::string& caption) {
            boxes.push_back(text);
            captions.push_back(caption);
        });
        app = std::make_unique<TApplication>(
            [](const std::string& text, const std::string& caption) { ShowMessageBox(text, caption); });
    }
    void TearDown() override
    {
        app.reset();
        SetMessageBoxHook(std::move(FOldHook));
    }

    // Starts the program up to its event loop and logs each event of WaveIn with
    // the looks its handler left.
    void Start()
    {
        form = StartUp(*app);
        ASSERT_NE(form, nullptr);
        TMMWaveIn* w = form->WaveIn;
        for (auto [event, name] : {std::pair{&w->OnOpen, "Open"}, {&w->OnStart, "Start"}, {&w->OnPause, "Pause"},
                                   {&w->OnRestart, "Restart"}, {&w->OnStop, "Stop"}, {&w->OnClose, "Close"}}) {
            ASSERT_TRUE(*event) << name;
            *event = [this, handler = *event, name = std::string(name)](TComponent* s) {
                handler(s);
                events.push_back(name + " " + Looks() + (form->isVisible() ? "" : " hidden"));
            };
        }
    }

    // "lit,dim,dim" for Play_Btn, Pause_Btn, Close_Btn.
    std::string Looks() const
    {
        auto look = [](const TTransportButton* b, int dim, int lit) -> std::string {
            const int i = b->BitmapIndex();
            return i == lit ? "lit" : i == dim ? "dim" : "bad" + std::to_string(i);
        };
        return look(form->Play_Btn, 0, 1) + "," + look(form->Pause_Btn, 2, 3) + "," + look(form->Close_Btn, 4, 5);
    }

    void Click(TTransportButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(7, 7)); }

    TFakeWaveInDriver FDriver;
    TMessageBoxHook FOldHook;
    std::unique_ptr<TApplication> app;
    TForm1* form = nullptr;
    std::vector<std::string> events;
    std::vector<std::string> boxes;
    std::vector<std::string> captions;
};

} // namespace

TEST_F(MainForm, StartUpBuildsTheWindowThenOpensAndStartsBeforeTheEventLoop)
{
    Start();
    EXPECT_EQ(app->Title(), "Quorvane");
    EXPECT_EQ(app->MainForm(), form);
    EXPECT_EQ(form->Name(), "Form1");
    EXPECT_EQ(form->Caption(), QStringLiteral("Quorvane v.1.0"));
    EXPECT_EQ(form->ClientWidth(), 688);
    EXPECT_EQ(form->ClientHeight(), 402);
    // Shown by the event loop, not before.
    EXPECT_FALSE(form->isVisible());
    // The device: its stored settings, opened and started through the driver in that order.
    TMMWaveIn* w = form->WaveIn;
    EXPECT_EQ(std::tuple(w->TimeFormat(), w->CallBackMode(), w->SampleRate(), w->BitLength(), w->Mode()),
              std::tuple(tfMillisecond, cmWindow, 11025, b8Bit, mMono));
    EXPECT_EQ(w->State(), static_cast<uint32_t>(wsOpen | wsStarted));
    const std::vector<std::string> log = FDriver.Log();
    const auto at = [&](const std::string& call) { return std::find(log.begin(), log.end(), call) - log.begin(); };
    EXPECT_LT(at("Open"), at("AddBuffer"));
    EXPECT_LT(at("AddBuffer"), at("Start"));
    EXPECT_EQ(FDriver.CallCount(TFakeWaveInDriver::fcAddBuffer), 10);
    EXPECT_TRUE(FDriver.IsStarted());
    EXPECT_EQ(Looks(), "lit,dim,dim");
    EXPECT_TRUE(boxes.empty());

    // The top strip.
    EXPECT_EQ(form->Play_Btn->BoundsRect(), Bounds(2, 0, 15, 15));
    EXPECT_EQ(form->Pause_Btn->BoundsRect(), Bounds(16, 0, 15, 15));
    EXPECT_EQ(form->Close_Btn->BoundsRect(), Bounds(30, 0, 15, 15));
    EXPECT_EQ(std::tuple(form->Fd_ComboBox->Left(), form->Fd_ComboBox->Width(), form->Fd_ComboBox->Height()),
              std::tuple(66, 56, 19));
    EXPECT_EQ(std::tuple(form->Bit_ComboBox->Left(), form->Bit_ComboBox->Width()), std::tuple(142, 49));
    EXPECT_EQ(form->Fd_ComboBox->Items(),
              (QStringList{"8000", "11025", "16000", "22050", "24000", "32000", "44100"}));
    EXPECT_EQ(form->Fd_ComboBox->ItemIndex(), 1);
    EXPECT_EQ(form->Bit_ComboBox->Items(), (QStringList{"8bit", "16bit"}));
    EXPECT_EQ(form->Bit_ComboBox->ItemIndex(), 0);
    EXPECT_EQ(form->Fd_ComboBox->DropDownCount(), 9);
    auto* strip = dynamic_cast<TPanel*>(form->FindComponent("Panel1"));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->BoundsRect(), Bounds(0, 0, 688, 15));
    EXPECT_EQ(strip->Color(), clBlack);
    EXPECT_EQ(form->Play_Btn->Parent(), strip);

    // Captured bytes travel from the driver into the device.
    std::vector<uint8_t> bytes(4096, 0x80);
    EXPECT_EQ(FDriver.Deliver(bytes), 4096u);
    ASSERT_TRUE(WaitFor([&] { return form->WaveIn->BytesRecorded() == 4096; }));

    // The event loop shows the window and ends when it closes: stop, then close.
    QTimer::singleShot(0, [this] {
        EXPECT_TRUE(form->isVisible());
        form->Close();
    });
    app->Run();
    EXPECT_TRUE(app->Terminated());
    EXPECT_EQ(events, (std::vector<std::string>{"Stop dim,lit,dim", "Close dim,dim,lit"}));
    EXPECT_FALSE(FDriver.IsOpen());
    EXPECT_EQ(form->WaveIn->State(), static_cast<uint32_t>(wsClosed));
}

TEST_F(MainForm, WithoutADeviceTheMessageShowsOnceAndTheWindowComesUpClosed)
{
    FDriver.SetDevices({});
    Start();
    EXPECT_EQ(boxes, std::vector<std::string>{kNoDevice});
    EXPECT_EQ(captions, std::vector<std::string>{"Quorvane"});
    EXPECT_EQ(Looks(), "dim,dim,lit");
    EXPECT_EQ(form->WaveIn->State(), static_cast<uint32_t>(wsClosed));
    // The user may retry: the same message, once per click, nothing else changes.
    form->Show();
    Click(form->Play_Btn);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes.back(), kNoDevice);
    Click(form->Pause_Btn);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Looks(), "dim,dim,lit");
    EXPECT_TRUE(events.empty());
}

TEST_F(MainForm, TransportLooksFollowEveryEventAndADriverFailureIsShownOnce)
{
    Start();
    form->Show();
    Click(form->Pause_Btn); // running: pause
    Click(form->Pause_Btn); // paused: restart
    Click(form->Close_Btn); // stop, then close
    Click(form->Play_Btn);  // open, then start
    EXPECT_EQ(events, (std::vector<std::string>{"Pause dim,lit,dim", "Restart lit,dim,dim", "Stop dim,lit,dim",
                                                "Close dim,dim,lit", "Open dim,lit,dim", "Start lit,dim,dim"}));
    EXPECT_EQ(FDriver.CallCount(TFakeWaveInDriver::fcOpen), 2);
    events.clear();
    // Play on a running capture changes nothing.
    Click(form->Play_Btn);
    EXPECT_TRUE(events.empty());
    // An open but stopped device looks like a paused one; Pause leaves it alone.
    form->WaveIn->Stop();
    EXPECT_EQ(Looks(), "dim,lit,dim");
    Click(form->Pause_Btn);
    form->WaveIn->Close();
    Click(form->Pause_Btn); // closed: ignored too
    EXPECT_EQ(events, (std::vector<std::string>{"Stop dim,lit,dim", "Close dim,dim,lit"}));
    EXPECT_TRUE(boxes.empty());

    // The looks on screen: lit aqua, dim teal.
    Click(form->Play_Btn);
    const QImage play = form->Play_Btn->grab().toImage();
    const QImage close = form->Close_Btn->grab().toImage();
    EXPECT_EQ(play.pixel(7, 7), ToQColor(clAqua).rgb());
    EXPECT_EQ(close.pixel(7, 7), ToQColor(clTeal).rgb());
    EXPECT_EQ(close.pixel(1, 1), ToQColor(clBlack).rgb());

    // A driver failure inside a click handler reaches the message box once.
    Click(form->Close_Btn);
    FDriver.SetErrorText(MMSYSERR_ERROR, "Unspecified error");
    FDriver.FailCall(TFakeWaveInDriver::fcStart, MMSYSERR_ERROR);
    Click(form->Play_Btn);
    EXPECT_EQ(boxes, std::vector<std::string>{"WaveInStart:\n\rUnspecified error"});
    EXPECT_EQ(Looks(), "dim,dim,lit");
    EXPECT_EQ(form->WaveIn->State(), static_cast<uint32_t>(wsClosed));
    Click(form->Play_Btn); // the next try works
    EXPECT_EQ(Looks(), "lit,dim,dim");
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(MainForm, FormatSelectorsRestartARunningCaptureWithTheNewFormat)
{
    Start();
    form->Show();
    form->Fd_ComboBox->SelectByUser(6); // 44100
    EXPECT_EQ(events, (std::vector<std::string>{"Stop dim,lit,dim", "Close dim,dim,lit", "Open dim,lit,dim",
                                                "Start lit,dim,dim"}));
    EXPECT_EQ(form->WaveIn->SampleRate(), 44100);
    ASSERT_TRUE(FDriver.OpenFormat().has_value());
    EXPECT_EQ(FDriver.OpenFormat()->nSamplesPerSec, 44100u);
    EXPECT_TRUE(FDriver.IsStarted());
    EXPECT_EQ(form->Fd_ComboBox->ItemIndex(), 6);

    events.clear();
    form->Bit_ComboBox->SelectByUser(1); // 16bit
    EXPECT_EQ(events.size(), 4u);
    EXPECT_EQ(form->WaveIn->BitLength(), b16Bit);
    EXPECT_EQ(FDriver.OpenFormat()->wBitsPerSample, 16u);
    EXPECT_EQ(FDriver.OpenFormat()->nSamplesPerSec, 44100u);
    EXPECT_EQ(form->Bit_ComboBox->Text(), QStringLiteral("16bit"));

    // Paused: the capture comes back paused.
    Click(form->Pause_Btn);
    events.clear();
    form->Fd_ComboBox->SelectByUser(0); // 8000
    EXPECT_EQ(events.back(), "Pause dim,lit,dim");
    EXPECT_EQ(form->WaveIn->State(), static_cast<uint32_t>(wsOpen | wsStarted | wsPaused));
    EXPECT_EQ(FDriver.OpenFormat()->nSamplesPerSec, 8000u);

    // Closed: the new format is only stored, for the next start.
    Click(form->Close_Btn);
    events.clear();
    form->Bit_ComboBox->SelectByUser(0);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(form->WaveIn->BitLength(), b8Bit);
    EXPECT_EQ(form->WaveIn->State(), static_cast<uint32_t>(wsClosed));
    Click(form->Play_Btn);
    EXPECT_EQ(FDriver.OpenFormat()->wBitsPerSample, 8u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainForm, AFormatTheDeviceCannotRecordIsReportedOnceAndTheSelectorShowsTheValueInForce)
{
    TFakeWaveInDriver::TDevice mono8only;
    mono8only.formats = WAVE_FORMAT_1M08 | WAVE_FORMAT_2M08 | WAVE_FORMAT_4M08;
    FDriver.SetDevices({mono8only});
    Start();
    form->Show();
    form->Bit_ComboBox->SelectByUser(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("WaveInOpen:\n\rThe actual device can", 0), 0u) << boxes[0];
    EXPECT_EQ(form->WaveIn->BitLength(), b16Bit);
    EXPECT_EQ(form->Bit_ComboBox->ItemIndex(), 1);
    EXPECT_EQ(Looks(), "dim,dim,lit");
    // Back to 8 bits: the device stays closed (it was closed by the failure).
    form->Bit_ComboBox->SelectByUser(0);
    EXPECT_EQ(boxes.size(), 1u);
    Click(form->Play_Btn);
    EXPECT_EQ(Looks(), "lit,dim,dim");
}

TEST_F(MainForm, ABadDescriptionStopsStartUpWithItsLineAndProblem)
{
    EXPECT_EQ(StartUp(*app, "object Form1: TForm1\n  object Odd: TNoSuchThing\n  end\nend\n"), nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"line 2: unknown class 'TNoSuchThing'"});
    EXPECT_EQ(app->ComponentCount(), 0);
    boxes.clear();
    // A description without the device the window drives.
    EXPECT_EQ(StartUp(*app, "object Form1: TForm1\nend\n"), nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"the stored description of TForm1 lacks component 'WaveIn'"});
    EXPECT_EQ(app->ComponentCount(), 0);
    EXPECT_EQ(FDriver.CallCount(TFakeWaveInDriver::fcOpen), 0);
}

// The real ALSA driver with its "default" device routed to the test source.
TEST(MainFormAlsa, CapturesFromTheDefaultDevice)
{
    std::vector<std::string> boxes;
    TMessageBoxHook old = SetMessageBoxHook([&](const std::string& t, const std::string&) { boxes.push_back(t); });
    {
        qvtest::TPrivateAlsaConfig alsa(qvtest::TPrivateAlsaConfig::TestSource("tone 1000 amplitude 50"));
        TApplication app([](const std::string& t, const std::string& c) { ShowMessageBox(t, c); });
        TForm1* form = StartUp(app);
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_EQ(form->Play_Btn->BitmapIndex(), 1);
        // A second of sound at 11025 bytes per second fills five 2048-byte buffers.
        ASSERT_TRUE(WaitFor([&] { return form->WaveIn->BytesRecorded() >= 5 * 2048; }));
        form->Show();
        form->Close();
        EXPECT_EQ(form->WaveIn->State(), static_cast<uint32_t>(wsClosed));
        EXPECT_EQ(form->Close_Btn->BitmapIndex(), 5);
    }
    SetMessageBoxHook(std::move(old));
    EXPECT_TRUE(boxes.empty());
}
