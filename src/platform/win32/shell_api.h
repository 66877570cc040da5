#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include "platform/win32/system_library.h"

// The shell32, ole32 and oleaut32 functions the program uses. The libraries (and the half
// dozen they bring along) are loaded from the system folder only when first needed: opening
// the site or the installer, or looking up a shell folder other than the system folder. The
// window shows sooner without them.
#define VEXA_SHELL32_FUNCTIONS(F) \
  F(SHGetSpecialFolderLocation) F(SHGetPathFromIDListA) F(ShellExecuteExW)
#define VEXA_OLE32_FUNCTIONS(F) \
  F(CoInitializeEx) F(CoUninitialize) F(CoTaskMemFree) F(CoCreateInstance)
#define VEXA_OLEAUT32_FUNCTIONS(F) F(SysAllocString) F(SysFreeString)

namespace vexa {

struct ShellApi {
  VEXA_SHELL32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
  VEXA_OLE32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
  VEXA_OLEAUT32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads the libraries on first use and keeps them for the rest of the run. Throws
// PlatformError when one can't be loaded.
const ShellApi& Shell32();

}  // namespace vexa
