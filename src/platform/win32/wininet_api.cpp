#include "platform/win32/wininet_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

WinInetApi Load() {
  constexpr wchar_t kLibrary[] = L"wininet.dll";
  WinInetApi api;
  api.module = LoadSystemLibrary(kLibrary);
  BindFunction(api.module, kLibrary, "InternetOpenW", api.InternetOpenW);
  BindFunction(api.module, kLibrary, "InternetSetOptionW", api.InternetSetOptionW);
  BindFunction(api.module, kLibrary, "InternetSetStatusCallbackW", api.InternetSetStatusCallbackW);
  BindFunction(api.module, kLibrary, "InternetOpenUrlW", api.InternetOpenUrlW);
  BindFunction(api.module, kLibrary, "HttpQueryInfoW", api.HttpQueryInfoW);
  BindFunction(api.module, kLibrary, "InternetReadFile", api.InternetReadFile);
  BindFunction(api.module, kLibrary, "InternetCloseHandle", api.InternetCloseHandle);
  return api;
}

}  // namespace

const WinInetApi& WinInet() {
  static const WinInetApi api = Load();
  return api;
}

}  // namespace vexa
