#pragma once
// The framework font: face name, height, colour and style set, as a published
// object so that a stored description can set Font.Name, Font.Color and so on.
// It turns into a QFont for painting; the classic face names are mapped onto
// the metric-compatible fonts the program ships with.
#include <QFont>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "framework/colors.h"

namespace qv {

class TComponent;

enum TFontStyle : int32_t { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };
// A set of TFontStyle: bit (1 << style). Sets register the names of their
// elements under the set type's name (RegisterControlEnums), so that a reader
// can turn "[fsBold,fsItalic]" into bits.
enum TFontStyles : uint32_t {};
constexpr TFontStyles FontStyles(std::initializer_list<TFontStyle> s)
{
    uint32_t bits = 0;
    for (TFontStyle f : s)
        bits |= 1u << f;
    return static_cast<TFontStyles>(bits);
}
constexpr bool HasStyle(TFontStyles set, TFontStyle s)
{
    return (static_cast<uint32_t>(set) >> s) & 1u;
}

// Screen resolution the sizes refer to: 96 pixels per inch.
constexpr int32_t kPixelsPerInch = 96;

class TFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(int32_t Height READ Height WRITE SetHeight)
    Q_PROPERTY(int32_t Size READ Size WRITE SetSize)
    Q_PROPERTY(qv::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(qv::TFontStyles Style READ Style WRITE SetStyle)
    Q_PROPERTY(int32_t Orientation READ Orientation WRITE SetOrientation)
public:
    TFont();
    ~TFont() override;

    // Face name, e.g. "MS Sans Serif" (default) or "Arial".
    const QString& Name() const { return FName; }
    void SetName(const QString& v);
    // Negative: character height in pixels (the em size); positive: cell height
    // (ascent + descent); 0: the default size. Default -11 (8 points).
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t v);
    // Points: -Height * 72 / 96, and back.
    int32_t Size() const;
    void SetSize(int32_t v);
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles v);
    // Text angle in tenths of a degree, counter-clockwise (900 reads upwards).
    int32_t Orientation() const { return FOrientation; }
    void SetOrientation(int32_t v);

    // Copies every value and fires OnChange once.
    void Assign(const TFont& source);
    bool SameAs(const TFont& other) const;

    // The QFont to paint with (the face mapped, the pixel size resolved).
    QFont ToQFont() const;
    // The face actually used for a requested face name.
    static QString MapFaceName(const QString& name);

    std::function<void(TFont* Sender)> OnChange;

private:
    void Changed();

    QString FName = QStringLiteral("MS Sans Serif");
    int32_t FHeight = -11;
    TColor FColor = clWindowText;
    TFontStyles FStyle = static_cast<TFontStyles>(0);
    int32_t FOrientation = 0;
    int FUpdating = 0;
    bool FChangedWhileUpdating = false;
};

} // namespace qv
