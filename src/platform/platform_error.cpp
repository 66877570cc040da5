#include "platform/platform_error.h"

namespace vexa {

PlatformError::PlatformError(Text message, std::uint32_t systemCode)
    : std::runtime_error(ToUtf8(message)), message_(std::move(message)), systemCode_(systemCode) {}

}  // namespace vexa
