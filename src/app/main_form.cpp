#include "app/main_form.h"

#include <QStringList>

#include "framework/description_reader.h"

// The description lives in a static library: its resource must be pulled in by name.
static void InitMainWindowResource() { Q_INIT_RESOURCE(main_window); }

namespace qv {

const QString TForm1::DescriptionPath = QStringLiteral(":/forms/main_window.qvd");

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner)
{
    auto notify = [this](void (TForm1::*m)(TComponent*)) {
        return TNotifyEvent([this, m](TComponent* s) { (this->*m)(s); });
    };
    DefineMethod("Play_BtnClick", notify(&TForm1::Play_BtnClick));
    DefineMethod("Pause_BtnClick", notify(&TForm1::Pause_BtnClick));
    DefineMethod("Close_BtnClick", notify(&TForm1::Close_BtnClick));
    DefineMethod("Fd_ComboBoxChange", notify(&TForm1::Fd_ComboBoxChange));
    DefineMethod("Bit_ComboBoxChange", notify(&TForm1::Bit_ComboBoxChange));
    DefineMethod("WaveInOpen", notify(&TForm1::WaveInOpen));
    DefineMethod("WaveInStart", notify(&TForm1::WaveInStart));
    DefineMethod("WaveInPause", notify(&TForm1::WaveInPause));
    DefineMethod("WaveInRestart", notify(&TForm1::WaveInRestart));
    DefineMethod("WaveInStop", notify(&TForm1::WaveInStop));
    DefineMethod("WaveInClose", notify(&TForm1::WaveInClose));
    DefineMethod("FormClose", TCloseEvent([this](TComponent* s, TCloseAction& a) { FormClose(s, a); }));
}

// The components go with the form; the device closes the driver as it is
// freed and fires no events then.
TForm1::~TForm1() = default;

void TForm1::ReadStoredDescription()
{
    InitMainWindowResource();
    ReadStoredDescription(LoadDescriptionResource(DescriptionPath));
}

void TForm1::ReadStoredDescription(const std::string& text)
{
    ReadDescription(text);
    WaveIn = FindRequired<TMMWaveIn>("WaveIn");
    Play_Btn = FindRequired<TTransportButton>("Play_Btn");
    Pause_Btn = FindRequired<TTransportButton>("Pause_Btn");
    Close_Btn = FindRequired<TTransportButton>("Close_Btn");
    Fd_ComboBox = FindRequired<TComboBox>("Fd_ComboBox");
    Bit_ComboBox = FindRequired<TComboBox>("Bit_ComboBox");
    // Before the device's first event the looks are those of a closed device.
    SetLooks(false, false, true);
}

// ---- transport ---------------------------------------------------------------------

void TForm1::Play_BtnClick(TComponent*) { WaveIn->Start(); }

void TForm1::Pause_BtnClick(TComponent*)
{
    const uint32_t state = WaveIn->State();
    // Nothing to pause or resume on a closed or stopped device.
    if (!(state & wsStarted))
        return;
    if (state & wsPaused)
        WaveIn->Restart();
    else
        WaveIn->Pause();
}

void TForm1::Close_BtnClick(TComponent*)
{
    WaveIn->Stop();
    WaveIn->Close();
}

// ---- format selectors ------------------------------------------------------------

template <typename F> void TForm1::ChangeFormat(F&& set)
{
    const uint32_t state = WaveIn->State();
    const bool wasOpen = (state & wsOpen) != 0;
    const bool wasStarted = (state & wsStarted) != 0;
    const bool wasPaused = (state & wsPaused) != 0;
    WaveIn->Stop();
    WaveIn->Close();
    try {
        set();
    } catch (...) {
        ShowFormat();
        throw;
    }
    ShowFormat();
    if (!wasOpen)
        return;
    if (wasStarted) {
        WaveIn->Start(); // opens first
        if (wasPaused)
            WaveIn->Pause();
    } else {
        WaveIn->Open();
    }
}

void TForm1::Fd_ComboBoxChange(TComponent*)
{
    const int index = Fd_ComboBox->ItemIndex();
    if (index < 0)
        return;
    bool ok = false;
    const int32_t rate = Fd_ComboBox->Items().at(index).toInt(&ok);
    if (!ok)
        return;
    ChangeFormat([&] { WaveIn->SetSampleRate(rate); });
}

void TForm1::Bit_ComboBoxChange(TComponent*)
{
    const int index = Bit_ComboBox->ItemIndex();
    if (index < 0)
        return;
    const QString item = Bit_ComboBox->Items().at(index);
    if (item != QLatin1String("8bit") && item != QLatin1String("16bit"))
        return;
    const TMMBits bits = item == QLatin1String("16bit") ? b16Bit : b8Bit;
    ChangeFormat([&] { WaveIn->SetBitLength(bits); });
}

void TForm1::ShowFormat()
{
    Fd_ComboBox->SetItemIndex(Fd_ComboBox->Items().indexOf(QString::number(WaveIn->SampleRate())));
    Bit_ComboBox->SetItemIndex(
        Bit_ComboBox->Items().indexOf(WaveIn->BitLength() == b16Bit ? QStringLiteral("16bit") : QStringLiteral("8bit")));
}

// ---- transport looks --------------------------------------------------------------

void TForm1::SetLooks(bool play, bool pause, bool close)
{
    // Relinking the chain while the description is read sends the device's stop
    // notice before the buttons exist.
    if (!Play_Btn || !Pause_Btn || !Close_Btn)
        return;
    Play_Btn->SetBitmapIndex(play ? 1 : 0);
    Pause_Btn->SetBitmapIndex(pause ? 3 : 2);
    Close_Btn->SetBitmapIndex(close ? 5 : 4);
}

void TForm1::WaveInOpen(TComponent*) { SetLooks(false, true, false); }
void TForm1::WaveInStart(TComponent*) { SetLooks(true, false, false); }
void TForm1::WaveInRestart(TComponent*) { SetLooks(true, false, false); }
void TForm1::WaveInPause(TComponent*) { SetLooks(false, true, false); }
void TForm1::WaveInStop(TComponent*) { SetLooks(false, true, false); }
void TForm1::WaveInClose(TComponent*) { SetLooks(false, false, true); }

void TForm1::FormClose(TComponent*, TCloseAction&) { WaveIn->Close(); }

void RegisterAppComponents() { RegisterTransportButton(); }

} // namespace qv
