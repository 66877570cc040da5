#include "platform/win32/wininet_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

WinInetApi Load() {
  const SystemLibrary wininet(L"wininet.dll");
  WinInetApi api;
  api.module = wininet.Module();
  wininet.Bind("InternetOpenW", api.InternetOpenW);
  wininet.Bind("InternetSetOptionW", api.InternetSetOptionW);
  wininet.Bind("InternetQueryOptionW", api.InternetQueryOptionW);
  wininet.Bind("InternetSetStatusCallbackW", api.InternetSetStatusCallbackW);
  wininet.Bind("InternetOpenUrlW", api.InternetOpenUrlW);
  wininet.Bind("HttpQueryInfoW", api.HttpQueryInfoW);
  wininet.Bind("InternetReadFile", api.InternetReadFile);
  wininet.Bind("InternetCloseHandle", api.InternetCloseHandle);
  return api;
}

}  // namespace

const WinInetApi& WinInet() {
  static const WinInetApi api = Load();
  return api;
}

}  // namespace vexa
