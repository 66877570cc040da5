#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text.h"

namespace vexa {

// A date and time to the second as "2026-12-07 20:57:23", as the log and the partials' records
// write them.
inline Text SystemTimeText(const SYSTEMTIME& time) {
  return PaddedDecimalText(time.wYear, 4) + u"-" + PaddedDecimalText(time.wMonth, 2) + u"-" +
         PaddedDecimalText(time.wDay, 2) + u" " + PaddedDecimalText(time.wHour, 2) + u":" +
         PaddedDecimalText(time.wMinute, 2) + u":" + PaddedDecimalText(time.wSecond, 2);
}

// The text a system function writes into a buffer the caller gives, however long: `call(buffer,
// size)` returns the length written, or, when the buffer was too small, the size it needs or
// the size it was given (GetModuleFileNameW cuts short). The buffer grows until the text fits.
// "" when the call fails, with the system's reason left in GetLastError.
template <class Call>
std::wstring GrownText(Call call) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return {};
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(std::max<std::size_t>(length, text.size() * 2));
  }
}

}  // namespace vexa
