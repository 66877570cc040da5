#include "platform/win32/shell_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

ShellApi Load() {
  const SystemLibrary shell(L"shell32.dll");
  const SystemLibrary ole(L"ole32.dll");
  const SystemLibrary automation(L"oleaut32.dll");
  ShellApi api;
  shell.Bind("SHGetSpecialFolderLocation", api.SHGetSpecialFolderLocation);
  shell.Bind("SHGetPathFromIDListA", api.SHGetPathFromIDListA);
  shell.Bind("ShellExecuteExW", api.ShellExecuteExW);
  ole.Bind("CoInitializeEx", api.CoInitializeEx);
  ole.Bind("CoUninitialize", api.CoUninitialize);
  ole.Bind("CoTaskMemFree", api.CoTaskMemFree);
  ole.Bind("CoCreateInstance", api.CoCreateInstance);
  automation.Bind("SysAllocString", api.SysAllocString);
  automation.Bind("SysFreeString", api.SysFreeString);
  return api;
}

}  // namespace

const ShellApi& Shell32() {
  static const ShellApi api = Load();
  return api;
}

}  // namespace vexa
