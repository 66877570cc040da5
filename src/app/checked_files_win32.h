#pragma once

#include "engine/manifest.h"
#include "platform/win32/files/component_digest.h"
#include "platform/win32/files/files_win32.h"
#include "platform/win32/files/installer_signature.h"
#include "settings.h"

namespace vexa {

// What every download must be before it takes its place, as the build asks: the installer
// signed by the vendor (INSTALLER_SIGNER), a component of its pinned SHA-256
// (COMPONENT_SHA256SUMS). A component is known by its file name, however the system folder
// before it is spelt, so that no spelling of the path lets one pass unchecked. The new file is
// checked in the target's folder, where only administrators can write, so nobody can change it
// between the check and the move. Files the build names no check for pass unchecked.
inline void CheckDownload(HANDLE file, const Text& target) {
  if (target == kInstallerPath) {
    if (kInstallerSigner[0] != u'\0') VerifySigner(file, target, kInstallerSigner);
    return;
  }
  const TextView name = TextView(target).substr(target.find_last_of(u'\\') + 1);
  for (const PinnedSha256& pin : kComponentSha256) {
    if (pin.sha256[0] != u'\0' && EqualIgnoringAsciiCase(name, pin.name)) {
      VerifySha256(file, target, pin.name, pin.sha256);
      return;
    }
  }
}

}  // namespace vexa
