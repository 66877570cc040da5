#pragma once

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

namespace vexa {

// The shell32 and ole32 functions the program uses. Both libraries (and the half dozen they
// bring along) are loaded from the system folder only when first needed: opening the site or
// the installer, or looking up a shell folder other than the system folder. The window shows
// sooner without them.
struct ShellApi {
  decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation = nullptr;
  decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA = nullptr;
  decltype(&::ShellExecuteExA) ShellExecuteExA = nullptr;
  decltype(&::CoInitializeEx) CoInitializeEx = nullptr;
  decltype(&::CoUninitialize) CoUninitialize = nullptr;
  decltype(&::CoTaskMemFree) CoTaskMemFree = nullptr;
  decltype(&::CoCreateInstance) CoCreateInstance = nullptr;
};

// Loads both libraries on first use and keeps them for the rest of the run. Throws
// PlatformError when either can't be loaded.
const ShellApi& Shell32();

}  // namespace vexa
