#pragma once

#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace vexa {

// Text and the wide strings of the Windows API hold the same 16-bit units.
std::wstring ToWide(TextView text);
Text FromWide(std::wstring_view text);

// Conversions through the system's ANSI code page, for every text handed to an "A" function
// of Windows or stored in a text file.
std::string AnsiFromText(TextView text);
Text TextFromAnsi(std::string_view bytes);
// The same for bytes in another code page (CP_UTF8, say).
Text TextFromCodePage(std::string_view bytes, unsigned codePage);

class CodePageWin32 final : public CodePage {
 public:
  std::string ToAnsi(TextView text) const override { return AnsiFromText(text); }
  Text FromAnsi(std::string_view bytes) const override { return TextFromAnsi(bytes); }
};

}  // namespace vexa
