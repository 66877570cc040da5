#pragma once

#include "app/settings.h"
#include "engine/manifest.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/installer_signature.h"

namespace vexa {

// The program's files. When the build names the installer's signer, a downloaded installer
// takes the place of C:\vexa_setup_zs.exe only if that signer signed it; otherwise every
// file is replaced unchecked.
inline FilesWin32 InstallerCheckedFiles() {
  if (kInstallerSigner[0] == u'\0') return FilesWin32();
  return FilesWin32(kInstallerPath, SignerCheck(kInstallerSigner));
}

}  // namespace vexa
