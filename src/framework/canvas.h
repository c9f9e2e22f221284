#pragma once
// The framework canvas: pen, brush and font, and the classic drawing calls
// (lines that leave out their end point, rectangles, text with DrawText
// alignment) as a thin layer over QPainter. Line pixels follow the classic
// rule exactly: a segment is drawn from its first point towards its second,
// and the second point is left out; a 1-pixel solid pen never goes through
// QPainter's own rasteriser. Descendants (the DIB surface) replace the
// protected back end to write pixels into memory instead of a painter.
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/colors.h"
#include "framework/font.h"

class QPainter;
class QPaintDevice;
class QPainterPath;
class QPen;

namespace qv {

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
    int32_t cx = 0;
    int32_t cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and Bottom are exclusive: the rectangle covers [Left, Right) x [Top, Bottom).
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

constexpr TPoint Point(int32_t x, int32_t y)
{
    return TPoint { x, y };
}
constexpr TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b)
{
    return TRect { l, t, r, b };
}
constexpr TRect Bounds(int32_t l, int32_t t, int32_t w, int32_t h)
{
    return TRect { l, t, l + w, t + h };
}
// Shrinks (positive d) or grows (negative d) a rectangle on every side.
constexpr TRect InflateRect(const TRect& r, int32_t dx, int32_t dy)
{
    return TRect { r.Left - dx, r.Top - dy, r.Right + dx, r.Bottom + dy };
}
// The common part; empty (all zero) when the two do not meet.
TRect IntersectRect(const TRect& a, const TRect& b);
// The smallest rectangle holding both; an empty operand is ignored.
TRect UnionRect(const TRect& a, const TRect& b);

// A framework colour as a Qt colour (system colours resolved).
QColor ToQColor(TColor c);

enum TPenStyle : int32_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle : int32_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

class TPen {
public:
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    // Width in pixels, at least 1.
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t v);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle v);
    void Assign(const TPen& o);
    std::function<void()> OnChange;

private:
    void Changed()
    {
        if (OnChange)
            OnChange();
    }
    TColor FColor = clBlack;
    int32_t FWidth = 1;
    TPenStyle FStyle = psSolid;
};

class TBrush {
public:
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle v);
    void Assign(const TBrush& o);
    std::function<void()> OnChange;

private:
    void Changed()
    {
        if (OnChange)
            OnChange();
    }
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

// DrawText format flags.
constexpr uint32_t DT_TOP = 0x0000;
constexpr uint32_t DT_LEFT = 0x0000;
constexpr uint32_t DT_CENTER = 0x0001;
constexpr uint32_t DT_RIGHT = 0x0002;
constexpr uint32_t DT_VCENTER = 0x0004;
constexpr uint32_t DT_BOTTOM = 0x0008;
constexpr uint32_t DT_WORDBREAK = 0x0010;
constexpr uint32_t DT_SINGLELINE = 0x0020;
constexpr uint32_t DT_EXPANDTABS = 0x0040;
constexpr uint32_t DT_NOCLIP = 0x0100;
constexpr uint32_t DT_CALCRECT = 0x0400;
constexpr uint32_t DT_NOPREFIX = 0x0800;

class TCanvas {
public:
    TCanvas();
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TPen& Pen() { return FPen; }
    TBrush& Brush() { return FBrush; }
    TFont& Font() { return *FFont; }

    // Binds a painter that is already open (borrowed; origin and clipping as
    // the caller set them) or opens one on a paint device (owned). Detach ends
    // an owned painter. Antialiasing is switched off while bound.
    void Attach(QPainter* painter);
    void AttachDevice(QPaintDevice* device);
    void Detach();
    QPainter* Painter() const { return FPainter; }
    // A canvas can draw when it has a handle: a painter, or its own memory.
    virtual bool HandleAllocated() const { return FPainter != nullptr; }

    TPoint PenPos() const { return FPenPos; }
    void SetPenPos(TPoint p) { FPenPos = p; }
    void MoveTo(int32_t X, int32_t Y) { FPenPos = Point(X, Y); }
    // A line from the pen position to (X, Y), which is left out; the pen moves there.
    void LineTo(int32_t X, int32_t Y);
    // Lines through the points in turn; the last point is left out.
    void Polyline(const TPoint* Points, size_t Count);
    void Polyline(const std::vector<TPoint>& Points) { Polyline(Points.data(), Points.size()); }
    // Frame in the pen, inside filled with the brush: [X1, X2) x [Y1, Y2).
    void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
    // [Left, Right) x [Top, Bottom) in the brush colour (nothing with a clear brush).
    void FillRect(const TRect& R);
    // A one-pixel border of R in the brush colour.
    void FrameRect(const TRect& R);
    void SetPixel(int32_t X, int32_t Y, TColor Color);

    // Text with its cell's top-left corner at (X, Y), in the font colour, on the
    // brush colour unless the brush is clear; the pen moves to the text's end.
    void TextOut(int32_t X, int32_t Y, const QString& Text);
    // As TextOut, clipped to R.
    void TextRect(const TRect& R, int32_t X, int32_t Y, const QString& Text);
    TSize TextExtent(const QString& Text) const;
    int32_t TextWidth(const QString& Text) const { return TextExtent(Text).cx; }
    int32_t TextHeight(const QString& Text) const { return TextExtent(Text).cy; }
    // Formatted text in R (DT_* flags); returns the height of the text. With
    // DT_CALCRECT only R's right and bottom are set to the text's extent.
    int32_t DrawText(const QString& Text, TRect& R, uint32_t Flags);

    // Pictures at their own size, or stretched into R.
    void Draw(int32_t X, int32_t Y, const QImage& Image);
    void StretchDraw(const TRect& R, const QImage& Image);

    // The area drawing can reach, in canvas coordinates.
    virtual TRect ClipRect() const;

    // Serialises drawing on this canvas between threads (recursive).
    void Lock() { FLock.lock(); }
    void Unlock() { FLock.unlock(); }
    bool TryLock() { return FLock.try_lock(); }
    // The same, for std::lock_guard and std::unique_lock.
    void lock() { FLock.lock(); }
    void unlock() { FLock.unlock(); }
    bool try_lock() { return FLock.try_lock(); }

    // The union of everything drawn since the last reset (for partial updates).
    TRect UpdateRect() const { return FUpdateRect; }
    void ResetUpdateRect() { FUpdateRect = TRect {}; }
    // Adds r to the update rectangle (for writers that bypass the drawing calls).
    void AddUpdate(const TRect& r) { FUpdateRect = UnionRect(FUpdateRect, r); }

    std::function<void(TCanvas* Sender)> OnChanging;
    std::function<void(TCanvas* Sender)> OnChange;

protected:
    // Asked for when a drawing call finds no handle; the base has none to give.
    virtual void CreateHandle() { }
    // Makes sure there is a handle; raises "Canvas does not allow drawing" otherwise.
    void RequireHandle();
    virtual void Changing();
    virtual void Changed();

    // The back end. Coordinates are canvas pixels; everything outside the clip
    // rectangle is dropped. The base draws through the bound painter.
    virtual void DoFillRect(const TRect& R, TColor Color);
    virtual void DoPixels(const TPoint* Points, size_t Count, TColor Color);
    // Wide or patterned pens and turned text, drawn by QPainter.
    virtual void DoStrokePath(const QPainterPath& Path, const QPen& Pen);
    // Text with its cell's top-left at (X, Y); Clip limits it when given.
    virtual void DoText(int32_t X, int32_t Y, const QString& Text, const QFont& Font, TColor Color,
        int32_t Orientation, const TRect* Clip);
    virtual void DoDrawImage(const TRect& Dest, const QImage& Image);

    TPen FPen;
    TBrush FBrush;
    std::unique_ptr<TFont> FFont;

private:
    void Line(TPoint a, TPoint b, int32_t& dashPhase);
    void TextCore(int32_t X, int32_t Y, const QString& Text, const TRect* Clip);

    QPainter* FPainter = nullptr;
    std::unique_ptr<QPainter> FOwnedPainter;
    TPoint FPenPos;
    TRect FUpdateRect;
    std::recursive_mutex FLock;
};

// The pixels of a classic line from A towards B, B left out: horizontal and
// vertical runs, and Bresenham's walk from A for the rest (exported for tests
// and for back ends that draw pixels themselves).
void ClassicLinePixels(TPoint A, TPoint B, std::vector<TPoint>& Out);

} // namespace qv
