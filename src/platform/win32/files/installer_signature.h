#pragma once

#include <windows.h>

#include "platform/text.h"

namespace vexa {

// Checks the Authenticode signature of an open file (read access) with WinVerifyTrust, that
// the signer's chain ends in a root the local machine trusts (not one of the user's own),
// and that the signer's certificate carries the common name `signer`, exactly. Throws
// PlatformError naming `target` (the file it is to become) and the signer found otherwise.
void VerifySigner(HANDLE file, const Text& target, const Text& signer);

}  // namespace vexa
