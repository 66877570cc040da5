#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/text.h"

namespace vexa {

// An operation of the platform failed. `what()` carries a UTF-8 rendering of `message`.
// The message names the operation, its argument and the system's own explanation, e.g.
// "无法写入文件 C:\vexaoem.dat：拒绝访问。". Only the top of the program catches it.
class PlatformError : public std::runtime_error {
 public:
  // `systemCode`: the system's error number behind the failure, for the log; 0 for none.
  explicit PlatformError(Text message, std::uint32_t systemCode = 0);
  const Text& message() const { return message_; }
  std::uint32_t systemCode() const { return systemCode_; }

 private:
  Text message_;
  std::uint32_t systemCode_;
};

}  // namespace vexa
