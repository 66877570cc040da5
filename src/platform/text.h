#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa {

// Text inside the program is UTF-16, one code unit per character. Conversion to and from
// the ANSI code page happens only inside the platform implementations.
using Text = std::u16string;
using TextView = std::u16string_view;

// A number in decimal digits, with a "-" when negative.
inline Text DecimalText(std::int64_t value) {
  const std::string digits = std::to_string(value);
  return Text(digits.begin(), digits.end());
}

// A window handle as the platform hands it out; 0 is "no window".
using WindowHandle = std::uintptr_t;

}  // namespace vexa
