#include "platform/win32/files/bcrypt_api.h"

namespace vexa {

const BCryptApi& BCrypt() {
  return BoundOnce<BCryptApi>(
      [](BCryptApi& api) { VEXA_BIND_FROM(L"bcrypt.dll", VEXA_BCRYPT_FUNCTIONS); });
}

}  // namespace vexa
