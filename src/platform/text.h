#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa {

// Text inside the program is UTF-16, one code unit per character. Conversion to and from
// the ANSI code page happens only inside the platform implementations.
using Text = std::u16string;
using TextView = std::u16string_view;

// ASCII text (a function name, formatted digits) as Text.
inline Text AsciiText(std::string_view ascii) {
  return Text(ascii.begin(), ascii.end());
}

// A number in decimal digits, with a "-" when negative.
inline Text DecimalText(std::int64_t value) {
  return AsciiText(std::to_string(value));
}

// UTF-16 to UTF-8, for exception texts, the log and test output.
std::string ToUtf8(TextView text);

// A window handle as the platform hands it out; 0 is "no window".
using WindowHandle = std::uintptr_t;

}  // namespace vexa
