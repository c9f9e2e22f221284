#include "display/dib_canvas.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "display/drawing_lock.h"

namespace qv {

namespace {

// The 20 fixed colours (red, green, blue): entries 0..9 and 246..255.
constexpr uint8_t kFixedLow[10][3]
    = { { 0, 0, 0 }, { 128, 0, 0 }, { 0, 128, 0 }, { 128, 128, 0 }, { 0, 0, 128 }, { 128, 0, 128 },
          { 0, 128, 128 }, { 192, 192, 192 }, { 192, 220, 192 }, { 166, 202, 240 } };
constexpr uint8_t kFixedHigh[10][3]
    = { { 255, 251, 240 }, { 160, 160, 164 }, { 128, 128, 128 }, { 255, 0, 0 }, { 0, 255, 0 },
          { 255, 255, 0 }, { 0, 0, 255 }, { 255, 0, 255 }, { 0, 255, 255 }, { 255, 255, 255 } };

// The process-wide drawing state: the surface of the canvas between BeginDraw
// and EndDraw. Nested sessions (another canvas drawn while one is open on the
// same thread) keep the outer state on a stack.
struct TDrawState {
    TDIBSurface Surface;
    TMMDIBCanvas* Canvas = nullptr;
};
TDrawState gState;
std::vector<TDrawState>& StateStack()
{
    static auto* stack = new std::vector<TDrawState>;
    return *stack;
}

constexpr uint32_t RgbOf(const TPaletteEntry& e)
{
    return static_cast<uint32_t>(e.peRed) | static_cast<uint32_t>(e.peGreen) << 8
        | static_cast<uint32_t>(e.peBlue) << 16;
}

constexpr int32_t kMaxSide = 32767;

bool IsDirectImage(const QImage& img)
{
    const QImage::Format f = img.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32
        || f == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

TMMDIBCanvas::TMMDIBCanvas()
    : FBackGroundBitmap(std::make_unique<TBitmap>())
{
    FBackGroundBitmap->OnChange = [this](TBitmap*) { BackgroundChanged(); };
    CreateHandle();
}

TMMDIBCanvas::~TMMDIBCanvas()
{
    FBackGroundBitmap->OnChange = nullptr;
    // A canvas freed while drawing leaves the shared state pointing nowhere.
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    if (gState.Canvas == this)
        gState = TDrawState {};
    for (TDrawState& s : StateStack())
        if (s.Canvas == this)
            s = TDrawState {};
    while (FDrawDepth > 0) {
        --FDrawDepth;
        DIBDrawLock().unlock();
    }
}

// ---- properties -----------------------------------------------------------------

void TMMDIBCanvas::SetBitsPerPixel(int32_t Value)
{
    if (Value != 8 && Value != 24)
        throw EMMDIBError("Bitlength not supported yet");
    if (Value == FBitsPerPixel)
        return;
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    if (!FIdle)
        throw EMMDIBError("Attempt to create new DIB while initialized for drawing");
    FBitsPerPixel = Value;
    RecreateDIB();
}

void TMMDIBCanvas::SetPaletteRealize(bool Value)
{
    if (Value == FPaletteRealize)
        return;
    FPaletteRealize = Value;
    RecreateDIB();
}

void TMMDIBCanvas::SetBackGroundBitmap(const TBitmap* Value)
{
    FBackGroundBitmap->Assign(Value);
}

void TMMDIBCanvas::BackgroundChanged()
{
    RecreateDIB();
}

void TMMDIBCanvas::SetStretchBackGround(bool Value)
{
    if (Value == FStretchBackGround)
        return;
    FStretchBackGround = Value;
    if (!FBackGroundBitmap->Empty())
        RecreateDIB();
}

void TMMDIBCanvas::SetBounds(int32_t, int32_t, int32_t AWidth, int32_t AHeight)
{
    AWidth = std::clamp(AWidth, 1, kMaxSide);
    AHeight = std::clamp(AHeight, 1, kMaxSide);
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    if (AWidth == FWidth && AHeight == FHeight)
        return;
    FWidth = AWidth;
    FHeight = AHeight;
    FClipRect = Rect(0, 0, FWidth, FHeight);
    FNeedsDIB = true;
}

void TMMDIBCanvas::SetCustomPalette(const TLogPalette* Palette)
{
    FCustomPalette.reset();
    if (Palette && Palette->palVersion >= 0x300 && Palette->palNumEntries <= 256) {
        FCustomPalette = std::make_unique<TLogPalette>();
        std::memset(FCustomPalette.get(), 0, sizeof(TLogPalette));
        FCustomPalette->palVersion = Palette->palVersion;
        FCustomPalette->palNumEntries = Palette->palNumEntries;
        std::memcpy(FCustomPalette->palPalEntry, Palette->palPalEntry,
            sizeof(TPaletteEntry) * Palette->palNumEntries);
    }
    RecreateDIB();
}

// ---- building the DIB -------------------------------------------------------------

void TMMDIBCanvas::CreateHandle()
{
    if (FNeedsDIB)
        RecreateDIB();
}

void TMMDIBCanvas::RecreateDIB()
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    if (!FIdle)
        throw EMMDIBError("Attempt to create new DIB while initialized for drawing");
    FreeDIB();
    BuildDIB();
}

void TMMDIBCanvas::FreeDIB()
{
    std::vector<uint8_t>().swap(FBackBits);
    std::vector<uint8_t>().swap(FBits);
    FPalette.reset();
    FBitmapInfo.reset();
}

void TMMDIBCanvas::FillColorTable(const TPaletteEntry* entries)
{
    for (int i = 0; i < 256; ++i) {
        TRGBQuad& q = FBitmapInfo->bmiColors[i];
        q.rgbBlue = entries[i].peBlue;
        q.rgbGreen = entries[i].peGreen;
        q.rgbRed = entries[i].peRed;
        q.rgbReserved = (i >= 10 && i <= 245 && i < FFirstAnimated) ? 4 : 0;
        FColorLUT[i] = 0xFF000000u | static_cast<uint32_t>(q.rgbRed) << 16
            | static_cast<uint32_t>(q.rgbGreen) << 8 | q.rgbBlue;
    }
}

void TMMDIBCanvas::BuildDIB()
{
    try {
        auto info = std::make_unique<TBitmapInfo>();
        std::memset(info.get(), 0, sizeof(TBitmapInfo));
        TBitmapInfoHeader& h = info->bmiHeader;
        h.biSize = 40;
        h.biWidth = FWidth;
        h.biHeight = FHeight;
        h.biPlanes = 1;
        h.biBitCount = static_cast<uint16_t>(FBitsPerPixel > 8 ? 24 : 8);
        h.biCompression = 0;
        h.biClrUsed = FBitsPerPixel > 8 ? 0 : 256;

        // The logical palette: the fixed colours, then what fills the middle.
        std::array<TPaletteEntry, 256> pal {};
        for (int i = 0; i < 10; ++i) {
            pal[i] = TPaletteEntry { kFixedLow[i][0], kFixedLow[i][1], kFixedLow[i][2], 0 };
            pal[246 + i] = TPaletteEntry { kFixedHigh[i][0], kFixedHigh[i][1], kFixedHigh[i][2], 0 };
        }
        QImage picture;
        if (!FBackGroundBitmap->Empty()) {
            picture = FBackGroundBitmap->Image();
            std::vector<QRgb> colours;
            if (picture.format() == QImage::Format_Indexed8) {
                const QList<QRgb> table = picture.colorTable();
                colours.assign(table.begin(), table.end());
            } else {
                // A true-colour picture brings its own colours when it has few
                // enough, else a 6 x 6 x 6 colour cube.
                std::unordered_set<QRgb> seen;
                const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
                for (int y = 0; y < rgb.height() && seen.size() <= 235; ++y) {
                    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
                    for (int x = 0; x < rgb.width() && seen.size() <= 235; ++x)
                        if (seen.insert(line[x] | 0xFF000000u).second)
                            colours.push_back(line[x] | 0xFF000000u);
                }
                if (seen.size() > 235) {
                    colours.assign(10, 0);
                    for (int r = 0; r < 6; ++r)
                        for (int g = 0; g < 6; ++g)
                            for (int b = 0; b < 6; ++b)
                                colours.push_back(qRgb(r * 51, g * 51, b * 51));
                } else {
                    colours.insert(colours.begin(), 10, 0);
                }
            }
            for (int i = 10; i <= 244 && i < static_cast<int>(colours.size()); ++i)
                pal[i] = TPaletteEntry { static_cast<uint8_t>(qRed(colours[i])),
                    static_cast<uint8_t>(qGreen(colours[i])), static_cast<uint8_t>(qBlue(colours[i])), 0 };
        } else if (FCustomPalette) {
            for (int i = 10; i <= 246; ++i) {
                TPaletteEntry e = FCustomPalette->palPalEntry[i];
                e.peFlags = PC_NOCOLLAPSE;
                pal[i] = e;
            }
        }

        // Animated entries get placeholder colours that no other entry has.
        FAnimatedList.clear();
        const int32_t n = FAnimatedCount;
        if (n > 0) {
            std::unordered_set<uint32_t> used;
            for (const TPaletteEntry& e : pal)
                used.insert(RgbOf(e));
            for (int i = 247 - n; i <= 246; ++i) {
                uint32_t v = 0;
                while (used.count(v))
                    ++v;
                // The entry's old colour leaves the palette as the new one enters.
                pal[i] = TPaletteEntry { static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), PC_RESERVED };
                used.clear();
                for (const TPaletteEntry& e : pal)
                    used.insert(RgbOf(e));
                FAnimatedList.push_back(v);
            }
            FFirstAnimated = 247 - n;
        } else {
            FFirstAnimated = 256;
        }

        FBitmapInfo = std::move(info);
        FillColorTable(pal.data());
        FPalette = std::make_unique<std::array<TPaletteEntry, 256>>(pal);

        const size_t bytes = static_cast<size_t>(Stride()) * static_cast<size_t>(FHeight);
        if (!picture.isNull())
            BuildBackground(picture, nullptr);
        FBits.assign(bytes, 0); // black: index 0, or zero bytes
        FClipRect = Rect(0, 0, FWidth, FHeight);
        FNeedsDIB = false;
    } catch (const std::bad_alloc&) {
        FreeDIB();
        FNeedsDIB = true;
        throw EOutOfMemory("Out of memory");
    }
}

void TMMDIBCanvas::BuildBackground(const QImage& picture, const uint8_t*)
{
    // Stretched once over the whole surface, or tiled at its own size, with
    // colour-on-colour (nearest pixel) scaling.
    QImage canvas(FWidth, FHeight, QImage::Format_RGB32);
    if (FStretchBackGround) {
        canvas = picture.convertToFormat(QImage::Format_RGB32)
                     .scaled(FWidth, FHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    } else {
        canvas.fill(Qt::black);
        const QImage tile = picture.convertToFormat(QImage::Format_RGB32);
        QPainter p(&canvas);
        for (int y = 0; y < FHeight; y += tile.height())
            for (int x = 0; x < FWidth; x += tile.width())
                p.drawImage(x, y, tile);
    }
    if (canvas.isNull())
        throw std::bad_alloc();
    const int32_t stride = Stride();
    FBackBits.assign(static_cast<size_t>(stride) * FHeight, 0);
    std::unordered_map<QRgb, uint8_t> cache;
    for (int32_t y = 0; y < FHeight; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        uint8_t* dst = FBackBits.data() + static_cast<ptrdiff_t>(FHeight - 1 - y) * stride;
        for (int32_t x = 0; x < FWidth; ++x) {
            const QRgb c = src[x];
            if (FBitsPerPixel == 8) {
                auto it = cache.find(c);
                if (it == cache.end())
                    it = cache.emplace(c, NearestIndex(RGB(qRed(c), qGreen(c), qBlue(c)))).first;
                dst[x] = it->second;
            } else {
                dst[3 * x] = static_cast<uint8_t>(qBlue(c));
                dst[3 * x + 1] = static_cast<uint8_t>(qGreen(c));
                dst[3 * x + 2] = static_cast<uint8_t>(qRed(c));
            }
        }
    }
}

// ---- colours ------------------------------------------------------------------------

uint8_t TMMDIBCanvas::NearestIndex(uint32_t rgb) const
{
    if (!FPalette)
        return 0;
    const int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    int best = 0;
    int bestDist = INT32_MAX;
    for (int i = 0; i < 256; ++i) {
        const TPaletteEntry& e = (*FPalette)[i];
        const int dr = e.peRed - r, dg = e.peGreen - g, db = e.peBlue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
            if (d == 0)
                break;
        }
    }
    return static_cast<uint8_t>(best);
}

uint32_t TMMDIBCanvas::MapColor(TColor Color)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock()); // the palette may be rebuilt meanwhile
    const uint32_t rgb = static_cast<uint32_t>(ColorToRGB(Color)) & 0x00FFFFFFu;
    if (FBitsPerPixel > 8)
        return rgb;
    return NearestIndex(rgb);
}

uint32_t TMMDIBCanvas::SetDrawColor(TColor Color)
{
    const uint32_t v = MapColor(Color);
    SetDrawValue(v);
    return v;
}

void TMMDIBCanvas::SetDrawValue(uint32_t Value)
{
    if (gState.Canvas == this)
        gState.Surface.Color = DIBDrawValue(FBitsPerPixel, Value);
}

// ---- drawing session ------------------------------------------------------------------

TDIBSurface TMMDIBCanvas::Surface()
{
    TDIBSurface s;
    s.Bits = Bits();
    s.BitsPerPixel = FBitsPerPixel;
    s.BytesPerPixel = FBitsPerPixel / 8;
    s.Width = FWidth;
    s.Height = FHeight;
    s.Stride = Stride();
    s.Clip = FClipRect;
    return s;
}

void TMMDIBCanvas::BeginDraw()
{
    DIBDrawLock().lock();
    try {
        Changing();
        if (FNeedsDIB)
            RecreateDIB();
    } catch (...) {
        DIBDrawLock().unlock();
        throw;
    }
    StateStack().push_back(gState);
    gState.Surface = Surface();
    gState.Surface.Pen = Point(0, 0);
    gState.Canvas = this;
    FIdle = false;
    ++FDrawDepth;
}

void TMMDIBCanvas::EndDraw()
{
    if (FDrawDepth == 0)
        return; // not drawing: nothing to end
    std::vector<TDrawState>& stack = StateStack();
    if (!stack.empty()) {
        gState = stack.back();
        stack.pop_back();
    } else {
        gState = TDrawState {};
    }
    --FDrawDepth;
    FIdle = FDrawDepth == 0;
    try {
        Changed();
    } catch (...) {
        DIBDrawLock().unlock();
        throw;
    }
    DIBDrawLock().unlock();
}

TRect TMMDIBCanvas::CopyToImage(
    QImage& Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t SrcX, int32_t SrcY)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    const uint8_t* bits = Bits();
    if (!bits || Dest.isNull() || !IsDirectImage(Dest) || Width <= 0 || Height <= 0)
        return TRect {};
    int64_t sx = SrcX, sy = SrcY, dx = X, dy = Y, w = Width, h = Height;
    auto clip = [](int64_t& a, int64_t& partner, int64_t& len, int64_t lo, int64_t hi) {
        if (a < lo) {
            partner += lo - a;
            len -= lo - a;
            a = lo;
        }
        if (a + len > hi)
            len = hi - a;
    };
    clip(sx, dx, w, 0, FWidth);
    clip(sy, dy, h, 0, FHeight);
    clip(dx, sx, w, 0, Dest.width());
    clip(dy, sy, h, 0, Dest.height());
    if (w <= 0 || h <= 0)
        return TRect {};
    const int32_t stride = Stride();
    for (int64_t k = 0; k < h; ++k) {
        // Picture row sy + k lies at memory row Height - 1 - (sy + k).
        const uint8_t* src = bits + static_cast<ptrdiff_t>(FHeight - 1 - (sy + k)) * stride;
        // The screen image is not shared: writing through constScanLine keeps
        // a painter that may be open on it pointing at the same memory.
        auto* dst
            = reinterpret_cast<uint32_t*>(const_cast<uchar*>(Dest.constScanLine(static_cast<int>(dy + k))))
            + dx;
        if (FBitsPerPixel == 8) {
            src += sx;
            const uint32_t* lut = FColorLUT;
            for (int64_t i = 0; i < w; ++i)
                dst[i] = lut[src[i]];
        } else {
            src += 3 * sx;
            for (int64_t i = 0; i < w; ++i, src += 3)
                dst[i] = 0xFF000000u | static_cast<uint32_t>(src[2]) << 16
                    | static_cast<uint32_t>(src[1]) << 8 | src[0];
        }
    }
    return Bounds(
        static_cast<int32_t>(dx), static_cast<int32_t>(dy), static_cast<int32_t>(w), static_cast<int32_t>(h));
}

void TMMDIBCanvas::CopyToDC(
    TCanvas* DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t SrcX, int32_t SrcY)
{
    if (!DC || !DC->Painter() || !Bits() || Width <= 0 || Height <= 0)
        return;
    QPainter* p = DC->Painter();
    const QTransform t = p->transform();
    QPaintDevice* dev = p->device();
    if (dev && dev->devType() == QInternal::Image && t.type() <= QTransform::TxTranslate) {
        auto* img = static_cast<QImage*>(dev);
        if (IsDirectImage(*img)) {
            // Straight into the screen image, clipped to the painter's clip.
            const int32_t tx = static_cast<int32_t>(t.dx()), ty = static_cast<int32_t>(t.dy());
            int32_t x = X, y = Y, w = Width, h = Height, sx = SrcX, sy = SrcY;
            if (p->hasClipping()) {
                const QRect c = p->clipBoundingRect().toAlignedRect();
                if (x < c.left()) {
                    sx += c.left() - x;
                    w -= c.left() - x;
                    x = c.left();
                }
                if (y < c.top()) {
                    sy += c.top() - y;
                    h -= c.top() - y;
                    y = c.top();
                }
                w = std::min(w, c.left() + c.width() - x);
                h = std::min(h, c.top() + c.height() - y);
                if (w <= 0 || h <= 0)
                    return;
            }
            const TRect done = CopyToImage(*img, x + tx, y + ty, w, h, sx, sy);
            if (!done.IsEmpty())
                DC->AddUpdate(Bounds(done.Left - tx, done.Top - ty, done.Width(), done.Height()));
            return;
        }
    }
    QImage tmp(Width, Height, QImage::Format_RGB32);
    tmp.fill(Qt::black);
    const TRect done = CopyToImage(tmp, 0, 0, Width, Height, SrcX, SrcY);
    if (done.IsEmpty())
        return;
    p->drawImage(
        QPoint(X + done.Left, Y + done.Top), tmp, QRect(done.Left, done.Top, done.Width(), done.Height()));
    DC->AddUpdate(Bounds(X + done.Left, Y + done.Top, done.Width(), done.Height()));
}

// ---- palette animation ------------------------------------------------------------------

void TMMDIBCanvas::SetAnimatedColors(int32_t Count)
{
    if (Count < 0 || Count > kMaxAnimatedColors)
        throw EMMDIBError("Invalid count of animated colors");
    if (Count == AnimatedColors())
        return;
    FAnimatedCount = Count;
    RecreateDIB();
}

void TMMDIBCanvas::SetAnimatedColor(int32_t Index, TColor Color)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    if (Index < 0 || Index >= AnimatedColors())
        throw EMMDIBError("Invalidate animated color index");
    const uint32_t rgb = static_cast<uint32_t>(ColorToRGB(Color));
    const TRGBQuad quad { static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
        static_cast<uint8_t>(rgb), 0 };
    if (FAnimateNesting > 0) {
        if (static_cast<size_t>(Index) < FAnimatePending.size())
            FAnimatePending[static_cast<size_t>(Index)] = quad;
        return;
    }
    // Only an 8-bit surface has a colour table to animate.
    if (FBitsPerPixel != 8 || !FBitmapInfo || !FPalette)
        throw EMMDIBError("Get palette entries failed");
    const int i = FFirstAnimated + Index;
    FBitmapInfo->bmiColors[i].rgbBlue = quad.rgbBlue;
    FBitmapInfo->bmiColors[i].rgbGreen = quad.rgbGreen;
    FBitmapInfo->bmiColors[i].rgbRed = quad.rgbRed;
    (*FPalette)[i] = TPaletteEntry { quad.rgbRed, quad.rgbGreen, quad.rgbBlue, PC_RESERVED };
    FColorLUT[i] = 0xFF000000u | (rgb & 0xFF) << 16 | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

void TMMDIBCanvas::BeginAnimate()
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    ++FAnimateNesting;
    if (FAnimateNesting == 1 && AnimatedColors() > 0) {
        if (FBitsPerPixel != 8 || !FBitmapInfo)
            throw EMMDIBError("Get palette entries failed");
        FAnimatePending.assign(FBitmapInfo->bmiColors + FFirstAnimated,
            FBitmapInfo->bmiColors + FFirstAnimated + AnimatedColors());
    }
}

void TMMDIBCanvas::EndAnimate()
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    if (FAnimateNesting == 0)
        return;
    --FAnimateNesting;
    if (FAnimateNesting > 0)
        return;
    std::vector<TRGBQuad> pending;
    pending.swap(FAnimatePending); // freed in every case
    if (AnimatedColors() == 0 || pending.empty())
        return;
    if (FBitsPerPixel != 8 || !FBitmapInfo)
        throw EMMDIBError("Set palette entries failed");
    if (!FPalette)
        throw EMMDIBError("Animation of palette entries failed");
    for (size_t k = 0; k < pending.size(); ++k) {
        const int i = FFirstAnimated + static_cast<int>(k);
        const TRGBQuad& q = pending[k];
        FBitmapInfo->bmiColors[i].rgbBlue = q.rgbBlue;
        FBitmapInfo->bmiColors[i].rgbGreen = q.rgbGreen;
        FBitmapInfo->bmiColors[i].rgbRed = q.rgbRed;
        (*FPalette)[i] = TPaletteEntry { q.rgbRed, q.rgbGreen, q.rgbBlue, PC_RESERVED };
        FColorLUT[i] = 0xFF000000u | static_cast<uint32_t>(q.rgbRed) << 16
            | static_cast<uint32_t>(q.rgbGreen) << 8 | q.rgbBlue;
    }
}

// ---- drawing routines -----------------------------------------------------------------------
// They act on the shared drawing state, and only while this canvas is the one drawing.

#define QV_DRAWING_STATE                                                                                     \
    if (gState.Canvas != this)                                                                               \
        return;                                                                                              \
    TDIBSurface& s = gState.Surface

void TMMDIBCanvas::DIBSetPixel(int32_t X, int32_t Y, uint32_t Value)
{
    QV_DRAWING_STATE;
    dib::SetPixel(s, X, Y, Value);
}

int32_t TMMDIBCanvas::DIBGetPixel(int32_t X, int32_t Y)
{
    if (gState.Canvas != this)
        return -1;
    return dib::GetPixel(gState.Surface, X, Y);
}

void TMMDIBCanvas::DIBMoveTo(int32_t X, int32_t Y)
{
    QV_DRAWING_STATE;
    s.Pen = Point(X, Y);
}

void TMMDIBCanvas::DIBLineTo(int32_t X, int32_t Y)
{
    QV_DRAWING_STATE;
    dib::Line(s, s.Pen.X, s.Pen.Y, X, Y);
    s.Pen = Point(X, Y);
}

void TMMDIBCanvas::DIBLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    QV_DRAWING_STATE;
    dib::Line(s, X1, Y1, X2, Y2);
}

void TMMDIBCanvas::DIBXorLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    QV_DRAWING_STATE;
    dib::XorLine(s, X1, Y1, X2, Y2);
}

void TMMDIBCanvas::DIBHLine(int32_t X1, int32_t X2, int32_t Y)
{
    QV_DRAWING_STATE;
    dib::HLine(s, X1, X2, Y);
}

void TMMDIBCanvas::DIBDashHLine(int32_t X1, int32_t X2, int32_t Y)
{
    QV_DRAWING_STATE;
    dib::DashHLine(s, X1, X2, Y);
}

void TMMDIBCanvas::DIBDotHLine(int32_t X1, int32_t X2, int32_t Y, int32_t Gap)
{
    QV_DRAWING_STATE;
    dib::DotHLine(s, X1, X2, Y, Gap);
}

void TMMDIBCanvas::DIBVLine(int32_t X, int32_t Y1, int32_t Y2)
{
    QV_DRAWING_STATE;
    dib::VLine(s, X, Y1, Y2);
}

void TMMDIBCanvas::DIBDashVLine(int32_t X, int32_t Y1, int32_t Y2)
{
    QV_DRAWING_STATE;
    dib::DashVLine(s, X, Y1, Y2);
}

void TMMDIBCanvas::DIBDotVLine(int32_t X, int32_t Y1, int32_t Y2, int32_t Gap)
{
    QV_DRAWING_STATE;
    dib::DotVLine(s, X, Y1, Y2, Gap);
}

void TMMDIBCanvas::DIBXorVLine(int32_t X, int32_t Y1, int32_t Y2)
{
    QV_DRAWING_STATE;
    dib::XorVLine(s, X, Y1, Y2);
}

void TMMDIBCanvas::DIBInvertVLine(int32_t X, int32_t Y1, int32_t Y2)
{
    QV_DRAWING_STATE;
    dib::InvertVLine(s, X, Y1, Y2);
}

void TMMDIBCanvas::DIBColumn(int32_t X, int32_t Y, int32_t Count, const uint8_t* Bytes)
{
    QV_DRAWING_STATE;
    dib::Column(s, X, Y, Count, Bytes);
}

void TMMDIBCanvas::DIBFrameRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom)
{
    QV_DRAWING_STATE;
    dib::FrameRect(s, Left, Top, Right, Bottom);
}

void TMMDIBCanvas::DIBFillRect(const TRect& R)
{
    QV_DRAWING_STATE;
    dib::FillRect(s, R);
}

void TMMDIBCanvas::DIBXorFillRect(const TRect& R)
{
    QV_DRAWING_STATE;
    dib::XorFillRect(s, R);
}

void TMMDIBCanvas::DIBPatternFillRect(const TRect& R, int32_t Mode)
{
    QV_DRAWING_STATE;
    dib::PatternFillRect(s, R, Mode);
}

void TMMDIBCanvas::DIBClear()
{
    QV_DRAWING_STATE;
    dib::Clear(s);
}

void TMMDIBCanvas::DIBCopyRect(int32_t SrcX, int32_t SrcY, int32_t Width, int32_t Height, int32_t DestX,
    int32_t DestY, const uint8_t* SrcBits)
{
    QV_DRAWING_STATE;
    dib::CopyRect(s, SrcX, SrcY, Width, Height, DestX, DestY, SrcBits);
}

#undef QV_DRAWING_STATE

// ---- the framework canvas calls on the surface ------------------------------------------------

void TMMDIBCanvas::DoFillRect(const TRect& R, TColor Color)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    TDIBSurface s = Surface();
    s.Color = DIBDrawValue(FBitsPerPixel, MapColor(Color));
    dib::FillRect(s, R);
}

void TMMDIBCanvas::DoPixels(const TPoint* Points, size_t Count, TColor Color)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    const TDIBSurface s = Surface();
    const uint32_t v = MapColor(Color);
    for (size_t i = 0; i < Count; ++i)
        dib::SetPixel(s, Points[i].X, Points[i].Y, v);
}

void TMMDIBCanvas::PaintMask(const QImage& Mask, TPoint Origin, TColor Color, const TRect& Clip)
{
    const TDIBSurface s = Surface();
    const uint32_t v = MapColor(Color);
    const TRect area = IntersectRect(Bounds(Origin.X, Origin.Y, Mask.width(), Mask.height()), Clip);
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        const uchar* m = Mask.constScanLine(y - Origin.Y);
        for (int32_t x = area.Left; x < area.Right; ++x)
            if (m[x - Origin.X] >= 128)
                dib::SetPixel(s, x, y, v);
    }
}

void TMMDIBCanvas::DoStrokePath(const QPainterPath& Path, const QPen& Pen)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    const int pad = static_cast<int>(Pen.widthF()) + 2;
    const QRect box = Path.boundingRect().toAlignedRect().adjusted(-pad, -pad, pad, pad);
    const TRect area = IntersectRect(
        Rect(box.left(), box.top(), box.left() + box.width(), box.top() + box.height()), FClipRect);
    if (area.IsEmpty())
        return;
    QImage mask(area.Width(), area.Height(), QImage::Format_Alpha8);
    if (mask.isNull())
        return;
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.translate(-area.Left, -area.Top);
        QPen pen = Pen;
        pen.setColor(QColor(255, 255, 255, 255));
        p.setPen(pen);
        p.drawPath(Path);
    }
    const QColor c = Pen.color();
    PaintMask(mask, Point(area.Left, area.Top), RGB(c.red(), c.green(), c.blue()), FClipRect);
}

void TMMDIBCanvas::DoText(int32_t X, int32_t Y, const QString& Text, const QFont& Font, TColor Color,
    int32_t Orientation, const TRect* Clip)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    // Palette pixels take no blending: the text is drawn without antialiasing
    // into a one-bit mask, then written in the mapped colour.
    QFont f = Font;
    f.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics fm(f);
    QTransform t;
    t.translate(X, Y);
    if (Orientation != 0)
        t.rotate(-Orientation / 10.0);
    const QRect ink = fm.boundingRect(Text)
                          .translated(0, fm.ascent())
                          .united(QRect(0, 0, fm.horizontalAdvance(Text), fm.height()));
    const QRect box = t.mapRect(ink).adjusted(-2, -2, 2, 2);
    TRect clip = FClipRect;
    if (Clip)
        clip = IntersectRect(clip, *Clip);
    const TRect area = IntersectRect(
        Rect(box.left(), box.top(), box.left() + box.width(), box.top() + box.height()), clip);
    if (area.IsEmpty())
        return;
    QImage mask(area.Width(), area.Height(), QImage::Format_Alpha8);
    if (mask.isNull())
        return;
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.translate(-area.Left, -area.Top);
        p.setTransform(t, true);
        p.setFont(f);
        p.setPen(QColor(255, 255, 255, 255));
        p.drawText(QPoint(0, fm.ascent()), Text);
    }
    PaintMask(mask, Point(area.Left, area.Top), Color, clip);
}

void TMMDIBCanvas::DoDrawImage(const TRect& Dest, const QImage& Image)
{
    std::lock_guard<std::recursive_mutex> lock(DIBDrawLock());
    const TRect area = IntersectRect(Dest, FClipRect);
    if (area.IsEmpty())
        return;
    const QImage scaled = (Image.width() == Dest.Width() && Image.height() == Dest.Height())
        ? Image.convertToFormat(QImage::Format_RGB32)
        : Image.convertToFormat(QImage::Format_RGB32)
              .scaled(Dest.Width(), Dest.Height(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const TDIBSurface s = Surface();
    std::unordered_map<QRgb, uint32_t> cache;
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(scaled.constScanLine(y - Dest.Top));
        for (int32_t x = area.Left; x < area.Right; ++x) {
            const QRgb c = line[x - Dest.Left] & 0x00FFFFFFu;
            auto it = cache.find(c);
            if (it == cache.end())
                it = cache.emplace(c, MapColor(RGB(qRed(c), qGreen(c), qBlue(c)))).first;
            dib::SetPixel(s, x, y, it->second);
        }
    }
}

} // namespace qv
