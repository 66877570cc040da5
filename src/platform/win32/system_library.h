#pragma once

#include <windows.h>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"

// A table of system functions names each function once, in a list macro
// `#define LIST(F) F(Name) F(Name) ...`. Inside the table's struct, LIST(VEXA_FUNCTION_MEMBER)
// declares one pointer per name, typed after the SDK's declaration (the struct stays an
// aggregate, so a test can fill it with fakes); with a SystemLibrary named `library` and the
// table named `api` in scope, LIST(VEXA_BIND_FUNCTION) binds each by name.
#define VEXA_FUNCTION_MEMBER(name) decltype(&::name) name = nullptr;
#define VEXA_BIND_FUNCTION(name) library.Bind(#name, api.name);
// Binds every function of LIST from the system folder's library `file` into `api`.
#define VEXA_BIND_FROM(file, list)           \
  do {                                       \
    const vexa::SystemLibrary library(file); \
    list(VEXA_BIND_FUNCTION)                 \
  } while (false)

namespace vexa {

// A library from the system folder, loaded at run time: never one placed beside the
// program, where a planted DLL could wait, and no import that costs start-up time before the
// library is needed. It stays loaded for the rest of the run.
class SystemLibrary {
 public:
  // Throws PlatformError when the library can't be loaded.
  explicit SystemLibrary(const wchar_t* name);

  HMODULE Module() const { return module_; }

  // One exported function, or null when the library lacks it (a function newer than the
  // oldest Windows the program runs on).
  template <typename Function>
  Function Find(const char* function) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, function)));
  }

  // Binds one exported function; throws PlatformError, naming library and function, when
  // the library lacks it.
  template <typename Function>
  void Bind(const char* function, Function& bound) const {
    bound = Find<Function>(function);
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

// The one table of its kind, bound by `bind(table)` on first use and kept for the rest of the
// run (a function's static: its start is thread-safe; each caller's lambda makes its own).
// Throws PlatformError when binding fails.
template <typename Table, typename Bind>
const Table& BoundOnce(Bind bind) {
  static const Table table = [&bind] {
    Table bound{};
    bind(bound);
    return bound;
  }();
  return table;
}

}  // namespace vexa
