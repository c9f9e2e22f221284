#include "display/scale_text.h"

#include <QFontMetrics>
#include <QPainter>

#include "framework/font.h"

namespace qv {

namespace {

// The label on a canvas drawn through a painter: whole pixels of the text
// colour (no smoothing), the cell's top-left corner at (X, Y), turned about it
// when Orientation is 900.
void PainterText(TCanvas* Canvas, int32_t X, int32_t Y, const QString& Text, int32_t Orientation)
{
    QPainter* p = Canvas->Painter();
    QFont f = Canvas->Font().ToQFont();
    f.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics fm(f);
    p->save();
    p->setFont(f);
    p->setPen(ToQColor(Canvas->Font().Color()));
    p->translate(X, Y);
    if (Orientation != 0)
        p->rotate(-Orientation / 10.0);
    p->drawText(QPoint(0, fm.ascent()), Text);
    p->restore();
    const int32_t w = fm.horizontalAdvance(Text), h = fm.height();
    Canvas->AddUpdate(Orientation == 900 ? Rect(X, Y - w, X + h, Y) : Rect(X, Y, X + w, Y + h));
}

} // namespace

void DrawScaleText(TCanvas* Canvas, int32_t X, int32_t Y, const QString& Text, const QString& FontName,
                   int32_t Height, int32_t Alignment)
{
    if (!Canvas)
        return;
    TFont saved;
    saved.Assign(Canvas->Font());
    const TBrushStyle savedBrush = Canvas->Brush().Style();
    // Drawing a label does not move the pen (scale ticks continue from it).
    const TPoint savedPen = Canvas->PenPos();

    TFont f;
    f.SetName(FontName);
    f.SetHeight(Height > 0 ? Height : -Height); // a cell height
    f.SetColor(saved.Color());
    f.SetStyle(static_cast<TFontStyles>(0));
    const int32_t orientation = Alignment == 2 ? 900 : 0;
    f.SetOrientation(orientation);
    Canvas->Font().Assign(f);
    Canvas->Brush().SetStyle(bsClear);

    const TSize ext = Canvas->TextExtent(Text);
    int32_t x = X, y = Y - ext.cy / 2;
    if (Alignment == 1) {
        x = X - ext.cx;
    } else if (Alignment == 2) {
        x = X - ext.cy / 2;
        y = Y + ext.cx;
    }
    if (Canvas->Painter())
        PainterText(Canvas, x, y, Text, orientation);
    else
        Canvas->TextOut(x, y, Text);

    Canvas->SetPenPos(savedPen);
    Canvas->Brush().SetStyle(savedBrush);
    Canvas->Font().Assign(saved);
}

} // namespace qv
