#pragma once
// Layout of the twiddle tables and of the transform's internal block format.
// Everything here has internal linkage: this header is compiled into the
// portable and the AVX2 translation units, and their copies must never be
// merged by the linker.
#include <cstddef>
#include <cstdint>

namespace qv::vecmath {
namespace {

// Below this half length the transform runs the plain scalar code, and the
// tables hold interleaved (cos, sin) pairs.
constexpr size_t kMinBlockedCount = 32;

// Inside the vectorised passes 8 complex values are kept as a block of 16
// floats: 8 real parts, then 8 imaginary parts. Within a block the values sit in
// the order that the interleaving instructions produce and undo without crossing
// 128-bit lanes: position p holds value kBlockOrder[p] (the order is its own
// inverse). Twiddle blocks use the same layout.
constexpr uint8_t kBlockOrder[8] = {0, 1, 4, 5, 2, 3, 6, 7};

// Float offset of the real part of value j in a blocked array (imaginary: +8).
inline size_t BlockedPos(size_t j)
{
    return 16 * (j >> 3) + kBlockOrder[j & 7];
}

inline bool IsPowerOfTwo(int64_t v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

// Table 1 (complex transform of Count points, W = e^(-2*pi*i/Count)):
//   Count < 32:  W^j, j < Count/2, interleaved (cos, sin) pairs.
//   Count >= 32: first pass W^j, j < Count/4, blocked (Count/2 floats); then for
//                each further radix-4 pass of span m (m = Count/4, Count/16, ...,
//                while m >= 32), per block of 8 j < m/4 the three twiddles of
//                that span, W_m^j, W_m^2j, W_m^3j, as 6 x 8 floats.
// Table 2 (real-output split, W = e^(-2*pi*i/(2*Count))): W^k, k < Count/2,
//   interleaved below 32, blocked from 32 on (Count floats).
// Both fit the Count floats the descriptor gives each table.

// Reads W_Count^j from table 1 for j < Count/4 (or j < Count/2 below 32).
inline void Table1Twiddle(const float* t, size_t count, size_t j, float& c, float& s)
{
    if (count < kMinBlockedCount) {
        c = t[2 * j];
        s = t[2 * j + 1];
    } else {
        const size_t p = BlockedPos(j);
        c = t[p];
        s = t[p + 8];
    }
}

// Reads W_(2*Count)^k from table 2 for k < Count/2.
inline void Table2Twiddle(const float* t, size_t count, size_t k, float& c, float& s)
{
    Table1Twiddle(t, count, k, c, s);
}

} // namespace
} // namespace qv::vecmath
