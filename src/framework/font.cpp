#include "framework/font.h"

#include <QFontMetrics>
#include <cmath>
#include <cstdlib>

namespace qv {

TFont::TFont() = default;
TFont::~TFont() = default;

void TFont::Changed()
{
    if (FUpdating > 0) {
        FChangedWhileUpdating = true;
        return;
    }
    if (OnChange)
        OnChange(this);
}

void TFont::SetName(const QString& v)
{
    if (v == FName || v.isEmpty())
        return;
    FName = v;
    Changed();
}

void TFont::SetHeight(int32_t v)
{
    if (v == FHeight)
        return;
    FHeight = v;
    Changed();
}

int32_t TFont::Size() const
{
    // -Height * 72 / PixelsPerInch, rounded half away from zero as MulDiv does.
    const int64_t p = -static_cast<int64_t>(FHeight) * 72;
    const int64_t q = p / kPixelsPerInch;
    const int64_t r = p % kPixelsPerInch;
    return static_cast<int32_t>(q + (2 * std::llabs(r) >= kPixelsPerInch ? (p < 0 ? -1 : 1) : 0));
}

void TFont::SetSize(int32_t v)
{
    const int64_t p = -static_cast<int64_t>(v) * kPixelsPerInch;
    const int64_t q = p / 72;
    const int64_t r = p % 72;
    SetHeight(static_cast<int32_t>(q + (2 * std::llabs(r) >= 72 ? (p < 0 ? -1 : 1) : 0)));
}

void TFont::SetColor(TColor v)
{
    if (v == FColor)
        return;
    FColor = v;
    Changed();
}

void TFont::SetStyle(TFontStyles v)
{
    if (v == FStyle)
        return;
    FStyle = v;
    Changed();
}

void TFont::SetOrientation(int32_t v)
{
    if (v == FOrientation)
        return;
    FOrientation = v;
    Changed();
}

void TFont::Assign(const TFont& source)
{
    if (&source == this)
        return;
    ++FUpdating;
    SetName(source.FName);
    SetHeight(source.FHeight);
    SetColor(source.FColor);
    SetStyle(source.FStyle);
    SetOrientation(source.FOrientation);
    --FUpdating;
    if (FChangedWhileUpdating) {
        FChangedWhileUpdating = false;
        Changed();
    }
}

bool TFont::SameAs(const TFont& o) const
{
    return FName == o.FName && FHeight == o.FHeight && FColor == o.FColor && FStyle == o.FStyle
        && FOrientation == o.FOrientation;
}

QString TFont::MapFaceName(const QString& name)
{
    // The classic faces are absent on Linux; the Liberation fonts keep their
    // metrics, so text fits where the layout expects it.
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("ms sans serif") || n == QLatin1String("arial") || n == QLatin1String("helvetica")
        || n == QLatin1String("microsoft sans serif") || n == QLatin1String("ms shell dlg")
        || n == QLatin1String("small fonts"))
        return QStringLiteral("Liberation Sans");
    if (n == QLatin1String("courier new") || n == QLatin1String("courier"))
        return QStringLiteral("Liberation Mono");
    if (n == QLatin1String("times new roman") || n == QLatin1String("ms serif"))
        return QStringLiteral("Liberation Serif");
    return name;
}

QFont TFont::ToQFont() const
{
    QFont f(MapFaceName(FName));
    f.setStyleStrategy(QFont::PreferMatch);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setBold(HasStyle(FStyle, fsBold));
    f.setItalic(HasStyle(FStyle, fsItalic));
    f.setUnderline(HasStyle(FStyle, fsUnderline));
    f.setStrikeOut(HasStyle(FStyle, fsStrikeOut));
    int px = 11;
    if (FHeight < 0) {
        px = -FHeight;
    } else if (FHeight > 0) {
        // A cell height: scale the em size so that ascent + descent matches.
        f.setPixelSize(FHeight);
        const int cell = QFontMetrics(f).height();
        px = cell > 0 ? static_cast<int>(std::lround(static_cast<double>(FHeight) * FHeight / cell))
                      : FHeight;
    }
    f.setPixelSize(px < 1 ? 1 : px);
    return f;
}

} // namespace qv
