#pragma once
// The chain library's component classes and enumeration names, for the
// stored-description reader: the program calls this once at start-up.
namespace qv {

// Registers TMMVolume and TMMConnector and the names of TMMMode, TMMBits,
// TMMChannel and TMMTriggerMode.
void RegisterChainComponents();

} // namespace qv
