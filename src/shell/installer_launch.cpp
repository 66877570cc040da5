#include "form/frm_update.h"

namespace vexa {

// Starts the downloaded installer and does not wait for it. When the system could not start
// it, the failure ends the program through the error box (exit code 1), and the installer
// stays where it is, for the user to start by hand.
void FrmUpdate::RunUpdate(const Text& UpdateURL) {
  platform_.shell.StartInstaller(UpdateURL);
}

}  // namespace vexa
