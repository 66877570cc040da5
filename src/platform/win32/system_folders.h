#pragma once

#include <string>

namespace vexa {

// This program's file, as the system loaded it (a path may be longer than MAX_PATH); "" when
// the system can't tell, with the reason in GetLastError.
std::wstring ProgramPath();

// The system folder as Windows names it (for a 32-bit program on 64-bit Windows the system
// redirects it to the 32-bit one), without a trailing separator.
std::wstring SystemDirectory();

// The Windows folder (%SystemRoot%) as the system names it, from GetSystemWindowsDirectoryW
// (never the environment), without a trailing separator.
std::wstring WindowsDirectory();

// "%SystemRoot%\Temp\", from GetSystemWindowsDirectoryW: not from the environment, which the
// user's unelevated programs set, and never the user's %TEMP%, which they can turn into a
// junction. IfAny gives "" where the other throws, for what goes on without it (the log).
std::wstring SystemTemporaryFolder();
std::wstring SystemTemporaryFolderIfAny();

}  // namespace vexa
