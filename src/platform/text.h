#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// A number in decimal digits, with zeros in front up to `width` digits (printf's "%0*u").
Text PaddedDecimalText(std::uint64_t value, std::size_t width);

// A number in upper-case hexadecimal digits, with zeros in front up to `width` digits
// (printf's "%0*X").
Text HexText(std::uint64_t value, std::size_t width);

// Bytes in lower-case hexadecimal, two digits a byte in their order (a digest, a random name).
Text HexBytesText(const std::uint8_t* bytes, std::size_t count);

// UTF-16 to UTF-8, for exception texts, the log and test output.
std::string ToUtf8(TextView text);

// An ASCII letter in upper case; any other code unit as it is. Windows folds names this way
// when it compares or sorts them.
inline char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Names as Windows and HTTP compare them (file names, headers, commands): ASCII letters in
// either case are the same.
bool EqualIgnoringAsciiCase(TextView a, TextView b);

// Cuts a text at every `separator`: n separators give n + 1 pieces, empty ones included.
std::vector<Text> SplitAt(TextView text, char16_t separator);

// A window handle as the platform hands it out; 0 is "no window".
using WindowHandle = std::uintptr_t;

}  // namespace vexa
