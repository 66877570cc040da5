#pragma once

#include "window/ui_layout.h"

namespace vexa {

// The update window's fixed layout.

inline constexpr OleColor kPink = 0x00C0C0FF;       // RGB 255, 192, 192
inline constexpr OleColor kBarBlue = 0x0092540A;    // RGB 10, 84, 146
inline constexpr OleColor kNavy = 0x00800000;       // RGB 0, 0, 128
inline constexpr OleColor kDarkRed = 0x000000C0;    // RGB 192, 0, 0
inline constexpr OleColor kLinkHover = 0x000080FF;  // RGB 255, 128, 0

const FormLayout& WindowForm();
const ControlLayout& LayoutOf(Control control);

}  // namespace vexa
