#pragma once

#include <tuple>
#include <utility>
#include <vector>

#include "platform/ui.h"

namespace vexa {

// How a window and its controls are described to the platform that draws them: positions and
// sizes in twips (15 to a pixel at 96 DPI) relative to the client area of the container.

inline constexpr OleColor kColorWindow = 0x80000005;        // COLOR_WINDOW
inline constexpr OleColor kColorWindowText = 0x80000008;    // COLOR_WINDOWTEXT
inline constexpr OleColor kColorAppWorkspace = 0x8000000C;  // COLOR_APPWORKSPACE
inline constexpr OleColor kColorBtnText = 0x80000012;       // COLOR_BTNTEXT

enum class ControlKind { Button, PictureBox, Label, Image, TransferControl };
enum class Border { None, FlatSingle, Sunken };
enum class Align { Left, Right };

struct FontSpec {
  Text face;  // empty: the window's font
  int points = 9;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  int charset = 0;

  bool operator==(const FontSpec& other) const {
    return std::tie(face, points, weight, italic, underline, strikethrough, charset) ==
           std::tie(other.face, other.points, other.weight, other.italic, other.underline,
                    other.strikethrough, other.charset);
  }
};

struct Box {
  int left, top, width, height;
};

struct ControlLayout {
  Control id;
  ControlKind kind;
  Control container;  // Control::Form or a picture box
  Box box;
  Text caption;
  OleColor foreColor = kColorBtnText;
  OleColor backColor = 0;  // picture boxes only; labels are transparent
  bool visible = true;
  Border border = Border::None;
  bool autoSize = false;  // a label as large as its caption
  Align align = Align::Left;
  FontSpec font;

  // Changes to the plain control, each saying what it changes.
  ControlLayout Hidden() const { return With(&ControlLayout::visible, false); }
  ControlLayout AutoSized() const { return With(&ControlLayout::autoSize, true); }
  ControlLayout RightAligned() const { return With(&ControlLayout::align, Align::Right); }
  ControlLayout WithBorder(Border kind) const { return With(&ControlLayout::border, kind); }
  ControlLayout WithFont(FontSpec face) const { return With(&ControlLayout::font, face); }

 private:
  template <class Value>
  ControlLayout With(Value ControlLayout::*field, Value value) const {
    ControlLayout changed = *this;
    changed.*field = std::move(value);
    return changed;
  }
};

// The plain controls of each kind.
ControlLayout Button(Control id, Control container, Box box, Text caption);
ControlLayout Picture(Control id, Control container, Box box, OleColor backColor,
                      OleColor foreColor = kColorBtnText);
ControlLayout Label(Control id, Control container, Box box, Text caption, OleColor foreColor);
ControlLayout Image(Control id, Control container, Box box);
ControlLayout TransferControl(Control id);

struct FormLayout {
  Text caption;
  int clientWidth, clientHeight;
  OleColor backColor;
  OleColor foreColor;
  FontSpec font;  // of every control that names no font of its own
  // Every control, topmost first: among siblings an earlier entry lies above a later one.
  std::vector<ControlLayout> controls;
};

}  // namespace vexa
