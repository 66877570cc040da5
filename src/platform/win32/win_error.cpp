#include "platform/win32/win_error.h"

namespace vexa {

Text SystemMessage(DWORD error, HMODULE messages) {
  wchar_t buffer[1024] = {};
  // Language 0: neutral, then the thread's, the user's and the system's language.
  const DWORD from = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                     (messages ? FORMAT_MESSAGE_FROM_HMODULE : 0);
  DWORD length = FormatMessageW(from, messages, error, 0, buffer, ARRAYSIZE(buffer), nullptr);
  while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                        buffer[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) return u"错误代码 " + DecimalText(error);
  return Text(buffer, buffer + length);  // the same 16-bit units
}

PlatformError SystemError(DWORD error, TextView action, TextView subject) {
  Text message(action);
  message += subject;
  message += u"：";
  message += SystemMessage(error);
  return PlatformError(std::move(message), error);
}

}  // namespace vexa
