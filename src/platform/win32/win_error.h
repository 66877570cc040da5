#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform_error.h"
#include "platform/text.h"

namespace vexa {

// The system's own explanation of an error code, in the user's language, without the line
// break at its end; the codes of a library with messages of its own (wininet.dll's 12xxx)
// are looked up in `messages` first.
Text SystemMessage(DWORD error, HMODULE messages = nullptr);

// "<action><subject>：<system message>", e.g.
//   throw SystemError(GetLastError(), failure::kCannotWriteFile, path);
// gives "无法写入文件 C:\vexaoem.dat：拒绝访问。". C++ leaves the order of a call's arguments
// open: where another argument does work of its own (converts or joins texts), the code is
// read into a variable first, so that nothing runs between the failed call and GetLastError.
PlatformError SystemError(DWORD error, TextView action, TextView subject);

// Receives, on another thread than the window's, a failure that is to end the program
// through its error box, as any unexpected failure does (the window throws it on its own
// thread).
using FailureSink = std::function<void(std::exception_ptr)>;

}  // namespace vexa
