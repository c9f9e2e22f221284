#pragma once
// The C interface of the vector-math shared library: the names its entry points
// are exported under and their signatures. The program never links the library;
// it opens it at start-up and looks these names up (dsp/vector_math.h).
//
// Transform data is an array of n = 2*Count floats, taken as Count complex
// values (even elements real parts, odd elements imaginary parts). Count is the
// half length n/2 and must be a power of two; the kernels do nothing otherwise.
// Direction is 1 (forward, e^-i) or -1 (inverse); any value >= 0 counts as 1.
#include <cstdint>

extern "C" {

// Forward: in-place complex FFT of Count points, natural order in, bit-reversed
// order out, unscaled. Inverse: the first step of the inverse real transform,
// which undoes the real-output split (bins 1..Count-1 become the half-length
// complex spectrum of the packed signal; the imaginary slot of bin 0 is ignored).
using TDoCplxFFT2Proc = void (*)(int32_t Direction, int32_t Count, const void* SinTable1, float* Data);

// Reorders the 2^Order complex pairs of Data: pair i and pair Table[i] change
// places. Table must be the bit-reversal table of that order.
using TfvecBitRev2Proc = void (*)(int32_t Order, const int32_t* Table, float* Data);

// Forward: turns the half-length complex transform of the packed real input
// (natural order) into the real input's bins 1..Count-1; pair 0 is left alone.
// Inverse: the inverse complex transform of Count points, bit-reversed order in,
// natural order out, unscaled, with pair 0 read as the DC term alone.
using TBuildRealOutputProc = void (*)(int32_t Direction, int32_t Count, const void* SinTable2, float* Data);

// Fill the twiddle tables for a half length of 2^Order points. Each table has
// room for 2^Order floats (2^Order / 2 entries of two floats).
using TGenSinTableProc = void (*)(int32_t Order, void* Table);

// Data[i] *= Factor for i in 0..Count-1.
using TfvecMul1Proc = void (*)(int32_t Count, float Factor, float* Data);

using TMinProc = int32_t (*)(int32_t A, int32_t B);
using TMaxProc = int32_t (*)(int32_t A, int32_t B);
using TMinMaxProc = int32_t (*)(int32_t Value, int32_t Low, int32_t High);
// Copies Count bytes (overlapping ranges allowed); nothing for Count <= 0.
using TGlobalMoveMemProc = void (*)(const void* Source, void* Dest, int32_t Count);
// Fills Count bytes with Value; nothing for Count <= 0.
using TGlobalFillMemProc = void (*)(void* Dest, int32_t Count, uint8_t Value);

// Kernel level selection for tests: 0 = portable kernels, 1 or more = the best
// the processor supports. Returns the level now in effect.
using TSelectKernelsProc = int32_t (*)(int32_t Level);

} // extern "C"

namespace qv::vecmath {

inline constexpr const char* kDoCplxFFT2 = "_DoCplxFFT2";
inline constexpr const char* kfvecBitRev2 = "_fvecBitRev2";
inline constexpr const char* kBuildRealOutput = "_BuildRealOutput";
inline constexpr const char* kGenSinTable1 = "_GenSinTable1";
inline constexpr const char* kGenSinTable2 = "_GenSinTable2";
inline constexpr const char* kfvecMul1 = "_fvecMul1";
inline constexpr const char* kMin = "_Min";
inline constexpr const char* kMax = "_Max";
inline constexpr const char* kMinMax = "_MinMax";
inline constexpr const char* kGlobalMoveMem = "_GlobalMoveMem";
inline constexpr const char* kGlobalFillMem = "_GlobalFillMem";
// Not needed by the program; tests use it to run the portable kernels too.
inline constexpr const char* kSelectKernels = "_SelectKernels";

} // namespace qv::vecmath
