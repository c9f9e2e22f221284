#include "framework/color_names.h"

#include <cstdio>
#include <utility>

namespace qv {

namespace {

struct TColorName {
    const char* Name;
    TColor Value;
};

const TColorName* Names(size_t& count)
{
    static const TColorName names[] = {
        {"clBlack", clBlack},
        {"clMaroon", clMaroon},
        {"clGreen", clGreen},
        {"clOlive", clOlive},
        {"clNavy", clNavy},
        {"clPurple", clPurple},
        {"clTeal", clTeal},
        {"clGray", clGray},
        {"clSilver", clSilver},
        {"clRed", clRed},
        {"clLime", clLime},
        {"clYellow", clYellow},
        {"clBlue", clBlue},
        {"clFuchsia", clFuchsia},
        {"clAqua", clAqua},
        {"clWhite", clWhite},
        {"clMoneyGreen", RGB(192, 220, 192)},
        {"clSkyBlue", RGB(166, 202, 240)},
        {"clCream", RGB(255, 251, 240)},
        {"clMedGray", RGB(160, 160, 164)},
        {"clNone", clNone},
        {"clDefault", clDefault},
        {"clScrollBar", SystemColor(COLOR_SCROLLBAR)},
        {"clBackground", SystemColor(COLOR_BACKGROUND)},
        {"clActiveCaption", SystemColor(COLOR_ACTIVECAPTION)},
        {"clInactiveCaption", SystemColor(COLOR_INACTIVECAPTION)},
        {"clMenu", SystemColor(COLOR_MENU)},
        {"clWindow", SystemColor(COLOR_WINDOW)},
        {"clWindowFrame", SystemColor(COLOR_WINDOWFRAME)},
        {"clMenuText", SystemColor(COLOR_MENUTEXT)},
        {"clWindowText", SystemColor(COLOR_WINDOWTEXT)},
        {"clCaptionText", SystemColor(COLOR_CAPTIONTEXT)},
        {"clActiveBorder", SystemColor(COLOR_ACTIVEBORDER)},
        {"clInactiveBorder", SystemColor(COLOR_INACTIVEBORDER)},
        {"clAppWorkSpace", SystemColor(COLOR_APPWORKSPACE)},
        {"clHighlight", SystemColor(COLOR_HIGHLIGHT)},
        {"clHighlightText", SystemColor(COLOR_HIGHLIGHTTEXT)},
        {"clBtnFace", SystemColor(COLOR_BTNFACE)},
        {"clBtnShadow", SystemColor(COLOR_BTNSHADOW)},
        {"clGrayText", SystemColor(COLOR_GRAYTEXT)},
        {"clBtnText", SystemColor(COLOR_BTNTEXT)},
        {"clInactiveCaptionText", SystemColor(COLOR_INACTIVECAPTIONTEXT)},
        {"clBtnHighlight", SystemColor(COLOR_BTNHIGHLIGHT)},
        {"cl3DDkShadow", SystemColor(COLOR_3DDKSHADOW)},
        {"cl3DLight", SystemColor(COLOR_3DLIGHT)},
        {"clInfoText", SystemColor(COLOR_INFOTEXT)},
        {"clInfoBk", SystemColor(COLOR_INFOBK)},
        {"clGradientActiveCaption", SystemColor(COLOR_GRADIENTACTIVECAPTION)},
        {"clGradientInactiveCaption", SystemColor(COLOR_GRADIENTINACTIVECAPTION)},
    };
    count = sizeof(names) / sizeof(names[0]);
    return names;
}

} // namespace

std::optional<TColor> IdentToColor(const std::string& name)
{
    size_t n = 0;
    const TColorName* names = Names(n);
    for (size_t i = 0; i < n; ++i)
        if (name == names[i].Name)
            return names[i].Value;
    return std::nullopt;
}

std::string ColorToString(TColor color)
{
    size_t n = 0;
    const TColorName* names = Names(n);
    for (size_t i = 0; i < n; ++i)
        if (names[i].Value == color)
            return names[i].Name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(color));
    return buf;
}

} // namespace qv
