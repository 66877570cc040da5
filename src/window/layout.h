#pragma once

#include <vector>

#include "platform/ui.h"

namespace vexa {

// The update window's fixed layout, as data. Positions and sizes are in twips (15 to a
// pixel at 96 DPI) relative to the client area of the container.

inline constexpr OleColor kColorWindow = 0x80000005;        // COLOR_WINDOW
inline constexpr OleColor kColorWindowText = 0x80000008;    // COLOR_WINDOWTEXT
inline constexpr OleColor kColorAppWorkspace = 0x8000000C;  // COLOR_APPWORKSPACE
inline constexpr OleColor kColorBtnText = 0x80000012;       // COLOR_BTNTEXT
inline constexpr OleColor kPink = 0x00C0C0FF;               // RGB 255, 192, 192
inline constexpr OleColor kBarBlue = 0x0092540A;            // RGB 10, 84, 146
inline constexpr OleColor kNavy = 0x00800000;               // RGB 0, 0, 128
inline constexpr OleColor kDarkRed = 0x000000C0;            // RGB 192, 0, 0
inline constexpr OleColor kLinkHover = 0x000080FF;          // RGB 255, 128, 0

enum class ControlKind { Button, PictureBox, Label, Image, TransferControl };
enum class Border { None, FlatSingle, Sunken };
enum class Align { Left, Right };

struct FontSpec {
  Text face;  // empty: the window's default font
  int points = 9;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  int charset = 0;
};

struct ControlLayout {
  Control id;
  ControlKind kind;
  Control container;  // Control::Form or a picture box
  int left, top, width, height;
  bool visible;
  Text caption;
  OleColor foreColor;
  OleColor backColor;  // picture boxes only; labels are transparent
  Border border;
  bool autoSize;
  Align align;
  FontSpec font;
};

struct FormLayout {
  Text caption;
  int clientWidth, clientHeight;
  OleColor backColor;
  OleColor foreColor;
};

const FormLayout& WindowForm();
// Every control, topmost first: among siblings an earlier entry lies above a later one.
const std::vector<ControlLayout>& WindowControls();
const ControlLayout& LayoutOf(Control control);

}  // namespace vexa
