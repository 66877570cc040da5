#include "form/frm_update.h"
#include "settings.h"
#include "window/layout.h"

namespace vexa {

namespace {
constexpr std::int32_t kCsidlPrograms = 2;
}

// The link area under the support line lights up while the pointer is on it and goes dim
// again once the pointer reaches the bare window.
void FrmUpdate::Label2_MouseMove() {
  ui_.SetForeColor(Control::Label2, kLinkHover);
}

void FrmUpdate::Form_MouseMove() {
  ui_.SetForeColor(Control::Label2, kColorAppWorkspace);
}

// The site opens as the desktop's user, never with the program's administrator rights (the
// browser, its downloads and file dialogs would run elevated, following an association the
// user's unelevated programs can change): through the desktop shell, else directly when the
// program is not elevated, else the address is shown for the user to open.
void FrmUpdate::Label2_Click() {
  if (platform_.shell.OpenAsDesktopUser(kDownloadBase)) return;
  if (!platform_.environment.Elevated()) {
    platform_.shell.Open(ui_.Handle(), kDownloadBase);
    return;
  }
  ui_.ShowMessageBox(Text(u"请在浏览器中打开官方网站：\r\n") + kDownloadBase, WindowForm().caption,
                     MessageIcon::Information);
}

void FrmUpdate::Command1_Click() {
  ui_.ShowMessageBox(GetSpecialFolder(kCsidlPrograms), WindowForm().caption, MessageIcon::None);
}

// Any close request ends the program at once, also in the middle of a transfer.
void FrmUpdate::Form_QueryUnload() {
  platform_.log.Write(u"the window was closed");
  platform_.end.Now();
}

}  // namespace vexa
