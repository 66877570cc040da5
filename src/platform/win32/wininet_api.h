#pragma once

#include <windows.h>
#include <wininet.h>

namespace vexa {

// The WinINet functions the transfer control uses. They are taken from the system folder's
// wininet.dll at run time, so the program carries no import of it and a wininet.dll placed
// beside the program is never loaded.
struct WinInetApi {
  HMODULE module = nullptr;  // for the messages of its error codes
  decltype(&::InternetOpenW) InternetOpenW = nullptr;
  decltype(&::InternetSetOptionW) InternetSetOptionW = nullptr;
  decltype(&::InternetQueryOptionW) InternetQueryOptionW = nullptr;
  decltype(&::InternetSetStatusCallbackW) InternetSetStatusCallbackW = nullptr;
  decltype(&::InternetOpenUrlW) InternetOpenUrlW = nullptr;
  decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
};

// Loads the library on first use and keeps it for the rest of the run (workers of abandoned
// requests may still be inside it). Throws PlatformError when it can't be loaded.
const WinInetApi& WinInet();

}  // namespace vexa
