#pragma once
// TMMDIBCanvas: the off-screen drawing surface of the views. It owns a pixel
// array in device-independent layout (bottom-up rows, stride rounded to 4
// bytes, 8-bit palette indices or blue-green-red bytes), a 256-entry palette
// (the 20 fixed colours at 0..9 and 246..255, a custom palette or a background
// picture's colours in between, optional animated entries), a second array
// holding the background picture, and the fast drawing routines (DIBLine,
// DIBHLine, DIBFillRect, DIBCopyRect, ...).
//
// Drawing protocol: the DIB routines may only be called between BeginDraw and
// EndDraw, which hold the process-wide drawing lock (one canvas draws at a
// time, on any thread) and set the shared drawing state from this canvas.
// The ordinary canvas calls (TextOut, Rectangle, LineTo, ...) also work on the
// surface: they write its pixels directly, text and wide lines through a
// one-bit mask, colours mapped to the nearest palette entry at 8 bits.
// CopyToDC brings a rectangle to a framework canvas (the view's screen image):
// at 8 bits each index goes through the colour table, rows are flipped to top-down.
//
//   {
//       TDIBDrawScope draw(canvas);      // BeginDraw ... EndDraw
//       canvas.SetDrawColor(clAqua);
//       canvas.DIBLine(0, 10, 99, 10);
//   }
#include <QImage>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "display/dib_draw.h"
#include "framework/bitmap.h"
#include "framework/canvas.h"
#include "framework/exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EMMDIBError, Exception);

#pragma pack(push, 1)
struct TBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
struct TRGBQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
struct TBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    TRGBQuad bmiColors[256];
};
struct TPaletteEntry {
    uint8_t peRed;
    uint8_t peGreen;
    uint8_t peBlue;
    uint8_t peFlags;
};
// A logical palette of palNumEntries entries (at most 256 are kept).
struct TLogPalette {
    uint16_t palVersion;
    uint16_t palNumEntries;
    TPaletteEntry palPalEntry[256];
};
#pragma pack(pop)
static_assert(sizeof(TBitmapInfoHeader) == 40, "the bitmap-info header is 40 bytes");

constexpr uint8_t PC_RESERVED = 0x01;
constexpr uint8_t PC_NOCOLLAPSE = 0x04;
constexpr int32_t kMaxAnimatedColors = 236;

class TMMDIBCanvas : public TCanvas {
public:
    // 1 x 1, 8 bits, the fixed palette; the first DIB is built at once.
    TMMDIBCanvas();
    ~TMMDIBCanvas() override;

    // ---- properties ----
    int32_t BitsPerPixel() const { return FBitsPerPixel; }
    // 8 or 24; anything else raises "Bitlength not supported yet".
    void SetBitsPerPixel(int32_t Value);
    // Realising a palette has no effect on a true-colour screen; the flags are
    // kept (and a change rebuilds the DIB) for the components that set them.
    bool PaletteRealize() const { return FPaletteRealize; }
    void SetPaletteRealize(bool Value);
    bool PaletteMapped() const { return FPaletteMapped; }
    void SetPaletteMapped(bool Value) { FPaletteMapped = Value; }
    // The picture laid into the background array (copied on assignment).
    TBitmap* BackGroundBitmap() const { return FBackGroundBitmap.get(); }
    void SetBackGroundBitmap(const TBitmap* Value);
    bool StretchBackGround() const { return FStretchBackGround; }
    void SetStretchBackGround(bool Value);
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetWidth(int32_t Value) { SetBounds(0, 0, Value, FHeight); }
    void SetHeight(int32_t Value) { SetBounds(0, 0, FWidth, Value); }
    // Only the size is used (at least 1, at most 32767 each way); the DIB is
    // rebuilt at the next BeginDraw or drawing call.
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    // A copy of Palette (version at least 0x300, at most 256 entries) supplies
    // entries 10 .. 246; null or an unusable palette removes it. Rebuilds.
    void SetCustomPalette(const TLogPalette* Palette);

    // ---- drawing session ----
    void BeginDraw();
    void EndDraw();
    bool Idle() const { return FIdle; }
    // Copies the rectangle (SrcX, SrcY, Width, Height) to (X, Y) of DC. Does
    // nothing without a DC or a DIB.
    void CopyToDC(
        TCanvas* DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t SrcX, int32_t SrcY);
    // The conversion CopyToDC performs: into a top-down RGB32 (or ARGB32)
    // image, both rectangles clipped together. Returns the rectangle written.
    TRect CopyToImage(
        QImage& Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t SrcX, int32_t SrcY);

    // 24 bits: the colour as 0x00BBGGRR; 8 bits: the nearest palette index
    // (least squared distance, the lowest index on ties).
    uint32_t MapColor(TColor Color);
    // MapColor, and the result becomes the drawing colour.
    uint32_t SetDrawColor(TColor Color);
    // A value already mapped becomes the drawing colour.
    void SetDrawValue(uint32_t Value);

    // ---- palette animation ----
    // Entries in use (reading) / requested count 0 .. 236 (raises "Invalid
    // count of animated colors" otherwise); a new count rebuilds the DIB.
    int32_t AnimatedColors() const { return static_cast<int32_t>(FAnimatedList.size()); }
    void SetAnimatedColors(int32_t Count);
    int32_t AnimatedColorIndex(int32_t Index) const { return FFirstAnimated + Index; }
    void SetAnimatedColor(int32_t Index, TColor Color);
    void BeginAnimate();
    void EndAnimate();
    // The placeholder colours the animated entries were given.
    const std::vector<uint32_t>& AnimatedList() const { return FAnimatedList; }
    int32_t FirstAnimated() const { return FFirstAnimated; }

    // ---- drawing routines (between BeginDraw and EndDraw) ----
    void DIBSetPixel(int32_t X, int32_t Y, uint32_t Value);
    int32_t DIBGetPixel(int32_t X, int32_t Y);
    void DIBMoveTo(int32_t X, int32_t Y);
    void DIBLineTo(int32_t X, int32_t Y);
    void DIBLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void DIBXorLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void DIBHLine(int32_t X1, int32_t X2, int32_t Y);
    void DIBDashHLine(int32_t X1, int32_t X2, int32_t Y);
    void DIBDotHLine(int32_t X1, int32_t X2, int32_t Y, int32_t Gap);
    void DIBVLine(int32_t X, int32_t Y1, int32_t Y2);
    void DIBDashVLine(int32_t X, int32_t Y1, int32_t Y2);
    void DIBDotVLine(int32_t X, int32_t Y1, int32_t Y2, int32_t Gap);
    void DIBXorVLine(int32_t X, int32_t Y1, int32_t Y2);
    void DIBInvertVLine(int32_t X, int32_t Y1, int32_t Y2);
    void DIBColumn(int32_t X, int32_t Y, int32_t Count, const uint8_t* Bytes);
    void DIBFrameRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
    void DIBFillRect(const TRect& R);
    void DIBXorFillRect(const TRect& R);
    void DIBPatternFillRect(const TRect& R, int32_t Mode);
    void DIBClear();
    // SrcBits: this canvas's Bits() or BackBits() (same format and stride).
    void DIBCopyRect(int32_t SrcX, int32_t SrcY, int32_t Width, int32_t Height, int32_t DestX, int32_t DestY,
        const uint8_t* SrcBits);

    // ---- the surface ----
    uint8_t* Bits() { return FBits.empty() ? nullptr : FBits.data(); }
    const uint8_t* Bits() const { return FBits.empty() ? nullptr : FBits.data(); }
    // The background picture's pixels; null without one.
    const uint8_t* BackBits() const { return FBackBits.empty() ? nullptr : FBackBits.data(); }
    int32_t Stride() const { return DIBStride(FWidth, FBitsPerPixel); }
    const TBitmapInfo* BitmapInfo() const { return FBitmapInfo.get(); }
    // The 256 palette entries (the "palette handle").
    const TPaletteEntry* PaletteEntries() const { return FPalette ? FPalette->data() : nullptr; }
    // The colour table as 0xFFRRGGBB, the lookup of the screen copy.
    const uint32_t* ColorTable() const { return FColorLUT; }
    // A surface descriptor of this canvas (clip = the whole DIB), for direct use.
    TDIBSurface Surface();

    TRect ClipRect() const override { return FClipRect; }
    bool HandleAllocated() const override { return !FNeedsDIB && !FBits.empty(); }

protected:
    void CreateHandle() override;
    void DoFillRect(const TRect& R, TColor Color) override;
    void DoPixels(const TPoint* Points, size_t Count, TColor Color) override;
    void DoStrokePath(const QPainterPath& Path, const QPen& Pen) override;
    void DoText(int32_t X, int32_t Y, const QString& Text, const QFont& Font, TColor Color,
        int32_t Orientation, const TRect* Clip) override;
    void DoDrawImage(const TRect& Dest, const QImage& Image) override;

private:
    void RecreateDIB();
    void FreeDIB();
    void BuildDIB();
    void BuildBackground(const QImage& picture, const uint8_t* pictureIndexMap);
    void FillColorTable(const TPaletteEntry* entries);
    uint8_t NearestIndex(uint32_t rgb) const;
    // Writes Color where Mask (Alpha8, at Origin) is set, clipped to Clip.
    void PaintMask(const QImage& Mask, TPoint Origin, TColor Color, const TRect& Clip);
    void BackgroundChanged();

    int32_t FBitsPerPixel = 8;
    bool FPaletteRealize = false;
    bool FPaletteMapped = false;
    bool FStretchBackGround = true;
    std::unique_ptr<TBitmap> FBackGroundBitmap;
    int32_t FWidth = 1;
    int32_t FHeight = 1;

    std::vector<uint8_t> FBits;
    std::vector<uint8_t> FBackBits;
    std::unique_ptr<TBitmapInfo> FBitmapInfo;
    std::unique_ptr<std::array<TPaletteEntry, 256>> FPalette;
    std::unique_ptr<TLogPalette> FCustomPalette;
    uint32_t FColorLUT[256] = {};
    TRect FClipRect = Rect(0, 0, 1, 1);
    bool FNeedsDIB = true;
    bool FIdle = true;
    int32_t FDrawDepth = 0;
    int32_t FAnimatedCount = 0;
    int32_t FFirstAnimated = 256;
    std::vector<uint32_t> FAnimatedList;
    int32_t FAnimateNesting = 0;
    std::vector<TRGBQuad> FAnimatePending;
};

// BeginDraw for the life of the scope, EndDraw however it is left.
class TDIBDrawScope {
public:
    explicit TDIBDrawScope(TMMDIBCanvas& Canvas)
        : FCanvas(Canvas)
    {
        FCanvas.BeginDraw();
    }
    ~TDIBDrawScope() { FCanvas.EndDraw(); }
    TDIBDrawScope(const TDIBDrawScope&) = delete;
    TDIBDrawScope& operator=(const TDIBDrawScope&) = delete;

private:
    TMMDIBCanvas& FCanvas;
};

} // namespace qv
