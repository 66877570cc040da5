#pragma once

#include <windows.h>
#include <wininet.h>

#include "platform/win32/system_library.h"

// The WinINet functions the transfer control uses. They are taken from the system folder's
// wininet.dll at run time, so the program carries no import of it and a wininet.dll placed
// beside the program is never loaded.
// clang-format off
#define VEXA_WININET_FUNCTIONS(F) \
  F(InternetOpenW) F(InternetSetOptionW) F(InternetQueryOptionW) F(InternetSetStatusCallbackW) \
  F(InternetOpenUrlW) F(HttpQueryInfoW) F(InternetQueryDataAvailable) F(InternetReadFile) \
  F(InternetCloseHandle) F(HttpSendRequestW) F(InternetErrorDlg)
// clang-format on

namespace vexa {

struct WinInetApi {
  HMODULE module = nullptr;  // for the messages of its error codes
  VEXA_WININET_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads the library on first use and keeps it for the rest of the run (workers of abandoned
// requests may still be inside it). Throws PlatformError when it can't be loaded.
const WinInetApi& WinInet();

}  // namespace vexa
