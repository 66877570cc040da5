#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

namespace vexa {

// The shell32, ole32 and oleaut32 functions the program uses. The libraries (and the half
// dozen they bring along) are loaded from the system folder only when first needed: opening
// the site or the installer, or looking up a shell folder other than the system folder. The
// window shows sooner without them.
struct ShellApi {
  decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation = nullptr;
  decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA = nullptr;
  decltype(&::ShellExecuteExW) ShellExecuteExW = nullptr;
  decltype(&::CoInitializeEx) CoInitializeEx = nullptr;
  decltype(&::CoUninitialize) CoUninitialize = nullptr;
  decltype(&::CoTaskMemFree) CoTaskMemFree = nullptr;
  decltype(&::CoCreateInstance) CoCreateInstance = nullptr;
  decltype(&::SysAllocString) SysAllocString = nullptr;
  decltype(&::SysFreeString) SysFreeString = nullptr;
};

// Loads the libraries on first use and keeps them for the rest of the run. Throws
// PlatformError when one can't be loaded.
const ShellApi& Shell32();

}  // namespace vexa
