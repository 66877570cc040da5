#include "platform/text.h"

#include <algorithm>

namespace vexa {
namespace {

constexpr char16_t kUpperDigits[] = u"0123456789ABCDEF";
constexpr char16_t kLowerDigits[] = u"0123456789abcdef";

// Appends the digits of `value` in `base` (10 or 16), at least `width` of them, from the
// table `digits`. The program's formatted numbers are all made here rather than with printf,
// whose implementation in the MinGW runtime (with floating point) is over 30 KB of the
// program.
void AppendDigits(Text& out, std::uint64_t value, std::size_t width, unsigned base,
                  const char16_t* digits) {
  const std::size_t start = out.size();
  do {
    out += digits[value % base];
    value /= base;
  } while (value != 0);
  const std::size_t written = out.size() - start;
  if (written < width) out.append(width - written, u'0');
  std::reverse(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
}

Text Digits(std::uint64_t value, std::size_t width, unsigned base) {
  Text out;
  AppendDigits(out, value, width, base, kUpperDigits);
  return out;
}

}  // namespace

Text PaddedDecimalText(std::uint64_t value, std::size_t width) {
  return Digits(value, width, 10);
}

Text HexText(std::uint64_t value, std::size_t width) {
  return Digits(value, width, 16);
}

Text HexBytesText(const std::uint8_t* bytes, std::size_t count) {
  Text out;
  out.reserve(2 * count);
  for (std::size_t i = 0; i < count; ++i) AppendDigits(out, bytes[i], 2, 16, kLowerDigits);
  return out;
}

std::string ToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool EqualIgnoringAsciiCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

std::vector<Text> SplitAt(TextView text, char16_t separator) {
  std::vector<Text> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    pieces.emplace_back(text.substr(start, end == TextView::npos ? end : end - start));
    if (end == TextView::npos) return pieces;
    start = end + 1;
  }
}

}  // namespace vexa
