#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include "platform/win32/system_library.h"

// The functions of COM's runtime (ole32) and of its automation strings (oleaut32) the program
// uses, loaded from the system folder when first needed, as shell32 is: the window shows
// sooner without them.
#define VEXA_OLE32_FUNCTIONS(F) \
  F(CoInitializeEx) F(CoUninitialize) F(CoTaskMemFree) F(CoCreateInstance)
#define VEXA_OLEAUT32_FUNCTIONS(F) F(SysAllocString) F(SysFreeString)

namespace vexa {

struct ComApi {
  VEXA_OLE32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
  VEXA_OLEAUT32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads ole32 and oleaut32 on first use and keeps them for the rest of the run. Throws
// PlatformError when one can't be loaded.
const ComApi& ComRuntime();

// The window's thread's single-threaded COM apartment, entered on first need (the shell's
// calls, the taskbar button and the accessible objects need it; the window shows sooner
// without it) and left when this object goes. One for the thread: every user of COM on it
// asks this one.
class ComApartment {
 public:
  ComApartment() = default;
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  // Whether COM is ready on the calling thread (the window's); tried once.
  bool Enter();

 private:
  bool tried_ = false;
  bool ready_ = false;
};

}  // namespace vexa
