#include "app/startup.h"

#include <QApplication>
#include <QStyleFactory>
#include <memory>

#include "chain/chain_registry.h"
#include "display/oscope.h"
#include "framework/std_controls.h"
#include "platform/message_box.h"
#ifdef QV_WITH_DSP
#include "dsp/dsp_registration.h"
#include "dsp/vector_math.h"
#endif

namespace qv {

void RegisterAllComponents()
{
    RegisterFrameworkComponents();
    RegisterChainComponents();
    RegisterWaveInComponents();
    RegisterOscopeComponents();
#ifdef QV_WITH_DSP
    RegisterDspComponents();
#endif
    RegisterAppComponents();
}

TForm1* StartUp(TApplication& app, const std::string& description)
{
    app.SetTitle("Quorvane");
    RegisterAllComponents();
    try {
#ifdef QV_WITH_DSP
        LoadVectorMathLibrary();
#endif
        auto form = std::make_unique<TForm1>(nullptr);
        if (description.empty())
            form->ReadStoredDescription();
        else
            form->ReadStoredDescription(description);
        app.AddForm(form.get());
        form.release();
    } catch (...) {
        app.ShowException(std::current_exception());
        return nullptr;
    }
    auto* form = static_cast<TForm1*>(app.Components(app.ComponentCount() - 1));
    // An error here is shown like one in a click handler; the window still
    // comes up, with the looks of a closed device.
    try {
        form->WaveIn->Open();
        form->WaveIn->Start();
    } catch (...) {
        app.HandleException(std::current_exception());
    }
    return form;
}

int RunQuorvane(int& argc, char** argv)
{
    TApplication app(argc, argv, [](const std::string& text, const std::string& caption) {
        ShowMessageBox(text, caption);
    });
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (!StartUp(app))
        return 1;
    app.Run();
    return 0;
}

} // namespace qv
