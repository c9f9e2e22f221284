#include "framework/numeric.h"

#include <cmath>
#include <limits>

namespace qv {

namespace {
int32_t Saturate32(int64_t v)
{
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}
} // namespace

int32_t MulDiv32(int32_t A, int32_t B, int32_t C)
{
    if (C == 0)
        return -1;
    const int64_t p = static_cast<int64_t>(A) * B;
    return Saturate32(p / C);
}

int32_t MulDivRound32(int32_t A, int32_t B, int32_t C)
{
    if (C == 0)
        return -1;
    const int64_t p = static_cast<int64_t>(A) * B;
    const int64_t q = p / C;
    const int64_t r = p % C;
    return Saturate32(q + (2 * r) / C);
}

long double MaxFloat(long double A, long double B) { return A > B ? A : B; }

long double LimitFloat(long double X, long double Low, long double High)
{
    if (X < Low)
        return Low;
    if (X > High)
        return High;
    return X;
}

int32_t FloorInt(long double X) { return static_cast<int32_t>(std::floor(X)); }

long double Ln(long double X) { return std::log(X); }
long double Log2(long double X) { return std::log2(X); }
long double Log10(long double X) { return std::log10(X); }

long double Power(long double Base, long double Exponent)
{
    if (Exponent == 0.0L)
        return 1.0L;
    if (Base == 0.0L)
        return 0.0L;
    return std::exp2(Exponent * std::log2(Base));
}

int64_t Round(long double X) { return static_cast<int64_t>(std::nearbyint(X)); }
int64_t Trunc(long double X) { return static_cast<int64_t>(std::trunc(X)); }

} // namespace qv
