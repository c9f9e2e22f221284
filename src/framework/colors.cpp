#include "framework/colors.h"

namespace qv {

namespace {
// The classic desktop scheme, so that the window looks the same on every Linux desktop.
constexpr TColor kSysColors[COLOR_COUNT] = {
    RGB(200, 200, 200), // scroll bar
    RGB(0, 128, 128),   // background
    RGB(0, 0, 128),     // active caption
    RGB(128, 128, 128), // inactive caption
    RGB(192, 192, 192), // menu
    RGB(255, 255, 255), // window
    RGB(0, 0, 0),       // window frame
    RGB(0, 0, 0),       // menu text
    RGB(0, 0, 0),       // window text
    RGB(255, 255, 255), // caption text
    RGB(192, 192, 192), // active border
    RGB(192, 192, 192), // inactive border
    RGB(128, 128, 128), // app workspace
    RGB(0, 0, 128),     // highlight
    RGB(255, 255, 255), // highlight text
    RGB(192, 192, 192), // button face
    RGB(128, 128, 128), // button shadow
    RGB(128, 128, 128), // grey text
    RGB(0, 0, 0),       // button text
    RGB(192, 192, 192), // inactive caption text
    RGB(255, 255, 255), // button highlight
    RGB(0, 0, 0),       // 3D dark shadow
    RGB(223, 223, 223), // 3D light
    RGB(0, 0, 0),       // info text
    RGB(255, 255, 225), // info background
    RGB(0, 0, 0),       // (unused 25)
    RGB(0, 0, 128),     // (unused 26: hot light)
    RGB(16, 132, 208),  // gradient active caption
    RGB(181, 181, 181), // gradient inactive caption
};
} // namespace

TColor GetSysColor(int index)
{
    if (index < 0 || index >= COLOR_COUNT)
        return 0;
    return kSysColors[index];
}

TColor ColorToRGB(TColor c)
{
    if (IsSystemColor(c))
        return GetSysColor(static_cast<int>(static_cast<uint32_t>(c) & 0xFF));
    return c;
}

} // namespace qv
