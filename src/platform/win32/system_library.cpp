#include "platform/win32/system_library.h"
#include "platform/win32/code_page_win32.h"

#include "platform/win32/failure_texts.h"
#include "platform/win32/system_folders.h"

namespace vexa {

SystemLibrary::SystemLibrary(const wchar_t* name)
    : name_(name), module_(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
  if (module_ == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    // Windows 7 without the update that brought LOAD_LIBRARY_SEARCH_*: name the file fully.
    module_ = LoadLibraryW((SystemDirectory() + L"\\" + name).c_str());
  }
  if (module_ == nullptr) {
    const DWORD error = GetLastError();
    throw SystemError(error, failure::kCannotLoadLibrary, FromWide(name));
  }
}

}  // namespace vexa
