#include "app/frm_update.h"
#include "app/settings.h"
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

void FrmUpdate::Label2_Click() {
  platform_.shell.Open(ui_.Handle(), kDownloadBase);
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
