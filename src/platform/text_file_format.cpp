#include "platform/text_file_format.h"

#include <cstdint>

namespace vexa {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct Mark {
  std::string_view bytes;
  TextEncoding encoding;
};
constexpr Mark kMarks[] = {{"\xEF\xBB\xBF", TextEncoding::Utf8},
                           {"\xFF\xFE", TextEncoding::Utf16Le},
                           {"\xFE\xFF", TextEncoding::Utf16Be}};

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

char16_t UnitAt(std::string_view bytes, std::size_t at, TextEncoding encoding) {
  const std::uint8_t first = Byte(bytes, at), second = Byte(bytes, at + 1);
  return static_cast<char16_t>(encoding == TextEncoding::Utf16Le ? first | second << 8
                                                                 : first << 8 | second);
}

void AppendCodePoint(Text& text, std::uint32_t code) {
  if (code < 0x10000) {
    text += static_cast<char16_t>(code);
    return;
  }
  code -= 0x10000;
  text += static_cast<char16_t>(0xD800 + (code >> 10));
  text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
}

// UTF-8 as RFC 3629 has it: no overlong form, no surrogate, nothing beyond U+10FFFF. Each byte
// that does not begin a whole character becomes U+FFFD.
Text TextOfUtf8(std::string_view bytes) {
  Text text;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t lead = Byte(bytes, i);
    std::size_t length = 0;
    std::uint32_t code = 0, lowest = 0;
    if (lead < 0x80) {
      length = 1, code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, lowest = 0x10000;
    }
    std::size_t taken = 1;
    for (; length > 1 && taken < length && i + taken < bytes.size(); ++taken) {
      const std::uint8_t next = Byte(bytes, i + taken);
      if ((next & 0xC0) != 0x80) break;
      code = code << 6 | (next & 0x3F);
    }
    const bool whole = length != 0 && taken == length && code >= lowest && code <= 0x10FFFF &&
                       (code < 0xD800 || code > 0xDFFF);
    if (whole) {
      AppendCodePoint(text, code);
    } else {
      text += kReplacement;
      taken = 1;  // what follows the lead byte is read on its own
    }
    i += taken;
  }
  return text;
}

}  // namespace

const char16_t* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8:
      return u"UTF-8 with byte order mark";
    case TextEncoding::Utf16Le:
      return u"UTF-16 LE with byte order mark";
    case TextEncoding::Utf16Be:
      return u"UTF-16 BE with byte order mark";
    case TextEncoding::Ansi:
      break;
  }
  return u"ANSI code page";
}

bool FirstLineOf(std::string_view fileBytes, TextEncoding& encoding, std::string& line) {
  if (fileBytes.empty()) return false;
  encoding = TextEncoding::Ansi;
  for (const Mark& mark : kMarks) {
    if (fileBytes.substr(0, mark.bytes.size()) == mark.bytes) {
      encoding = mark.encoding;
      fileBytes.remove_prefix(mark.bytes.size());
      break;
    }
  }
  std::size_t end = 0;
  if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
    while (end + 1 < fileBytes.size() && UnitAt(fileBytes, end, encoding) != u'\r') end += 2;
    if (end + 1 >= fileBytes.size()) end = fileBytes.size();
  } else {
    end = fileBytes.find('\r');
  }
  line.assign(fileBytes.substr(0, end));
  return true;
}

Text TextOfUnicode(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) return TextOfUtf8(bytes);
  Text text;
  std::size_t at = 0;
  for (; at + 1 < bytes.size(); at += 2) text += UnitAt(bytes, at, encoding);
  if (at < bytes.size()) text += kReplacement;
  return text;
}

std::string OneLineFile(std::string_view line) {
  std::string bytes(line);
  bytes += "\r\n";
  return bytes;
}

}  // namespace vexa
