#include "app/frm_update.h"

namespace vexa {

namespace {
constexpr WindowHandle kNoOwner = 0;
}

// Opens the downloaded installer through the shell and does not wait for it. Whether the
// shell could start it is not examined: the caller ends the program next in any case.
void FrmUpdate::RunUpdate(const Text& UpdateURL) {
  ShellOpen(UpdateURL);
}

std::int32_t FrmUpdate::ShellOpen(Text path) {
  return platform_.shell.Open(kNoOwner, path);
}

}  // namespace vexa
