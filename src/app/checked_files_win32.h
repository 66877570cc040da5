#pragma once

#include "engine/manifest.h"
#include "settings.h"
#include "transfer/http_response.h"
#include "platform/win32/files/component_digest.h"
#include "platform/win32/files/files_win32.h"
#include "platform/win32/files/installer_signature.h"

namespace vexa {

// The program's files, each download checked as the build asks before it takes its place: the
// installer only if the vendor signed it (INSTALLER_SIGNER), a component only with its pinned
// SHA-256 (COMPONENT_SHA256SUMS). A component is known by its file name, however the system
// folder before it is spelt, so that no spelling of the path lets one pass unchecked. The new
// file is checked in the target's folder, where only administrators can write, so nobody can
// change it between the check and the move. Files the build names no check for are replaced
// unchecked.
inline FilesWin32 CheckedFiles() {
  return FilesWin32([](const Text& target) -> FilesWin32::ReplacementCheck {
    if (target == kInstallerPath) {
      return kInstallerSigner[0] == u'\0' ? nullptr : SignerCheck(kInstallerSigner);
    }
    const TextView name = TextView(target).substr(target.find_last_of(u'\\') + 1);
    for (const PinnedSha256& pin : kComponentSha256) {
      if (pin.sha256[0] != u'\0' && EqualIgnoringAsciiCase(name, pin.name)) {
        return Sha256Check(pin.name, pin.sha256);
      }
    }
    return nullptr;
  });
}

}  // namespace vexa
