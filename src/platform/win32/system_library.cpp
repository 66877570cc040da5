#include "platform/win32/system_library.h"

#include "platform/failure_texts.h"
#include "platform/win32/environment_win32.h"

namespace vexa {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    // Windows 7 without the update that brought LOAD_LIBRARY_SEARCH_*: name the file fully.
    module = LoadLibraryW((SystemDirectory() + L"\\" + name).c_str());
  }
  if (module == nullptr)
    throw SystemError(GetLastError(), failure::kCannotLoadLibrary, FromWide(name));
  return module;
}

}  // namespace vexa
