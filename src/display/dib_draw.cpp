#include "display/dib_draw.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qv {

uint32_t DIBDrawValue(int32_t BitsPerPixel, uint32_t Value)
{
    if (BitsPerPixel == 8)
        return (Value & 0xFFu) * 0x01010101u;
    return Value & 0x00FFFFFFu;
}

namespace dib {
namespace {

// Memory bytes of a 24-bit colour value 0x00BBGGRR: blue, green, red.
inline void Put24(uint8_t* p, uint32_t c)
{
    p[0] = static_cast<uint8_t>(c >> 16);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c);
}

inline void PutPixel(const TDIBSurface& s, uint8_t* p, uint32_t c)
{
    if (s.BytesPerPixel == 1)
        *p = static_cast<uint8_t>(c);
    else
        Put24(p, c);
}

inline void XorPixel(const TDIBSurface& s, uint8_t* p, uint32_t c)
{
    if (s.BytesPerPixel == 1) {
        *p ^= static_cast<uint8_t>(c);
    } else {
        p[0] ^= static_cast<uint8_t>(c >> 16);
        p[1] ^= static_cast<uint8_t>(c >> 8);
        p[2] ^= static_cast<uint8_t>(c);
    }
}

// N pixels of one row from p, in colour c: a byte fill for 8 bits, three
// 32-bit words per four pixels for 24 bits.
inline void FillSpan(const TDIBSurface& s, uint8_t* p, int32_t n, uint32_t c)
{
    if (n <= 0)
        return;
    if (s.BytesPerPixel == 1) {
        std::memset(p, static_cast<uint8_t>(c), static_cast<size_t>(n));
        return;
    }
    const uint32_t b = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, r = c & 0xFF;
    const uint32_t w0 = b | g << 8 | r << 16 | b << 24;
    const uint32_t w1 = g | r << 8 | b << 16 | g << 24;
    const uint32_t w2 = r | b << 8 | g << 16 | r << 24;
    // Sixteen pixels (48 bytes, a whole number of 12-byte periods) per step,
    // as three 16-byte stores; the rest in 32-bit words and single pixels.
    alignas(16) uint8_t pat[48];
    for (int k = 0; k < 4; ++k) {
        std::memcpy(pat + 12 * k, &w0, 4);
        std::memcpy(pat + 12 * k + 4, &w1, 4);
        std::memcpy(pat + 12 * k + 8, &w2, 4);
    }
    while (n >= 16) {
        std::memcpy(p, pat, 48);
        p += 48;
        n -= 16;
    }
    while (n >= 4) {
        std::memcpy(p, pat, 12);
        p += 12;
        n -= 4;
    }
    while (n-- > 0) {
        Put24(p, c);
        p += 3;
    }
}

inline void XorSpan(const TDIBSurface& s, uint8_t* p, int32_t n, uint32_t c)
{
    if (s.BytesPerPixel == 1) {
        const uint8_t v = static_cast<uint8_t>(c);
        for (int32_t i = 0; i < n; ++i)
            p[i] ^= v;
        return;
    }
    for (int32_t i = 0; i < n; ++i, p += 3)
        XorPixel(s, p, c);
}

// Clips the span [a, b) (ends in either order) to [lo, hi); false when empty.
inline bool ClipSpan(int32_t& a, int32_t& b, int32_t lo, int32_t hi)
{
    if (a > b)
        std::swap(a, b);
    if (a < lo)
        a = lo;
    if (b > hi)
        b = hi;
    return a < b;
}

// Any gap wider than a surface draws one dot; the cap keeps the steps in range.
constexpr int32_t kMaxGap = 1 << 16;

inline bool InClip(const TDIBSurface& s, int32_t x, int32_t y)
{
    return x >= s.Clip.Left && x < s.Clip.Right && y >= s.Clip.Top && y < s.Clip.Bottom;
}

// ---- line clipping -------------------------------------------------------------

__extension__ typedef __int128 Wide;

enum : unsigned { kLeft = 1, kRight = 2, kAbove = 4, kBelow = 8 };

inline unsigned OutCode(const TRect& r, int64_t x, int64_t y)
{
    unsigned c = 0;
    if (x < r.Left)
        c |= kLeft;
    else if (x >= r.Right)
        c |= kRight;
    if (y < r.Top)
        c |= kAbove;
    else if (y >= r.Bottom)
        c |= kBelow;
    return c;
}

// Moves outside endpoints onto the rectangle, one at a time, the sides tested
// below, above, right, left; the differences are taken afresh from the
// current endpoints for every move. False when nothing remains to draw.
bool ClipLine(const TRect& r, int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2)
{
    if (r.IsEmpty())
        return false;
    // Truncating division cannot cycle for long, but a bound keeps it certain.
    for (int guard = 0; guard < 64; ++guard) {
        const unsigned c1 = OutCode(r, x1, y1);
        const unsigned c2 = OutCode(r, x2, y2);
        if ((c1 & c2) != 0)
            return false;
        if ((c1 | c2) == 0)
            return true;
        const bool first = c1 != 0;
        int64_t& x = first ? x1 : x2;
        int64_t& y = first ? y1 : y2;
        const unsigned c = first ? c1 : c2;
        const int64_t dx = x2 - x1;
        const int64_t dy = y2 - y1;
        if (c & kBelow) {
            if (dy == 0)
                return false;
            x = x + static_cast<int64_t>(static_cast<Wide>(dx) * (r.Bottom - 1 - y) / dy);
            y = r.Bottom - 1;
        } else if (c & kAbove) {
            if (dy == 0)
                return false;
            x = x + static_cast<int64_t>(static_cast<Wide>(dx) * (r.Top - y) / dy);
            y = r.Top;
        } else if (c & kRight) {
            if (dx == 0)
                return false;
            y = y + static_cast<int64_t>(static_cast<Wide>(dy) * (r.Right - 1 - x) / dx);
            x = r.Right - 1;
        } else {
            if (dx == 0)
                return false;
            y = y + static_cast<int64_t>(static_cast<Wide>(dy) * (r.Left - x) / dx);
            x = r.Left;
        }
    }
    return false;
}

// The clipped segment through Plot(address) per pixel; the endpoint with the
// larger X (the larger Y for a vertical segment) is left out.
template <typename Plot>
void DrawLine(const TDIBSurface& s, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, Plot plot)
{
    if (!s.Bits)
        return;
    int64_t x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
    if (!ClipLine(s.Clip, x1, y1, x2, y2))
        return;
    int32_t ax = static_cast<int32_t>(x1), ay = static_cast<int32_t>(y1);
    int32_t bx = static_cast<int32_t>(x2), by = static_cast<int32_t>(y2);
    const ptrdiff_t rowDown = s.RowStep();
    const int32_t bpp = s.BytesPerPixel;
    if (ax == bx) {
        if (ay > by)
            std::swap(ay, by);
        uint8_t* p = s.Pixel(ax, ay);
        for (int32_t y = ay; y < by; ++y, p += rowDown)
            plot(p);
        return;
    }
    if (ax > bx) {
        std::swap(ax, bx);
        std::swap(ay, by);
    }
    if (ay == by) {
        uint8_t* p = s.Pixel(ax, ay);
        for (int32_t x = ax; x < bx; ++x, p += bpp)
            plot(p);
        return;
    }
    const int32_t dx = bx - ax;
    const int32_t dy = by > ay ? by - ay : ay - by;
    const ptrdiff_t stepY = by > ay ? rowDown : -rowDown;
    const bool xMajor = dx >= dy;
    const int32_t major = xMajor ? dx : dy;
    const int32_t minor = xMajor ? dy : dx;
    const int32_t inc1 = 2 * minor;
    const int32_t inc2 = 2 * minor - 2 * major;
    int32_t d = 2 * minor - major;
    const ptrdiff_t stepMajor = xMajor ? bpp : stepY;
    const ptrdiff_t stepMinor = xMajor ? stepY : bpp;
    uint8_t* p = s.Pixel(ax, ay);
    for (int32_t i = 0; i < major; ++i) {
        plot(p);
        p += stepMajor;
        if (d < 0) {
            d += inc1;
        } else {
            d += inc2;
            p += stepMinor;
        }
    }
}

// A clipped vertical span: first address and pixel count; false when empty.
inline bool VSpan(const TDIBSurface& s, int32_t x, int32_t& y1, int32_t& y2)
{
    if (!s.Bits || x < s.Clip.Left || x >= s.Clip.Right)
        return false;
    return ClipSpan(y1, y2, s.Clip.Top, s.Clip.Bottom);
}

inline bool HSpan(const TDIBSurface& s, int32_t& x1, int32_t& x2, int32_t y)
{
    if (!s.Bits || y < s.Clip.Top || y >= s.Clip.Bottom)
        return false;
    return ClipSpan(x1, x2, s.Clip.Left, s.Clip.Right);
}

// Orders and clips a rectangle; false when nothing remains.
inline bool ClipRectangle(const TDIBSurface& s, const TRect& R, TRect& out)
{
    if (!s.Bits)
        return false;
    int32_t l = R.Left, r = R.Right, t = R.Top, b = R.Bottom;
    if (!ClipSpan(l, r, s.Clip.Left, s.Clip.Right) || !ClipSpan(t, b, s.Clip.Top, s.Clip.Bottom))
        return false;
    out = Rect(l, t, r, b);
    return true;
}

} // namespace

void SetPixel(const TDIBSurface& S, int32_t X, int32_t Y, uint32_t Value)
{
    if (!S.Bits || !InClip(S, X, Y))
        return;
    PutPixel(S, S.Pixel(X, Y), Value);
}

int32_t GetPixel(const TDIBSurface& S, int32_t X, int32_t Y)
{
    if (!S.Bits || !InClip(S, X, Y))
        return -1;
    const uint8_t* p = S.Pixel(X, Y);
    if (S.BytesPerPixel == 1)
        return *p;
    return static_cast<int32_t>(p[2] | (p[1] << 8) | (p[0] << 16));
}

void Line(const TDIBSurface& S, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    const uint32_t c = S.Color;
    if (S.BytesPerPixel == 1) {
        const uint8_t v = static_cast<uint8_t>(c);
        DrawLine(S, X1, Y1, X2, Y2, [v](uint8_t* p) { *p = v; });
    } else {
        DrawLine(S, X1, Y1, X2, Y2, [c](uint8_t* p) { Put24(p, c); });
    }
}

void XorLine(const TDIBSurface& S, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    const uint32_t c = ~S.Color;
    DrawLine(S, X1, Y1, X2, Y2, [&S, c](uint8_t* p) { XorPixel(S, p, c); });
}

void HLine(const TDIBSurface& S, int32_t X1, int32_t X2, int32_t Y)
{
    if (!HSpan(S, X1, X2, Y))
        return;
    FillSpan(S, S.Pixel(X1, Y), X2 - X1, S.Color);
}

void DashHLine(const TDIBSurface& S, int32_t X1, int32_t X2, int32_t Y)
{
    if (!HSpan(S, X1, X2, Y) || X2 - X1 < 4)
        return;
    uint8_t* p = S.Pixel(X1, Y);
    for (int32_t x = X1; x < X2; x += 8, p += 8 * S.BytesPerPixel)
        FillSpan(S, p, std::min(4, X2 - x), S.Color);
}

void DotHLine(const TDIBSurface& S, int32_t X1, int32_t X2, int32_t Y, int32_t Gap)
{
    if (!HSpan(S, X1, X2, Y))
        return;
    const int32_t step = std::clamp(Gap, 1, kMaxGap) + 1;
    const ptrdiff_t stepBytes = static_cast<ptrdiff_t>(step) * S.BytesPerPixel;
    uint8_t* p = S.Pixel(X1, Y);
    for (int32_t x = X1; x < X2; x += step, p += stepBytes)
        PutPixel(S, p, S.Color);
}

void VLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2)
{
    if (!VSpan(S, X, Y1, Y2))
        return;
    uint8_t* p = S.Pixel(X, Y1);
    const ptrdiff_t down = S.RowStep();
    if (S.BytesPerPixel == 1) {
        const uint8_t v = static_cast<uint8_t>(S.Color);
        for (int32_t y = Y1; y < Y2; ++y, p += down)
            *p = v;
    } else {
        for (int32_t y = Y1; y < Y2; ++y, p += down)
            Put24(p, S.Color);
    }
}

void DashVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2)
{
    if (!VSpan(S, X, Y1, Y2))
        return;
    uint8_t* p = S.Pixel(X, Y1);
    const ptrdiff_t down = S.RowStep();
    for (int32_t y = Y1, k = 0; y < Y2; ++y, ++k, p += down)
        if ((k & 7) < 4)
            PutPixel(S, p, S.Color);
}

void DotVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2, int32_t Gap)
{
    if (!VSpan(S, X, Y1, Y2))
        return;
    const int32_t step = std::clamp(Gap, 1, kMaxGap) + 1;
    const ptrdiff_t down = S.RowStep() * step;
    uint8_t* p = S.Pixel(X, Y1);
    for (int32_t y = Y1; y < Y2; y += step, p += down)
        PutPixel(S, p, S.Color);
}

void XorVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2)
{
    if (!VSpan(S, X, Y1, Y2))
        return;
    uint8_t* p = S.Pixel(X, Y1);
    for (int32_t y = Y1; y < Y2; ++y, p += S.RowStep())
        XorPixel(S, p, S.Color);
}

void InvertVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2)
{
    if (!VSpan(S, X, Y1, Y2))
        return;
    uint8_t* p = S.Pixel(X, Y1);
    for (int32_t y = Y1; y < Y2; ++y, p += S.RowStep())
        XorPixel(S, p, ~S.Color);
}

void Column(const TDIBSurface& S, int32_t X, int32_t Y, int32_t Count, const uint8_t* Bytes)
{
    if (!S.Bits || S.BytesPerPixel != 1 || !Bytes || Count <= 0 || X < S.Clip.Left || X >= S.Clip.Right)
        return;
    // Each byte stays with its own row: rows above the clip drop their bytes.
    const int64_t first = std::max<int64_t>(Y, S.Clip.Top);
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(Y) + Count, S.Clip.Bottom);
    if (first >= last)
        return;
    const uint8_t* src = Bytes + (first - Y);
    uint8_t* p = S.Pixel(X, static_cast<int32_t>(first));
    const ptrdiff_t down = S.RowStep();
    for (int64_t y = first; y < last; ++y, p += down)
        *p = *src++;
}

void FrameRect(const TDIBSurface& S, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom)
{
    HLine(S, Left, Right, Top);
    HLine(S, Left, Right, Bottom - 1);
    VLine(S, Left, Top, Bottom);
    VLine(S, Right - 1, Top, Bottom);
}

void FillRect(const TDIBSurface& S, const TRect& R)
{
    TRect r;
    if (!ClipRectangle(S, R, r))
        return;
    const int32_t n = r.Width();
    uint8_t* p = S.Pixel(r.Left, r.Top);
    if (S.BytesPerPixel == 1) {
        for (int32_t y = r.Top; y < r.Bottom; ++y, p += S.RowStep())
            std::memset(p, static_cast<uint8_t>(S.Color), static_cast<size_t>(n));
        return;
    }
    // 24 bits: one row in pattern stores, the others copied from it (the
    // library's block copy is wider than any store pattern of 3-byte pixels).
    FillSpan(S, p, n, S.Color);
    const uint8_t* first = p;
    const size_t bytes = static_cast<size_t>(n) * 3;
    p += S.RowStep();
    for (int32_t y = r.Top + 1; y < r.Bottom; ++y, p += S.RowStep())
        std::memcpy(p, first, bytes);
}

void XorFillRect(const TDIBSurface& S, const TRect& R)
{
    TRect r;
    if (!ClipRectangle(S, R, r))
        return;
    uint8_t* p = S.Pixel(r.Left, r.Top);
    for (int32_t y = r.Top; y < r.Bottom; ++y, p += S.RowStep())
        XorSpan(S, p, r.Width(), S.Color);
}

void PatternFillRect(const TDIBSurface& S, const TRect& R, int32_t Mode)
{
    if (Mode != 1) {
        FillRect(S, R);
        return;
    }
    TRect r;
    if (!ClipRectangle(S, R, r))
        return;
    for (int32_t y = r.Top; y < r.Bottom; y += 2) {
        uint8_t* p = S.Pixel(r.Left, y);
        for (int32_t x = r.Left; x < r.Right; x += 2, p += 2 * S.BytesPerPixel)
            PutPixel(S, p, S.Color);
    }
}

void Clear(const TDIBSurface& S)
{
    if (!S.Bits)
        return;
    if (S.BytesPerPixel == 1) {
        std::memset(S.Bits, static_cast<uint8_t>(S.Color), static_cast<size_t>(S.Stride) * S.Height);
        return;
    }
    FillSpan(S, S.Bits, S.Width, S.Color);
    const size_t bytes = static_cast<size_t>(S.Width) * 3;
    for (int32_t row = 1; row < S.Height; ++row)
        std::memcpy(S.Bits + static_cast<ptrdiff_t>(row) * S.Stride, S.Bits, bytes);
}

void CopyRect(const TDIBSurface& S, int32_t SrcX, int32_t SrcY, int32_t Width, int32_t Height, int32_t DestX,
    int32_t DestY, const uint8_t* SrcBits)
{
    if (!S.Bits || !SrcBits || Width <= 0 || Height <= 0)
        return;
    const TRect& c = S.Clip;
    // 64-bit while clipping: far-off coordinates must not wrap.
    int64_t sx = SrcX, sy = SrcY, dx = DestX, dy = DestY, w = Width, h = Height;
    auto clip = [&](int64_t& a, int64_t& partner, int64_t& len, int32_t lo, int32_t hi) {
        if (a < lo) {
            const int64_t d = lo - a;
            a = lo;
            partner += d;
            len -= d;
        }
        if (a + len > hi)
            len = hi - a;
    };
    clip(sx, dx, w, c.Left, c.Right);
    clip(sy, dy, h, c.Top, c.Bottom);
    if (w <= 0 || h <= 0)
        return;
    clip(dx, sx, w, c.Left, c.Right);
    clip(dy, sy, h, c.Top, c.Bottom);
    if (w <= 0 || h <= 0)
        return;
    const size_t bytes = static_cast<size_t>(w) * S.BytesPerPixel;
    const ptrdiff_t xOffSrc = static_cast<ptrdiff_t>(sx) * S.BytesPerPixel;
    const ptrdiff_t xOffDst = static_cast<ptrdiff_t>(dx) * S.BytesPerPixel;
    auto srcRow
        = [&](int64_t y) { return SrcBits + static_cast<ptrdiff_t>(S.Height - 1 - y) * S.Stride + xOffSrc; };
    auto dstRow
        = [&](int64_t y) { return S.Bits + static_cast<ptrdiff_t>(S.Height - 1 - y) * S.Stride + xOffDst; };
    // A block moving down is copied from its bottom row up, so that rows of
    // one array are read before they are overwritten; within a row memmove
    // handles either direction.
    if (dy > sy) {
        for (int64_t k = h - 1; k >= 0; --k)
            std::memmove(dstRow(dy + k), srcRow(sy + k), bytes);
    } else {
        for (int64_t k = 0; k < h; ++k)
            std::memmove(dstRow(dy + k), srcRow(sy + k), bytes);
    }
}

} // namespace dib
} // namespace qv
