#include "platform/win32/wininet_api.h"

#include "platform/win32/environment_win32.h"
#include "platform/win32/win_error.h"

namespace vexa {
namespace {

template <typename Function>
void Bind(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (function == nullptr) {
    const std::string ansi(name);
    throw SystemError(GetLastError(), u"无法使用 wininet.dll 的函数 ",
                      Text(ansi.begin(), ansi.end()));
  }
}

WinInetApi Load() {
  HMODULE module = LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    // Windows 7 without the update that brought LOAD_LIBRARY_SEARCH_*: name the file fully.
    module = LoadLibraryW((SystemDirectory() + L"\\wininet.dll").c_str());
  }
  if (module == nullptr) throw SystemError(GetLastError(), u"无法加载 ", u"wininet.dll");
  WinInetApi api;
  Bind(module, "InternetOpenW", api.InternetOpenW);
  Bind(module, "InternetSetOptionW", api.InternetSetOptionW);
  Bind(module, "InternetSetStatusCallbackW", api.InternetSetStatusCallbackW);
  Bind(module, "InternetOpenUrlW", api.InternetOpenUrlW);
  Bind(module, "HttpQueryInfoW", api.HttpQueryInfoW);
  Bind(module, "InternetReadFile", api.InternetReadFile);
  Bind(module, "InternetCloseHandle", api.InternetCloseHandle);
  return api;
}

}  // namespace

const WinInetApi& WinInet() {
  static const WinInetApi api = Load();
  return api;
}

}  // namespace vexa
