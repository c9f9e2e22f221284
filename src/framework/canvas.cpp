#include "framework/canvas.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cstdlib>

#include "framework/exceptions.h"

namespace qv {

TRect IntersectRect(const TRect& a, const TRect& b)
{
    TRect r { std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
        std::min(a.Bottom, b.Bottom) };
    if (r.IsEmpty())
        return TRect {};
    return r;
}

TRect UnionRect(const TRect& a, const TRect& b)
{
    if (a.IsEmpty())
        return b.IsEmpty() ? TRect {} : b;
    if (b.IsEmpty())
        return a;
    return TRect { std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
        std::max(a.Bottom, b.Bottom) };
}

QColor ToQColor(TColor c)
{
    const TColor rgb = ColorToRGB(c);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

void TPen::SetColor(TColor v)
{
    if (v != FColor) {
        FColor = v;
        Changed();
    }
}

void TPen::SetWidth(int32_t v)
{
    v = std::max<int32_t>(v, 1);
    if (v != FWidth) {
        FWidth = v;
        Changed();
    }
}

void TPen::SetStyle(TPenStyle v)
{
    if (v != FStyle) {
        FStyle = v;
        Changed();
    }
}

void TPen::Assign(const TPen& o)
{
    FColor = o.FColor;
    FWidth = o.FWidth;
    FStyle = o.FStyle;
    Changed();
}

void TBrush::SetColor(TColor v)
{
    if (v != FColor || FStyle == bsClear) {
        FColor = v;
        // A colour makes a clear brush solid again, as the classic canvas does.
        if (FStyle == bsClear)
            FStyle = bsSolid;
        Changed();
    }
}

void TBrush::SetStyle(TBrushStyle v)
{
    if (v != FStyle) {
        FStyle = v;
        Changed();
    }
}

void TBrush::Assign(const TBrush& o)
{
    FColor = o.FColor;
    FStyle = o.FStyle;
    Changed();
}

void ClassicLinePixels(TPoint A, TPoint B, std::vector<TPoint>& Out)
{
    Out.clear();
    const int32_t dx = std::abs(B.X - A.X);
    const int32_t dy = std::abs(B.Y - A.Y);
    const int32_t sx = B.X > A.X ? 1 : -1;
    const int32_t sy = B.Y > A.Y ? 1 : -1;
    const bool xMajor = dx >= dy;
    const int32_t major = xMajor ? dx : dy;
    const int32_t minor = xMajor ? dy : dx;
    const int32_t inc1 = 2 * minor;
    const int32_t inc2 = 2 * minor - 2 * major;
    int32_t d = 2 * minor - major;
    int32_t x = A.X, y = A.Y;
    Out.reserve(static_cast<size_t>(major));
    for (int32_t i = 0; i < major; ++i) {
        Out.push_back(Point(x, y));
        if (xMajor)
            x += sx;
        else
            y += sy;
        if (d < 0) {
            d += inc1;
        } else {
            d += inc2;
            if (xMajor)
                y += sy;
            else
                x += sx;
        }
    }
}

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>())
{
    FFont->setObjectName(QStringLiteral("Font"));
}

TCanvas::~TCanvas()
{
    Detach();
}

void TCanvas::Attach(QPainter* painter)
{
    Detach();
    FPainter = painter;
    if (FPainter)
        FPainter->setRenderHint(QPainter::Antialiasing, false);
}

void TCanvas::AttachDevice(QPaintDevice* device)
{
    Detach();
    if (!device)
        return;
    FOwnedPainter = std::make_unique<QPainter>(device);
    FPainter = FOwnedPainter.get();
    FPainter->setRenderHint(QPainter::Antialiasing, false);
}

void TCanvas::Detach()
{
    FPainter = nullptr;
    if (FOwnedPainter) {
        FOwnedPainter->end();
        FOwnedPainter.reset();
    }
}

void TCanvas::RequireHandle()
{
    if (!HandleAllocated())
        CreateHandle();
    if (!HandleAllocated())
        throw Exception("Canvas does not allow drawing");
}

void TCanvas::Changing()
{
    if (OnChanging)
        OnChanging(this);
}

void TCanvas::Changed()
{
    if (OnChange)
        OnChange(this);
}

TRect TCanvas::ClipRect() const
{
    if (!FPainter)
        return TRect {};
    if (FPainter->hasClipping()) {
        const QRect c = FPainter->clipBoundingRect().toAlignedRect();
        return Rect(c.left(), c.top(), c.left() + c.width(), c.top() + c.height());
    }
    const QPaintDevice* d = FPainter->device();
    if (!d)
        return TRect {};
    // Painter coordinates may be translated (a control inside a larger surface).
    const QPointF o = FPainter->transform().map(QPointF(0, 0));
    return Bounds(static_cast<int32_t>(-o.x()), static_cast<int32_t>(-o.y()), d->width(), d->height());
}

// ---- back end through QPainter --------------------------------------------

void TCanvas::DoFillRect(const TRect& R, TColor Color)
{
    if (R.IsEmpty())
        return;
    FPainter->fillRect(QRect(R.Left, R.Top, R.Width(), R.Height()), ToQColor(Color));
}

void TCanvas::DoPixels(const TPoint* Points, size_t Count, TColor Color)
{
    if (Count == 0)
        return;
    std::vector<QPoint> pts(Count);
    for (size_t i = 0; i < Count; ++i)
        pts[i] = QPoint(Points[i].X, Points[i].Y);
    QPen pen(ToQColor(Color));
    pen.setWidth(1);
    pen.setCapStyle(Qt::SquareCap);
    FPainter->save();
    FPainter->setPen(pen);
    FPainter->drawPoints(pts.data(), static_cast<int>(pts.size()));
    FPainter->restore();
}

void TCanvas::DoStrokePath(const QPainterPath& Path, const QPen& Pen)
{
    FPainter->save();
    FPainter->setPen(Pen);
    FPainter->setBrush(Qt::NoBrush);
    FPainter->drawPath(Path);
    FPainter->restore();
}

void TCanvas::DoText(int32_t X, int32_t Y, const QString& Text, const QFont& Font, TColor Color,
    int32_t Orientation, const TRect* Clip)
{
    FPainter->save();
    if (Clip)
        FPainter->setClipRect(QRect(Clip->Left, Clip->Top, Clip->Width(), Clip->Height()), Qt::IntersectClip);
    FPainter->setFont(Font);
    FPainter->setPen(ToQColor(Color));
    const QFontMetrics fm(Font);
    FPainter->translate(X, Y);
    if (Orientation != 0)
        FPainter->rotate(-Orientation / 10.0);
    FPainter->drawText(QPoint(0, fm.ascent()), Text);
    FPainter->restore();
}

void TCanvas::DoDrawImage(const TRect& Dest, const QImage& Image)
{
    FPainter->drawImage(QRect(Dest.Left, Dest.Top, Dest.Width(), Dest.Height()), Image);
}

// ---- drawing calls ----------------------------------------------------------

namespace {
// Cosmetic pen patterns, in pixels: on, off, on, off ...
const std::vector<int32_t>& DashPattern(TPenStyle s)
{
    static const std::vector<int32_t> dash { 18, 6 }, dot { 3, 3 }, dashDot { 9, 6, 3, 6 },
        dashDotDot { 9, 3, 3, 3, 3, 3 }, none {};
    switch (s) {
    case psDash:
        return dash;
    case psDot:
        return dot;
    case psDashDot:
        return dashDot;
    case psDashDotDot:
        return dashDotDot;
    default:
        return none;
    }
}
bool PatternOn(const std::vector<int32_t>& pat, int32_t phase)
{
    int32_t total = 0;
    for (int32_t v : pat)
        total += v;
    int32_t p = phase % total;
    for (size_t i = 0; i < pat.size(); ++i) {
        if (p < pat[i])
            return (i % 2) == 0;
        p -= pat[i];
    }
    return true;
}
} // namespace

void TCanvas::Line(TPoint a, TPoint b, int32_t& dashPhase)
{
    const TPenStyle style = FPen.Style();
    if (style == psClear)
        return;
    const TColor color = FPen.Color();
    if (FPen.Width() > 1) {
        QPainterPath path;
        path.moveTo(a.X + 0.5, a.Y + 0.5);
        path.lineTo(b.X + 0.5, b.Y + 0.5);
        QPen pen(ToQColor(color), FPen.Width(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        DoStrokePath(path, pen);
        const int32_t w = FPen.Width();
        AddUpdate(Rect(std::min(a.X, b.X) - w, std::min(a.Y, b.Y) - w, std::max(a.X, b.X) + w + 1,
            std::max(a.Y, b.Y) + w + 1));
        return;
    }
    const auto& pattern = DashPattern(style);
    if (pattern.empty() && (a.X == b.X || a.Y == b.Y)) {
        // Straight runs are plain spans; the second point is left out.
        TRect r;
        if (a.Y == b.Y)
            r = b.X > a.X ? Rect(a.X, a.Y, b.X, a.Y + 1) : Rect(b.X + 1, a.Y, a.X + 1, a.Y + 1);
        else
            r = b.Y > a.Y ? Rect(a.X, a.Y, a.X + 1, b.Y) : Rect(a.X, b.Y + 1, a.X + 1, a.Y + 1);
        if (!r.IsEmpty()) {
            DoFillRect(r, color);
            AddUpdate(r);
        }
        return;
    }
    std::vector<TPoint> pts;
    ClassicLinePixels(a, b, pts);
    if (!pattern.empty()) {
        size_t k = 0;
        for (const TPoint& p : pts)
            if (PatternOn(pattern, dashPhase++))
                pts[k++] = p;
        pts.resize(k);
    }
    if (pts.empty())
        return;
    DoPixels(pts.data(), pts.size(), color);
    AddUpdate(Rect(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X) + 1, std::max(a.Y, b.Y) + 1));
}

void TCanvas::LineTo(int32_t X, int32_t Y)
{
    RequireHandle();
    Changing();
    int32_t phase = 0;
    Line(FPenPos, Point(X, Y), phase);
    FPenPos = Point(X, Y);
    Changed();
}

void TCanvas::Polyline(const TPoint* Points, size_t Count)
{
    if (Count == 0)
        return;
    RequireHandle();
    Changing();
    int32_t phase = 0;
    for (size_t i = 1; i < Count; ++i)
        Line(Points[i - 1], Points[i], phase);
    Changed();
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    RequireHandle();
    Changing();
    if (X2 < X1)
        std::swap(X1, X2);
    if (Y2 < Y1)
        std::swap(Y1, Y2);
    const bool pen = FPen.Style() != psClear;
    const int32_t w = pen ? std::min({ FPen.Width(), (X2 - X1 + 1) / 2, (Y2 - Y1 + 1) / 2 }) : 0;
    if (FBrush.Style() != bsClear) {
        // Without a pen the classic rectangle is one pixel smaller on the right and bottom.
        const TRect inner = pen ? Rect(X1 + w, Y1 + w, X2 - w, Y2 - w) : Rect(X1, Y1, X2 - 1, Y2 - 1);
        if (!inner.IsEmpty()) {
            DoFillRect(inner, FBrush.Color());
            AddUpdate(inner);
        }
    }
    if (pen && X2 > X1 && Y2 > Y1) {
        const TColor c = FPen.Color();
        if (FPen.Style() == psSolid || FPen.Style() == psInsideFrame || FPen.Width() > 1) {
            DoFillRect(Rect(X1, Y1, X2, Y1 + w), c);
            DoFillRect(Rect(X1, Y2 - w, X2, Y2), c);
            DoFillRect(Rect(X1, Y1 + w, X1 + w, Y2 - w), c);
            DoFillRect(Rect(X2 - w, Y1 + w, X2, Y2 - w), c);
        } else {
            int32_t phase = 0;
            const TPoint pts[5]
                = { { X1, Y1 }, { X2 - 1, Y1 }, { X2 - 1, Y2 - 1 }, { X1, Y2 - 1 }, { X1, Y1 } };
            for (int i = 1; i < 5; ++i)
                Line(pts[i - 1], pts[i], phase);
        }
        AddUpdate(Rect(X1, Y1, X2, Y2));
    }
    Changed();
}

void TCanvas::FillRect(const TRect& R)
{
    RequireHandle();
    if (FBrush.Style() == bsClear || R.IsEmpty())
        return;
    Changing();
    DoFillRect(R, FBrush.Color());
    AddUpdate(R);
    Changed();
}

void TCanvas::FrameRect(const TRect& R)
{
    RequireHandle();
    if (R.IsEmpty())
        return;
    Changing();
    const TColor c = FBrush.Color();
    DoFillRect(Rect(R.Left, R.Top, R.Right, R.Top + 1), c);
    DoFillRect(Rect(R.Left, R.Bottom - 1, R.Right, R.Bottom), c);
    DoFillRect(Rect(R.Left, R.Top + 1, R.Left + 1, R.Bottom - 1), c);
    DoFillRect(Rect(R.Right - 1, R.Top + 1, R.Right, R.Bottom - 1), c);
    AddUpdate(R);
    Changed();
}

void TCanvas::SetPixel(int32_t X, int32_t Y, TColor Color)
{
    RequireHandle();
    Changing();
    const TPoint p { X, Y };
    DoPixels(&p, 1, Color);
    AddUpdate(Rect(X, Y, X + 1, Y + 1));
    Changed();
}

TSize TCanvas::TextExtent(const QString& Text) const
{
    const QFontMetrics fm(FFont->ToQFont());
    return TSize { fm.horizontalAdvance(Text), fm.height() };
}

void TCanvas::TextCore(int32_t X, int32_t Y, const QString& Text, const TRect* Clip)
{
    const QFont f = FFont->ToQFont();
    const QFontMetrics fm(f);
    const int32_t w = fm.horizontalAdvance(Text);
    const int32_t h = fm.height();
    const int32_t orient = FFont->Orientation();
    TRect extent = Rect(X, Y, X + w, Y + h);
    if (orient == 900) // reads upwards: the cell turns about its top-left corner
        extent = Rect(X, Y - w, X + h, Y);
    if (Clip)
        extent = IntersectRect(extent, *Clip);
    if (FBrush.Style() != bsClear && !extent.IsEmpty())
        DoFillRect(extent, FBrush.Color());
    if (!Text.isEmpty())
        DoText(X, Y, Text, f, FFont->Color(), orient, Clip);
    AddUpdate(orient == 0 || orient == 900 ? extent : (Clip ? *Clip : ClipRect()));
}

void TCanvas::TextOut(int32_t X, int32_t Y, const QString& Text)
{
    RequireHandle();
    Changing();
    TextCore(X, Y, Text, nullptr);
    FPenPos = Point(X + TextWidth(Text), Y);
    Changed();
}

void TCanvas::TextRect(const TRect& R, int32_t X, int32_t Y, const QString& Text)
{
    RequireHandle();
    Changing();
    TextCore(X, Y, Text, &R);
    Changed();
}

namespace {
// Removes '&' prefixes ("&&" stands for one '&').
QString StripPrefixes(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('&')) {
            if (i + 1 < s.size() && s[i + 1] == QLatin1Char('&'))
                out += QLatin1Char('&');
            ++i;
            if (i < s.size() && s[i] != QLatin1Char('&'))
                out += s[i];
            continue;
        }
        out += s[i];
    }
    return out;
}

QString ExpandTabs(const QString& s, const QFontMetrics& fm, bool expand)
{
    if (!s.contains(QLatin1Char('\t')))
        return s;
    if (!expand) {
        QString t = s;
        t.remove(QLatin1Char('\t'));
        return t;
    }
    // Tab stops every eight average character widths.
    const int stop = std::max(1, 8 * fm.averageCharWidth());
    QString out;
    for (QChar c : s) {
        if (c == QLatin1Char('\t')) {
            const int w = fm.horizontalAdvance(out);
            const int target = (w / stop + 1) * stop;
            while (fm.horizontalAdvance(out) < target)
                out += QLatin1Char(' ');
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

int32_t TCanvas::DrawText(const QString& Text, TRect& R, uint32_t Flags)
{
    const QFont f = FFont->ToQFont();
    const QFontMetrics fm(f);
    QString text = (Flags & DT_NOPREFIX) ? Text : StripPrefixes(Text);

    std::vector<QString> lines;
    if (Flags & DT_SINGLELINE) {
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        lines.push_back(ExpandTabs(text, fm, Flags & DT_EXPANDTABS));
    } else {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        for (const QString& para : text.split(QLatin1Char('\n'))) {
            const QString line = ExpandTabs(para, fm, Flags & DT_EXPANDTABS);
            if (!(Flags & DT_WORDBREAK) || fm.horizontalAdvance(line) <= R.Width()) {
                lines.push_back(line);
                continue;
            }
            // Break between words; a word wider than the rectangle stands alone.
            QString cur;
            for (const QString& word : line.split(QLatin1Char(' '))) {
                const QString trial = cur.isEmpty() ? word : cur + QLatin1Char(' ') + word;
                if (!cur.isEmpty() && fm.horizontalAdvance(trial) > R.Width()) {
                    lines.push_back(cur);
                    cur = word;
                } else {
                    cur = trial;
                }
            }
            lines.push_back(cur);
        }
    }

    const int32_t lh = fm.height();
    const int32_t total = lh * static_cast<int32_t>(lines.size());
    if (Flags & DT_CALCRECT) {
        int32_t w = 0;
        for (const QString& l : lines)
            w = std::max<int32_t>(w, fm.horizontalAdvance(l));
        R.Right = R.Left + w;
        R.Bottom = R.Top + total;
        return total;
    }

    RequireHandle();
    Changing();
    int32_t y = R.Top;
    if (Flags & DT_SINGLELINE) {
        if (Flags & DT_VCENTER)
            y = R.Top + (R.Height() - lh) / 2;
        else if (Flags & DT_BOTTOM)
            y = R.Bottom - lh;
    }
    const TRect* clip = (Flags & DT_NOCLIP) ? nullptr : &R;
    for (const QString& l : lines) {
        const int32_t w = fm.horizontalAdvance(l);
        int32_t x = R.Left;
        if (Flags & DT_CENTER)
            x = R.Left + (R.Width() - w) / 2;
        else if (Flags & DT_RIGHT)
            x = R.Right - w;
        TextCore(x, y, l, clip);
        y += lh;
    }
    Changed();
    return total;
}

void TCanvas::Draw(int32_t X, int32_t Y, const QImage& Image)
{
    if (Image.isNull())
        return;
    RequireHandle();
    Changing();
    const TRect r = Bounds(X, Y, Image.width(), Image.height());
    DoDrawImage(r, Image);
    AddUpdate(r);
    Changed();
}

void TCanvas::StretchDraw(const TRect& R, const QImage& Image)
{
    if (Image.isNull() || R.IsEmpty())
        return;
    RequireHandle();
    Changing();
    DoDrawImage(R, Image);
    AddUpdate(R);
    Changed();
}

} // namespace qv
