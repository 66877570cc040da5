#include "platform/win32/wininet_api.h"

namespace vexa {
namespace {

void Bind(WinInetApi& api) {
  const SystemLibrary library(L"wininet.dll");
  api.module = library.Module();
  VEXA_WININET_FUNCTIONS(VEXA_BIND_FUNCTION)
}

}  // namespace

const WinInetApi& WinInet() {
  return BoundOnce<WinInetApi, Bind>();
}

}  // namespace vexa
