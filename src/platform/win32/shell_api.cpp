#include "platform/win32/shell_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

ShellApi Load() {
  constexpr wchar_t kShell[] = L"shell32.dll";
  constexpr wchar_t kOle[] = L"ole32.dll";
  ShellApi api;
  const HMODULE shell = LoadSystemLibrary(kShell);
  BindFunction(shell, kShell, "SHGetSpecialFolderLocation", api.SHGetSpecialFolderLocation);
  BindFunction(shell, kShell, "SHGetPathFromIDListA", api.SHGetPathFromIDListA);
  BindFunction(shell, kShell, "ShellExecuteExA", api.ShellExecuteExA);
  const HMODULE ole = LoadSystemLibrary(kOle);
  BindFunction(ole, kOle, "CoInitializeEx", api.CoInitializeEx);
  BindFunction(ole, kOle, "CoUninitialize", api.CoUninitialize);
  BindFunction(ole, kOle, "CoTaskMemFree", api.CoTaskMemFree);
  return api;
}

}  // namespace

const ShellApi& Shell32() {
  static const ShellApi api = Load();
  return api;
}

}  // namespace vexa
