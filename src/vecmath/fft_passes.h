#pragma once
// The forward transform written once over an 8-float vector type. A traits type
// T supplies the vector V and its operations; kernels_portable.cpp and
// kernels_avx2.cpp instantiate it. Internal linkage throughout (see
// fft_layout.h).
//
// Vector positions are grouped in two 128-bit lanes of four; the shuffles below
// act within lanes unless their name says "Lanes".
#include "vecmath/fft_layout.h"

namespace qv::vecmath {
namespace {

// Twiddles of the final in-register passes, in the order the kernels use them.
// W8^e for the span-8 pass: positions hold e = 0,1,0,1,2,3,2,3.
alignas(32) constexpr float kW8Re[8] = {1.0f, 0.70710678118654752f, 1.0f, 0.70710678118654752f,
                                        0.0f, -0.70710678118654752f, 0.0f, -0.70710678118654752f};
alignas(32) constexpr float kW8Im[8] = {0.0f, -0.70710678118654752f, 0.0f, -0.70710678118654752f,
                                        -1.0f, -0.70710678118654752f, -1.0f, -0.70710678118654752f};
// W16^e for the span-16 pass, in block order: e = 0,1,4,5,2,3,6,7.
alignas(32) constexpr float kW16Re[8] = {1.0f, 0.92387953251128674f, 0.0f, -0.38268343236508977f,
                                         0.70710678118654752f, 0.38268343236508977f,
                                         -0.70710678118654752f, -0.92387953251128674f};
alignas(32) constexpr float kW16Im[8] = {0.0f, -0.38268343236508977f, -1.0f, -0.92387953251128674f,
                                         -0.70710678118654752f, -0.92387953251128674f,
                                         -0.70710678118654752f, -0.38268343236508977f};

template <class T> struct TForwardFFT {
    using V = typename T::V;

    // (yr, yi) = (xr, xi) * (wr, wi)
    static inline void CMul(V xr, V xi, V wr, V wi, V& yr, V& yi)
    {
        yr = T::FMSub(xr, wr, T::Mul(xi, wi));
        yi = T::FMAdd(xr, wi, T::Mul(xi, wr));
    }

    // One radix-4 step of decimation in frequency on four quarter vectors, the
    // outputs in bit-reversed quarter order: 0, 2, 1, 3 of the radix-4 bins.
    static inline void Radix4(V& a0r, V& a0i, V& a1r, V& a1i, V& a2r, V& a2i, V& a3r, V& a3i,
                              V w1r, V w1i, V w2r, V w2i, V w3r, V w3i)
    {
        const V s02r = T::Add(a0r, a2r), s02i = T::Add(a0i, a2i);
        const V d02r = T::Sub(a0r, a2r), d02i = T::Sub(a0i, a2i);
        const V s13r = T::Add(a1r, a3r), s13i = T::Add(a1i, a3i);
        const V d13r = T::Sub(a1r, a3r), d13i = T::Sub(a1i, a3i);
        a0r = T::Add(s02r, s13r);
        a0i = T::Add(s02i, s13i);
        CMul(T::Sub(s02r, s13r), T::Sub(s02i, s13i), w2r, w2i, a1r, a1i);
        // d02 - i*d13 and d02 + i*d13
        CMul(T::Add(d02r, d13i), T::Sub(d02i, d13r), w1r, w1i, a2r, a2i);
        CMul(T::Sub(d02r, d13i), T::Add(d02i, d13r), w3r, w3i, a3r, a3i);
    }

    // First pass, span Count: reads interleaved complex values, writes blocks.
    // Only W^j is stored; W^2j and W^3j are formed here.
    static void FirstPass(size_t count, const float* tw, float* d)
    {
        const size_t q = count / 4;
        float* p0 = d;
        float* p1 = d + 2 * q;
        float* p2 = d + 4 * q;
        float* p3 = d + 6 * q;
        for (size_t j = 0; j < q; j += 8, tw += 16) {
            const size_t o = 2 * j;
            V a0r, a0i, a1r, a1i, a2r, a2i, a3r, a3i;
            T::Deinterleave(T::Load(p0 + o), T::Load(p0 + o + 8), a0r, a0i);
            T::Deinterleave(T::Load(p1 + o), T::Load(p1 + o + 8), a1r, a1i);
            T::Deinterleave(T::Load(p2 + o), T::Load(p2 + o + 8), a2r, a2i);
            T::Deinterleave(T::Load(p3 + o), T::Load(p3 + o + 8), a3r, a3i);
            const V w1r = T::Load(tw), w1i = T::Load(tw + 8);
            const V w2r = T::FMSub(w1r, w1r, T::Mul(w1i, w1i));
            const V w1r2 = T::Add(w1r, w1r);
            const V w2i = T::Mul(w1r2, w1i);
            V w3r, w3i;
            CMul(w2r, w2i, w1r, w1i, w3r, w3i);
            Radix4(a0r, a0i, a1r, a1i, a2r, a2i, a3r, a3i, w1r, w1i, w2r, w2i, w3r, w3i);
            T::Store(p0 + o, a0r), T::Store(p0 + o + 8, a0i);
            T::Store(p1 + o, a1r), T::Store(p1 + o + 8, a1i);
            T::Store(p2 + o, a2r), T::Store(p2 + o + 8, a2i);
            T::Store(p3 + o, a3r), T::Store(p3 + o + 8, a3i);
        }
    }

    // A further radix-4 pass of span m >= 32 on blocked data.
    static void Pass(size_t count, size_t m, const float* tw, float* d)
    {
        const size_t q = m / 4;
        for (size_t g = 0; g < count; g += m) {
            float* p0 = d + 2 * g;
            float* p1 = p0 + 2 * q;
            float* p2 = p0 + 4 * q;
            float* p3 = p0 + 6 * q;
            const float* w = tw;
            for (size_t o = 0; o < 2 * q; o += 16, w += 48) {
                V a0r = T::Load(p0 + o), a0i = T::Load(p0 + o + 8);
                V a1r = T::Load(p1 + o), a1i = T::Load(p1 + o + 8);
                V a2r = T::Load(p2 + o), a2i = T::Load(p2 + o + 8);
                V a3r = T::Load(p3 + o), a3i = T::Load(p3 + o + 8);
                Radix4(a0r, a0i, a1r, a1i, a2r, a2i, a3r, a3i, T::Load(w), T::Load(w + 8),
                       T::Load(w + 16), T::Load(w + 24), T::Load(w + 32), T::Load(w + 40));
                T::Store(p0 + o, a0r), T::Store(p0 + o + 8, a0i);
                T::Store(p1 + o, a1r), T::Store(p1 + o + 8, a1i);
                T::Store(p2 + o, a2r), T::Store(p2 + o + 8, a2i);
                T::Store(p3 + o, a3r), T::Store(p3 + o + 8, a3i);
            }
        }
    }

    // Spans 8, 4 and 2 on two independent blocks A and B (8 values each), then
    // the results written back interleaved to the blocks' own places.
    static inline void Final8(V ar, V ai, V br, V bi, float* pa, float* pb)
    {
        // Span 8: value e pairs with e + 4, which sits in the other half of its lane.
        const V pr = T::ShufLowHalves(ar, br), pi = T::ShufLowHalves(ai, bi);
        const V qr = T::ShufHighHalves(ar, br), qi = T::ShufHighHalves(ai, bi);
        const V sr = T::Add(pr, qr), si = T::Add(pi, qi);
        V dr, di;
        CMul(T::Sub(pr, qr), T::Sub(pi, qi), T::Load(kW8Re), T::Load(kW8Im), dr, di);
        // Span 4: value e pairs with e + 2, now in the other lane.
        const V p2r = T::LanesLow(sr, dr), p2i = T::LanesLow(si, di);
        const V q2r = T::LanesHigh(sr, dr), q2i = T::LanesHigh(si, di);
        const V s2r = T::Add(p2r, q2r), s2i = T::Add(p2i, q2i);
        const V e2r = T::Sub(p2r, q2r), e2i = T::Sub(p2i, q2i), ne2r = T::Sub(q2r, p2r);
        // Odd positions are multiplied by W4^1 = -i: (re, im) -> (im, -re).
        const V d2r = T::BlendOdd(e2r, e2i), d2i = T::BlendOdd(e2i, ne2r);
        // Span 2: neighbours.
        const V p3r = T::ShufEven(s2r, d2r), p3i = T::ShufEven(s2i, d2i);
        const V q3r = T::ShufOdd(s2r, d2r), q3i = T::ShufOdd(s2i, d2i);
        const V s3r = T::Add(p3r, q3r), s3i = T::Add(p3i, q3i);
        const V d3r = T::Sub(p3r, q3r), d3i = T::Sub(p3i, q3i);
        // s3 holds values A0 B0 A2 B2 | A4 B4 A6 B6, d3 holds A1 B1 A3 B3 | A5 B5 A7 B7.
        const V sl = T::UnpackLow(s3r, s3i), sh = T::UnpackHigh(s3r, s3i);
        const V dl = T::UnpackLow(d3r, d3i), dh = T::UnpackHigh(d3r, d3i);
        const V a01 = T::UnpackLow64(sl, dl), b01 = T::UnpackHigh64(sl, dl);
        const V a23 = T::UnpackLow64(sh, dh), b23 = T::UnpackHigh64(sh, dh);
        T::Store(pa, T::LanesLow(a01, a23));
        T::Store(pa + 8, T::LanesHigh(a01, a23));
        T::Store(pb, T::LanesLow(b01, b23));
        T::Store(pb + 8, T::LanesHigh(b01, b23));
    }

    // The last three spans on every block, two blocks at a time.
    static void LastPass8(size_t count, float* d)
    {
        for (size_t o = 0; o < 2 * count; o += 32) {
            float* pa = d + o;
            float* pb = pa + 16;
            Final8(T::Load(pa), T::Load(pa + 8), T::Load(pb), T::Load(pb + 8), pa, pb);
        }
    }

    // The last four spans on every group of 16 values (two blocks).
    static void LastPass16(size_t count, float* d)
    {
        const V wr = T::Load(kW16Re), wi = T::Load(kW16Im);
        for (size_t o = 0; o < 2 * count; o += 32) {
            float* pa = d + o;
            float* pb = pa + 16;
            const V ar = T::Load(pa), ai = T::Load(pa + 8);
            const V br = T::Load(pb), bi = T::Load(pb + 8);
            V er, ei;
            CMul(T::Sub(ar, br), T::Sub(ai, bi), wr, wi, er, ei);
            Final8(T::Add(ar, br), T::Add(ai, bi), er, ei, pa, pb);
        }
    }

    static void ComplexForward(size_t count, const float* table, float* d)
    {
        FirstPass(count, table, d);
        const float* tw = table + count / 2;
        size_t m = count / 4;
        for (; m >= 32; m /= 4) {
            Pass(count, m, tw, d);
            tw += 6 * (m / 4);
        }
        if (m == 16)
            LastPass16(count, d);
        else
            LastPass8(count, d);
    }

    // Bit reversal in tiles of 4 x 4 pairs: with index i = a*(Count/4) + 4*b + c,
    // the tile of b goes to the tile of rev(b) transposed, rows and columns
    // taken in 2-bit reversed order.
    static void BitReverse(size_t count, const int32_t* table, float* d)
    {
        const size_t rowStride = 2 * (count / 4); // floats between rows a and a+1
        const size_t tiles = count / 16;
        for (size_t b = 0; b < tiles; ++b) {
            const size_t rb = static_cast<uint32_t>(table[4 * b]) >> 2;
            // Each pair of tiles once; an entry that is no tile index is ignored.
            if (rb < b || rb >= tiles)
                continue;
            float* pb = d + 8 * b;
            float* pr = d + 8 * rb;
            const V b0 = T::Load(pb), b1 = T::Load(pb + 2 * rowStride);
            const V b2 = T::Load(pb + rowStride), b3 = T::Load(pb + 3 * rowStride);
            if (rb == b) {
                TransposeStore(b0, b1, b2, b3, pb, rowStride);
            } else {
                const V r0 = T::Load(pr), r1 = T::Load(pr + 2 * rowStride);
                const V r2 = T::Load(pr + rowStride), r3 = T::Load(pr + 3 * rowStride);
                TransposeStore(b0, b1, b2, b3, pr, rowStride);
                TransposeStore(r0, r1, r2, r3, pb, rowStride);
            }
        }
    }

    // u0..u3 are the rows a = 0, 2, 1, 3 of a tile; stores the columns 0, 2, 1, 3
    // as the rows 0..3 of the destination tile.
    static inline void TransposeStore(V u0, V u1, V u2, V u3, float* p, size_t rowStride)
    {
        const V t0 = T::UnpackLow64(u0, u1), t1 = T::UnpackHigh64(u0, u1);
        const V t2 = T::UnpackLow64(u2, u3), t3 = T::UnpackHigh64(u2, u3);
        T::Store(p, T::LanesLow(t0, t2));                  // column 0
        T::Store(p + rowStride, T::LanesHigh(t0, t2));     // column 2
        T::Store(p + 2 * rowStride, T::LanesLow(t1, t3));  // column 1
        T::Store(p + 3 * rowStride, T::LanesHigh(t1, t3)); // column 3
    }

    // Real-output split for k = 8..Count/2-1 in blocks of 8 with their mirrors
    // Count-k; the rest is left to the caller.
    static void RealSplitBlocks(size_t count, const float* tw, float* d)
    {
        const V half = T::Set1(0.5f);
        for (size_t k = 8; k < count / 2; k += 8) {
            float* pf = d + 2 * k;
            float* pm = d + 2 * (count - k - 7);
            V ar, ai, cr, ci;
            T::Deinterleave(T::Load(pf), T::Load(pf + 8), ar, ai);
            // Mirrors Count-k-t for t = 0..7, reversed into the same order.
            T::Deinterleave(T::Reverse64(T::Load(pm + 8)), T::Reverse64(T::Load(pm)), cr, ci);
            const V wr = T::Load(tw + 2 * k), wi = T::Load(tw + 2 * k + 8);
            const V sr = T::Add(ar, cr), di = T::Sub(ai, ci);
            const V si = T::Add(ai, ci), dr = T::Sub(cr, ar);
            const V wor = T::FMSub(wr, si, T::Mul(wi, dr));
            const V woi = T::FMAdd(wr, dr, T::Mul(wi, si));
            const V xr = T::Mul(half, T::Add(sr, wor)), xi = T::Mul(half, T::Add(di, woi));
            const V mr = T::Mul(half, T::Sub(sr, wor)), mi = T::Mul(half, T::Sub(woi, di));
            T::Store(pf, T::UnpackLow(xr, xi));
            T::Store(pf + 8, T::UnpackHigh(xr, xi));
            T::Store(pm + 8, T::Reverse64(T::UnpackLow(mr, mi)));
            T::Store(pm, T::Reverse64(T::UnpackHigh(mr, mi)));
        }
    }
};

} // namespace
} // namespace qv::vecmath
