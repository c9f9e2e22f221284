#include "dsp/dsp_registration.h"

#include "dsp/fft_window.h"
#include "framework/enum_names.h"

namespace qv {

void RegisterDspComponents()
{
    TEnumNames::Register<TMMFFTWindow>(
        {"fwRectangular", "fwHamming", "fwHanning", "fwBlackman", "fwGaussian", "fwWelch", "fwParzen"});
}

} // namespace qv
