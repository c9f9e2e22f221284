#pragma once
// The program's start-up, in order: the application object and its title, the
// component classes, the vector-math library, the main window from its stored
// description, then WaveIn.Open and WaveIn.Start before the event loop.
#include "app/main_form.h"
#include "framework/application.h"

namespace qv {

// Registers the component classes of every library the window is built from.
void RegisterAllComponents();
// Everything before the event loop. A failure of the capture device is shown
// and start-up goes on; a failure that leaves no window to show (the vector-math
// library, the stored description) is shown and null returned. A description
// text given replaces the stored one (tests).
TForm1* StartUp(TApplication& app, const std::string& description = {});
// The whole program; the process's exit code.
int RunQuorvane(int& argc, char** argv);

} // namespace qv
