#pragma once
// The gain stage's saturating kernels. Each sample x becomes
// (x * gain) shifted right arithmetically by 14 (1/16384 units, rounding toward
// minus infinity), clamped to the sample range: -128..127 around the 128 zero
// line for 8-bit data, -32768..32767 for 16-bit data. Any 32-bit gain is
// handled without overflow. Each kernel returns true when some sample was
// clamped. Data need not be aligned.
#include <cstdint>

namespace qv {

// 8-bit unsigned samples, one gain.
bool VolumeMono8(uint8_t* Data, int32_t Count, int32_t Gain);
// 8-bit stereo frames: the first byte with Left, the second with Right.
bool VolumeStereo8(uint8_t* Data, int32_t Frames, int32_t Left, int32_t Right);
// 16-bit signed little-endian samples, one gain.
bool VolumeMono16(uint8_t* Data, int32_t Count, int32_t Gain);
// 16-bit stereo frames: the first word with Left, the second with Right.
bool VolumeStereo16(uint8_t* Data, int32_t Frames, int32_t Left, int32_t Right);

} // namespace qv
