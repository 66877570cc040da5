#pragma once

#include <windows.h>

#include "platform/failure_texts.h"
#include "platform/win32/win_error.h"

namespace vexa {

// A library from the system folder, loaded at run time: never one placed beside the
// program, where a planted DLL could wait, and no import that costs start-up time before the
// library is needed. It stays loaded for the rest of the run.
class SystemLibrary {
 public:
  // Throws PlatformError when the library can't be loaded.
  explicit SystemLibrary(const wchar_t* name);

  HMODULE Module() const { return module_; }

  // Binds one exported function; throws PlatformError, naming library and function, when
  // the library lacks it.
  template <typename Function>
  void Bind(const char* function, Function& bound) const {
    bound = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, function)));
    if (bound == nullptr) {
      const DWORD error = GetLastError();
      throw SystemError(error, failure::kCannotUse + FromWide(name_) + u" 的函数 ",
                        AsciiText(function));
    }
  }

 private:
  const wchar_t* name_;
  HMODULE module_;
};

}  // namespace vexa
