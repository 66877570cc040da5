#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include "platform/win32/system_library.h"

// The shell32 functions the program uses. The library (and the half dozen it brings along) is
// loaded from the system folder only when first needed: opening the site or the installer, or
// looking up a shell folder other than the system folder. The window shows sooner without it.
#define VEXA_SHELL32_FUNCTIONS(F) \
  F(SHGetSpecialFolderLocation) F(SHGetPathFromIDListA) F(ShellExecuteExW)

namespace vexa {

struct ShellApi {
  VEXA_SHELL32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads shell32 on first use and keeps it for the rest of the run. Throws PlatformError when
// it can't be loaded.
const ShellApi& Shell32();

}  // namespace vexa
