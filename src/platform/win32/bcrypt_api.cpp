#include "platform/win32/bcrypt_api.h"

namespace vexa {
namespace {

void Bind(BCryptApi& api) {
  VEXA_BIND_FROM(L"bcrypt.dll", VEXA_BCRYPT_FUNCTIONS);
}

}  // namespace

const BCryptApi& BCrypt() {
  return BoundOnce<BCryptApi, Bind>();
}

}  // namespace vexa
