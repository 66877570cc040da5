#pragma once

#include <cstdint>

#include "platform/text.h"

namespace vexa {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens the file as ShellExecuteA(owner, default verb, file, no parameters, no directory,
  // SW_SHOWNORMAL) does, and returns what that returns (above 32 means the shell started
  // the file). The start has happened when it returns.
  virtual std::int32_t Open(WindowHandle owner, const Text& file) = 0;
  // The file-system path of the shell folder with this CSIDL number, as the shell gives
  // it, or the empty text when the shell can't locate the folder.
  virtual Text SpecialFolderPath(std::int32_t csidl) = 0;
};

}  // namespace vexa
