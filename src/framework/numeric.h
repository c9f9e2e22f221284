#pragma once
// Integer and extended-float helpers whose rounding the whole program relies on.
#include <cstdint>

namespace qv {

// A*B/C with a 64-bit product, quotient truncated toward zero. C = 0 gives -1
// (the conventional "cannot compute" answer) instead of trapping.
int32_t MulDiv32(int32_t A, int32_t B, int32_t C);

// A*B/C plus (2*(A*B mod C))/C: truncating division with the remainder
// rounding the quotient to nearest, a half away from zero.
int32_t MulDivRound32(int32_t A, int32_t B, int32_t C);

long double MaxFloat(long double A, long double B);
long double LimitFloat(long double X, long double Low, long double High);
// Largest integer not above X.
int32_t FloorInt(long double X);

long double Ln(long double X);
long double Log2(long double X);
long double Log10(long double X);
// Base raised to Exponent as 2^(Exponent*log2 Base); 0 for Base 0 with a positive exponent.
long double Power(long double Base, long double Exponent);

// Round to nearest, halves to even (the runtime's Round).
int64_t Round(long double X);
// Truncation toward zero (the runtime's Trunc).
int64_t Trunc(long double X);

} // namespace qv
