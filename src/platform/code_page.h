#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace vexa {

// The system's ANSI code page (936 on the systems the product serves).
class CodePage {
 public:
  virtual ~CodePage() = default;
  // Characters the code page cannot represent become its default character "?".
  virtual std::string ToAnsi(TextView text) const = 0;
  // Bytes that form no character of the code page become "?".
  virtual Text FromAnsi(std::string_view bytes) const = 0;
};

}  // namespace vexa
