#include "platform/win32/transfer/wininet_api.h"

namespace vexa {

const WinInetApi& WinInet() {
  return BoundOnce<WinInetApi>([](WinInetApi& api) {
    const SystemLibrary library(L"wininet.dll");
    api.module = library.Module();
    VEXA_WININET_FUNCTIONS(VEXA_BIND_FUNCTION)
  });
}

}  // namespace vexa
