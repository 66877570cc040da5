#include "platform/win32/code_page_win32.h"

#include <windows.h>

#include <climits>

#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"

namespace vexa {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are 16-bit");

std::wstring ToWide(TextView text) {
  return std::wstring(text.begin(), text.end());
}

Text FromWide(std::wstring_view text) {
  return Text(text.begin(), text.end());
}

namespace {

void CheckLength(std::size_t length) {
  if (length > static_cast<std::size_t>(INT_MAX)) {
    throw SystemError(ERROR_ARITHMETIC_OVERFLOW, failure::kCannotConvertText, u"");
  }
}

}  // namespace

std::string AnsiFromText(TextView text) {
  if (text.empty()) return {};
  CheckLength(text.size());
  const std::wstring wide = ToWide(text);
  const int length = static_cast<int>(wide.size());
  // The UTF-8 code page refuses a default character; every other one takes "?".
  const char* defaultChar = GetACP() == CP_UTF8 ? nullptr : "?";
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, defaultChar, nullptr);
  if (size <= 0) throw SystemError(GetLastError(), failure::kCannotConvertText, u"");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  size =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), length, bytes.data(), size, defaultChar, nullptr);
  if (size <= 0) throw SystemError(GetLastError(), failure::kCannotConvertText, u"");
  bytes.resize(static_cast<std::size_t>(size));
  return bytes;
}

Text TextFromAnsi(std::string_view bytes) {
  return TextFromCodePage(bytes, CP_ACP);
}

Text TextFromCodePage(std::string_view bytes, unsigned codePage) {
  if (bytes.empty()) return {};
  CheckLength(bytes.size());
  const int length = static_cast<int>(bytes.size());
  int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) throw SystemError(GetLastError(), failure::kCannotConvertText, u"");
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  size = MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), size);
  if (size <= 0) throw SystemError(GetLastError(), failure::kCannotConvertText, u"");
  wide.resize(static_cast<std::size_t>(size));
  return FromWide(wide);
}

}  // namespace vexa
