#pragma once

#include <windows.h>

#include <string>

#include "platform/failure_texts.h"
#include "platform/win32/win_error.h"

namespace vexa {

// A library from the system folder, loaded at run time: never one placed beside the
// program, where a planted DLL could wait, and no import that costs start-up time before the
// library is needed. Throws PlatformError when it can't be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Binds one exported function of `module` (`library` names it in the failure).
template <typename Function>
void BindFunction(HMODULE module, const wchar_t* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (function == nullptr) {
    const std::string ansi(name);
    throw SystemError(GetLastError(), failure::kCannotUse + FromWide(library) + u" 的函数 ",
                      Text(ansi.begin(), ansi.end()));
  }
}

}  // namespace vexa
