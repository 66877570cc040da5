#include "platform/win32/files/wintrust_api.h"

namespace vexa {

const WinTrustApi& WinTrust() {
  return BoundOnce<WinTrustApi>([](WinTrustApi& api) {
    VEXA_BIND_FROM(L"wintrust.dll", VEXA_WINTRUST_FUNCTIONS);
    VEXA_BIND_FROM(L"crypt32.dll", VEXA_CRYPT32_FUNCTIONS);
  });
}

}  // namespace vexa
