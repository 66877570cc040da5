#pragma once

#include "platform/files.h"

namespace vexa {

// Files through the wide Windows API; the contents of text files in the ANSI code page.
class FilesWin32 final : public Files {
 public:
  bool Exists(const Text& path, std::uint32_t attributeMask) const override;
  Text ReadFirstLine(const Text& path) override;
  void WriteLine(const Text& path, const Text& line) override;
  void Delete(const Text& path) override;
  // The new file is "<target>.<process id>.vexa-tmp" in the target's folder, so the final move
  // stays on one volume. It is marked for deletion while it is written: if the program ends
  // (or is killed) before Commit, the system removes it.
  std::unique_ptr<FileReplacement> BeginReplace(const Text& path) override;
};

}  // namespace vexa
