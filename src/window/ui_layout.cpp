#include "window/ui_layout.h"

#include <utility>

namespace vexa {

namespace {

ControlLayout Plain(Control id, ControlKind kind, Control container, Box box, Text caption,
                    OleColor foreColor) {
  ControlLayout layout{};
  layout.id = id;
  layout.kind = kind;
  layout.container = container;
  layout.box = box;
  layout.caption = std::move(caption);
  layout.foreColor = foreColor;
  return layout;
}

}  // namespace

ControlLayout Button(Control id, Control container, Box box, Text caption) {
  return Plain(id, ControlKind::Button, container, box, std::move(caption), kColorBtnText);
}

ControlLayout Picture(Control id, Control container, Box box, OleColor backColor,
                      OleColor foreColor) {
  ControlLayout picture = Plain(id, ControlKind::PictureBox, container, box, u"", foreColor);
  picture.backColor = backColor;
  return picture;
}

ControlLayout Label(Control id, Control container, Box box, Text caption, OleColor foreColor) {
  return Plain(id, ControlKind::Label, container, box, std::move(caption), foreColor);
}

ControlLayout Image(Control id, Control container, Box box) {
  return Plain(id, ControlKind::Image, container, box, u"", 0);
}

ControlLayout TransferControl(Control id) {
  return Plain(id, ControlKind::TransferControl, Control::Form, {0, 0, 0, 0}, u"", 0).Hidden();
}

}  // namespace vexa
