#include "platform/win32/shell_api.h"

namespace vexa {

const ShellApi& Shell32() {
  return BoundOnce<ShellApi>(
      [](ShellApi& api) { VEXA_BIND_FROM(L"shell32.dll", VEXA_SHELL32_FUNCTIONS); });
}

}  // namespace vexa
