#pragma once

namespace qv {

// Registers the names of this library's enumerations (TMMFFTWindow) for the
// stored-description reader. The library has no component classes of its own.
void RegisterDspComponents();

} // namespace qv
