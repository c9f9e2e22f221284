#pragma once
// The fast pixel routines of the DIB surface. They write a device-independent
// pixel array directly: rows stored bottom-up (picture row y lies at memory row
// Height - 1 - y), each row Stride bytes (the row's bytes rounded up to a
// multiple of 4), 8 bits per pixel (a palette index) or 24 (blue, green, red).
// Coordinates are picture pixels, (0, 0) at the top left; whatever lies outside
// the clip rectangle is not drawn, and solid spans and fills are clipped once
// and then written with word-wide stores.
//
// TMMDIBCanvas drives these through the process-wide drawing state; they are
// free functions over a TDIBSurface so that the canvas's ordinary drawing
// calls and the benchmarks can use them too.
#include <cstddef>
#include <cstdint>

#include "framework/canvas.h"

namespace qv {

struct TDIBSurface {
    uint8_t* Bits = nullptr;
    int32_t BitsPerPixel = 8;
    int32_t BytesPerPixel = 1;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    TRect Clip;
    // 8 bits: the palette index in all four bytes; 24 bits: 0x00BBGGRR.
    uint32_t Color = 0;
    TPoint Pen;

    // Memory step for one picture row down.
    ptrdiff_t RowStep() const { return -static_cast<ptrdiff_t>(Stride); }
    uint8_t* Row(int32_t y) const { return Bits + static_cast<ptrdiff_t>(Height - 1 - y) * Stride; }
    uint8_t* Pixel(int32_t x, int32_t y) const { return Row(y) + static_cast<ptrdiff_t>(x) * BytesPerPixel; }
};

// Bytes per row: Width x bytes per pixel rounded up to a multiple of 4.
constexpr int32_t DIBStride(int32_t Width, int32_t BitsPerPixel)
{
    return ((Width * (BitsPerPixel / 8)) + 3) & ~3;
}

// The drawing colour for a value already mapped (8 bits: its low byte
// repeated; 24 bits: 0x00BBGGRR).
uint32_t DIBDrawValue(int32_t BitsPerPixel, uint32_t Value);

namespace dib {

void SetPixel(const TDIBSurface& S, int32_t X, int32_t Y, uint32_t Value);
// The index (8 bits) or 0x00BBGGRR (24 bits); -1 outside the clip rectangle.
int32_t GetPixel(const TDIBSurface& S, int32_t X, int32_t Y);

// Clipped (outcodes, truncating division), then Bresenham from the left end;
// the right end is left out.
void Line(const TDIBSurface& S, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// As Line, each pixel XORed with the complement of the colour.
void XorLine(const TDIBSurface& S, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

// Pixels X1 .. X2 - 1 of row Y (ends in either order).
void HLine(const TDIBSurface& S, int32_t X1, int32_t X2, int32_t Y);
// 4 drawn, 4 skipped, from the clipped start; nothing for fewer than 4 pixels.
void DashHLine(const TDIBSurface& S, int32_t X1, int32_t X2, int32_t Y);
// 1 drawn, Gap skipped (Gap below 1 counts as 1), from the clipped start.
void DotHLine(const TDIBSurface& S, int32_t X1, int32_t X2, int32_t Y, int32_t Gap);
// Pixels Y1 .. Y2 - 1 of column X (ends in either order).
void VLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2);
void DashVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2);
void DotVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2, int32_t Gap);
// XOR with the colour / with its complement.
void XorVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2);
void InvertVLine(const TDIBSurface& S, int32_t X, int32_t Y1, int32_t Y2);
// 8 bits only: row Y + k of column X := Bytes[k] for k < Count, rows outside dropped.
void Column(const TDIBSurface& S, int32_t X, int32_t Y, int32_t Count, const uint8_t* Bytes);
// HLine on rows Top and Bottom - 1, VLine on columns Left and Right - 1.
void FrameRect(const TDIBSurface& S, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// Every pixel of [Left, Right) x [Top, Bottom) (corners ordered, clipped).
void FillRect(const TDIBSurface& S, const TRect& R);
void XorFillRect(const TDIBSurface& S, const TRect& R);
// Mode 1: every second pixel of every second row from the clipped top-left
// corner; any other mode: FillRect.
void PatternFillRect(const TDIBSurface& S, const TRect& R, int32_t Mode);
// Every pixel of the whole array, without clipping.
void Clear(const TDIBSurface& S);
// Copies a Width x Height block from (SrcX, SrcY) of SrcBits (same format,
// size and stride as S) to (DestX, DestY) of S; both blocks are clipped and
// keep their pairing; overlapping blocks move as with memmove.
void CopyRect(const TDIBSurface& S, int32_t SrcX, int32_t SrcY, int32_t Width, int32_t Height, int32_t DestX,
    int32_t DestY, const uint8_t* SrcBits);

} // namespace dib
} // namespace qv
