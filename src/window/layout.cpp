#include "window/layout.h"

#include <stdexcept>

#include "settings.h"

namespace vexa {

const FormLayout& WindowForm() {
  using C = Control;
  // The 9-point face of Chinese Windows, a Chinese character 12 pixels wide and a Latin one 6
  // at 96 DPI. Where it is missing the font mapper substitutes (Wine: WenQuanYi Micro Hei).
  const FontSpec song{u"宋体", 9};
  static const FormLayout form{
      u"Tollumo",
      6195,
      3180,
      kPink,
      kColorBtnText,
      song,
      {
          // Command2: hidden; its click walks the manifest again from the first item.
          Button(C::Command2, C::Form, {5550, 1530, 645, 405}, u"Command2").Hidden(),
          // Picture_http: the progress panel, shown while a file is fetched; it covers Label3.
          Picture(C::Picture_http, C::Form, {150, 2100, 5865, 975}, kPink).Hidden(),
          // Picture1: the progress bar inside the panel.
          Picture(C::Picture1, C::Picture_http, {180, 630, 75, 195}, kBarBlue)
              .WithBorder(Border::Sunken),
          // Label_http_state2: the percentage, at the panel's right.
          Label(C::Label_http_state2, C::Picture_http, {5340, 210, 555, 195}, u"", kColorBtnText),
          // Label_http_state: the transfer's state line (its state, the time left, a wait).
          Label(C::Label_http_state, C::Picture_http, {300, 180, 5415, 225}, u"", kNavy),
          // Inet1: the transfer control; no window, a source of events.
          TransferControl(C::Inet1),
          // Picture_z: the white header band that holds the next five.
          Picture(C::Picture_z, C::Form, {-120, 0, 7455, 1335}, kColorWindow, kColorWindowText)
              .WithBorder(Border::FlatSingle),
          // Command1: hidden; its click shows the Programs folder.
          Button(C::Command1, C::Picture_z, {4200, 0, 1275, 435}, u"Command1").Hidden(),
          // Command_refresh: the start button ("重试" after a final failure).
          Button(C::Command_refresh, C::Picture_z, {360, 360, 2955, 495}, u"开始安装"),
          // Label5: the site line.
          Label(C::Label5, C::Picture_z, {3300, 1080, 2790, 180},
                Text(u"官方网站: ") + kDownloadBase, kColorAppWorkspace)
              .AutoSized(),
          // Label_v: the brand line, hidden.
          Label(C::Label_v, C::Picture_z, {2640, 840, 3495, 195}, u"", kColorAppWorkspace)
              .Hidden()
              .RightAligned(),
          // Image1: the USB plug picture.
          Image(C::Image1, C::Picture_z, {4830, 180, 1665, 945}),
          // Label4: the red line under the band.
          Label(C::Label4, C::Form, {240, 1440, 4140, 180},
                u"本安装程序每次安装均为最新版本，不用重新下载！", kDarkRed)
              .AutoSized(),
          // Label2: the link area under the support line; a click opens the site.
          Label(C::Label2, C::Form, {240, 1800, 4455, 195}, u"", kColorBtnText),
          // Label1: the support line.
          Label(C::Label1, C::Form, {240, 1710, 4860, 180},
                u"如果安装工作多次无法进行，请在下面地址检查下载新版本。", kColorAppWorkspace)
              .AutoSized(),
          // Label3: the status line ("状态: ..."), under the panel.
          Label(C::Label3, C::Form, {405, 2220, 90, 180}, u"", kNavy).AutoSized().WithFont(song),
      }};
  return form;
}

const ControlLayout& LayoutOf(Control control) {
  for (const ControlLayout& c : WindowForm().controls) {
    if (c.id == control) return c;
  }
  throw std::out_of_range("no such control in the layout");
}

}  // namespace vexa
