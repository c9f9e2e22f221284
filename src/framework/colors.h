#pragma once
// Colours: 0x00BBGGRR for a fixed colour, 0x80000000 + index for a system colour.
#include <cstdint>

namespace qv {

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }

// System colour indices of the classic desktop.
enum TSysColorIndex : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10,
    COLOR_INACTIVEBORDER = 11,
    COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23,
    COLOR_INFOBK = 24,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
    COLOR_COUNT = 29
};

inline const TColor clScrollBar = SystemColor(COLOR_SCROLLBAR);
inline const TColor clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
inline const TColor clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
inline const TColor clWindow = SystemColor(COLOR_WINDOW);
inline const TColor clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
inline const TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
inline const TColor clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
inline const TColor clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT);
inline const TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
inline const TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
inline const TColor clBtnFace = SystemColor(COLOR_BTNFACE);
inline const TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
inline const TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
inline const TColor clBtnText = SystemColor(COLOR_BTNTEXT);
inline const TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
inline const TColor cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
inline const TColor cl3DLight = SystemColor(COLOR_3DLIGHT);
inline const TColor clInfoText = SystemColor(COLOR_INFOTEXT);
inline const TColor clInfoBk = SystemColor(COLOR_INFOBK);
inline const TColor clGradientActiveCaption = SystemColor(COLOR_GRADIENTACTIVECAPTION);
inline const TColor clGradientInactiveCaption = SystemColor(COLOR_GRADIENTINACTIVECAPTION);

constexpr bool IsSystemColor(TColor c) { return (static_cast<uint32_t>(c) & 0x80000000u) != 0; }

// The fixed classic value of a system colour index (0x00BBGGRR); 0 for an unknown index.
TColor GetSysColor(int index);
// A system colour resolved to its fixed value; fixed colours pass unchanged.
TColor ColorToRGB(TColor c);

constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }
constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<TColor>(r | (g << 8) | (b << 16));
}

} // namespace qv
