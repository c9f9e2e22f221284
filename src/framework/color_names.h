#pragma once
// Colour names as the stored description writes them (clBtnFace, clRed...).
#include <optional>
#include <string>

#include "framework/colors.h"

namespace qv {

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The colour of a name, or nothing for an unknown name.
std::optional<TColor> IdentToColor(const std::string& name);
// The name of a colour, or its value in hex ("$00123456") when it has none.
std::string ColorToString(TColor color);

} // namespace qv
