#pragma once
// The main window, TForm1 (instance Form1): built from its stored description,
// it owns every component and drives the capture from the top strip: the
// transport buttons, the sample-rate and bit selectors, and the transport looks
// that follow the capture device's events.
#include <QString>

#include "app/transport_button.h"
#include "capture/wave_in.h"
#include "framework/forms.h"
#include "framework/std_controls.h"

namespace qv {

class TForm1 : public TForm {
    Q_OBJECT
public:
    // The stored description compiled into the program.
    static const QString DescriptionPath;

    // Defines the handlers; the components come with ReadStoredDescription.
    explicit TForm1(TComponent* AOwner = nullptr);
    ~TForm1() override;

    // Reads a description (the stored one by default) and finds the components
    // the window works with. Throws EReadError naming the line and the problem.
    void ReadStoredDescription();
    void ReadStoredDescription(const std::string& text);

    // --- components ----------------------------------------------------------
    TMMWaveIn* WaveIn = nullptr;
    TTransportButton* Play_Btn = nullptr;
    TTransportButton* Pause_Btn = nullptr;
    TTransportButton* Close_Btn = nullptr;
    TComboBox* Fd_ComboBox = nullptr;
    TComboBox* Bit_ComboBox = nullptr;

    // --- handlers --------------------------------------------------------------
    void Play_BtnClick(TComponent* Sender);
    void Pause_BtnClick(TComponent* Sender);
    void Close_BtnClick(TComponent* Sender);
    void Fd_ComboBoxChange(TComponent* Sender);
    void Bit_ComboBoxChange(TComponent* Sender);
    void WaveInOpen(TComponent* Sender);
    void WaveInStart(TComponent* Sender);
    void WaveInPause(TComponent* Sender);
    void WaveInRestart(TComponent* Sender);
    void WaveInStop(TComponent* Sender);
    void WaveInClose(TComponent* Sender);
    void FormClose(TComponent* Sender, TCloseAction& Action);

private:
    // Sets the three buttons' looks (true = lit).
    void SetLooks(bool play, bool pause, bool close);
    // Changes a format property of the device, which it refuses while open:
    // stop, close, set, then bring the device back to the state it was in.
    template <typename F> void ChangeFormat(F&& set);
    // Makes the selectors show the format in force.
    void ShowFormat();
};

// Registers the classes only this window uses.
void RegisterAppComponents();

} // namespace qv
