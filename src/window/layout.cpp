#include "window/layout.h"

#include <stdexcept>

#include "app/settings.h"

namespace vexa {

namespace {
const FontSpec kDefaultFont{};
const FontSpec kStatusFont{u"宋体", 9, 400, false, false, false, 0};
}  // namespace

const FormLayout& WindowForm() {
  static const FormLayout form{u"Tollumo", 6195, 3180, kPink, kColorBtnText};
  return form;
}

const std::vector<ControlLayout>& WindowControls() {
  using C = Control;
  using K = ControlKind;
  static const std::vector<ControlLayout> controls{
      {C::Command2, K::Button, C::Form, 5550, 1530, 645, 405, false, u"Command2", kColorBtnText, 0,
       Border::None, false, Align::Left, kDefaultFont},
      {C::Picture_http, K::PictureBox, C::Form, 150, 2100, 5865, 975, false, u"", kColorBtnText,
       kPink, Border::None, false, Align::Left, kDefaultFont},
      {C::Picture1, K::PictureBox, C::Picture_http, 180, 630, 75, 195, true, u"", kColorBtnText,
       kBarBlue, Border::Sunken, false, Align::Left, kDefaultFont},
      {C::Label_http_state2, K::Label, C::Picture_http, 5340, 210, 555, 195, true, u"",
       kColorBtnText, 0, Border::None, false, Align::Left, kDefaultFont},
      {C::Label_http_state, K::Label, C::Picture_http, 300, 180, 5415, 225, true, u"", kNavy, 0,
       Border::None, false, Align::Left, kDefaultFont},
      {C::Inet1, K::TransferControl, C::Form, 0, 0, 0, 0, false, u"", 0, 0, Border::None, false,
       Align::Left, kDefaultFont},
      {C::Picture_z, K::PictureBox, C::Form, -120, 0, 7455, 1335, true, u"", kColorWindowText,
       kColorWindow, Border::FlatSingle, false, Align::Left, kDefaultFont},
      {C::Command1, K::Button, C::Picture_z, 4200, 0, 1275, 435, false, u"Command1", kColorBtnText,
       0, Border::None, false, Align::Left, kDefaultFont},
      {C::Command_refresh, K::Button, C::Picture_z, 360, 360, 2955, 495, true, u"开始安装",
       kColorBtnText, 0, Border::None, false, Align::Left, kDefaultFont},
      {C::Label5, K::Label, C::Picture_z, 3300, 1080, 2790, 180, true,
       Text(u"官方网站: ") + kDownloadBase, kColorAppWorkspace, 0, Border::None, true, Align::Left,
       kDefaultFont},
      {C::Label_v, K::Label, C::Picture_z, 2640, 840, 3495, 195, false, u"", kColorAppWorkspace, 0,
       Border::None, false, Align::Right, kDefaultFont},
      {C::Image1, K::Image, C::Picture_z, 4830, 180, 1665, 945, true, u"", 0, 0, Border::None,
       false, Align::Left, kDefaultFont},
      {C::Label4, K::Label, C::Form, 240, 1440, 4140, 180, true,
       u"本安装程序每次安装均为最新版本，不用重新下载！", kDarkRed, 0, Border::None, true,
       Align::Left, kDefaultFont},
      {C::Label2, K::Label, C::Form, 240, 1800, 4455, 195, true, u"", kColorBtnText, 0,
       Border::None, false, Align::Left, kDefaultFont},
      {C::Label1, K::Label, C::Form, 240, 1710, 4860, 180, true,
       u"如果安装工作多次无法进行，请在下面地址检查下载新版本。", kColorAppWorkspace, 0,
       Border::None, true, Align::Left, kDefaultFont},
      {C::Label3, K::Label, C::Form, 405, 2220, 90, 180, true, u"", kNavy, 0, Border::None, true,
       Align::Left, kStatusFont},
  };
  return controls;
}

const ControlLayout& LayoutOf(Control control) {
  for (const auto& c : WindowControls()) {
    if (c.id == control) return c;
  }
  throw std::out_of_range("no such control in the layout");
}

}  // namespace vexa
