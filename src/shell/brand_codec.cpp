#include <string>

#include "form/frm_update.h"

// The brand name is stored scrambled: every character becomes its ANSI code in decimal
// followed by "/", and every character of that text is moved by 57 plus a shift that
// depends only on its length, which gives a text of the letters "a" to "w".

namespace vexa {

namespace {

// Lengths are held in 16 bits.
constexpr std::size_t kMaxCodeTextLength = 32767;

// Thrown where a text can't be coded; the codec's two entry points turn it into the empty text.
struct CodecError {};

// The shift for a code text of `length` characters: 5 less its last decimal digit, never 0.
int ShiftFor(std::size_t length) {
  const int shift = 5 - static_cast<int>(length % 10);
  return shift <= 0 ? shift - 1 : shift;
}

// The value as a 16-bit ANSI code; a value that does not fit in 16 bits can't be coded.
std::int16_t AsAnsiCode(std::int32_t value) {
  const auto code = static_cast<std::int16_t>(value);  // wraps around (GCC, and C++20)
  if (code != value) throw CodecError();
  return code;
}

// A pending number of the decoder: an optional "-" and at least one digit.
std::int32_t ParseCode(const Text& digits) {
  std::size_t i = (!digits.empty() && digits[0] == u'-') ? 1 : 0;
  if (i == digits.size()) throw CodecError();
  std::int32_t magnitude = 0;
  for (; i < digits.size(); ++i) {
    if (digits[i] < u'0' || digits[i] > u'9') throw CodecError();
    magnitude = magnitude * 10 + (digits[i] - u'0');
    if (magnitude > 32768) throw CodecError();
  }
  return digits[0] == u'-' ? -magnitude : magnitude;
}

}  // namespace

std::int16_t FrmUpdate::AnsiCode(char16_t c) const {
  const std::string bytes = platform_.codePage.ToAnsi(TextView(&c, 1));
  if (bytes.size() == 1) return static_cast<std::uint8_t>(bytes[0]);
  if (bytes.size() == 2) {
    return AsAnsiCode(static_cast<std::uint8_t>(bytes[0]) * 256 +
                      static_cast<std::uint8_t>(bytes[1]) - 65536);
  }
  throw CodecError();
}

// The character whose ANSI code is `code`: one byte for 0 to 255, a lead and a trail byte for
// a negative code. Codes from 256 on name no character.
Text FrmUpdate::CharOfAnsiCode(std::int32_t code) const {
  if (code >= 0 && code <= 255) return platform_.codePage.FromAnsi(std::string(1, char(code)));
  if (code < 0 && code >= -32768) {
    const std::int32_t word = code + 65536;
    const char bytes[] = {static_cast<char>(word / 256), static_cast<char>(word % 256)};
    return platform_.codePage.FromAnsi(std::string_view(bytes, 2));
  }
  throw CodecError();
}

Text FrmUpdate::EncodeBrand(const Text& text) const {
  try {
    Text codeText;
    for (char16_t c : text) {
      codeText += DecimalText(AnsiCode(c));
      codeText += u'/';
    }
    if (codeText.size() > kMaxCodeTextLength) return {};
    const int shift = ShiftFor(codeText.size());
    Text encoded;
    encoded.reserve(codeText.size());
    for (char16_t c : codeText) encoded += CharOfAnsiCode(AsAnsiCode(AnsiCode(c) + 57 + shift));
    return encoded;
  } catch (...) {
    // Any failure yields the empty text; the caller stores and writes that.
    return {};
  }
}

Text FrmUpdate::DecodeBrand(const Text& encoded) const {
  try {
    if (encoded.size() > kMaxCodeTextLength) return {};
    const int shift = ShiftFor(encoded.size());
    Text codeText;
    for (char16_t c : encoded) codeText += CharOfAnsiCode(AsAnsiCode(AnsiCode(c) - 57 - shift));

    Text decoded, pending;
    for (char16_t c : codeText) {
      if (c == u'/') {
        decoded += CharOfAnsiCode(AsAnsiCode(ParseCode(pending)));
        pending.clear();
      } else {
        pending += c;
      }
    }
    return decoded;  // characters after the last "/" are dropped
  } catch (...) {
    return {};
  }
}

}  // namespace vexa
