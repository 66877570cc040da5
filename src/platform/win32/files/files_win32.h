#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <utility>

#include "platform/files.h"
#include "platform/win32/held_files.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// Files through the wide Windows API; the contents of text files in the ANSI code page.
class FilesWin32 final : public Files {
 public:
  // Looks at a replacement's new file, complete and still open (`file` has read access),
  // before it takes the place of `target`; throws PlatformError to refuse it.
  using ReplacementCheck = void (*)(HANDLE file, const Text& target);

  // `check`, if any, sees every replacement before Commit moves it into place. `notice`, if
  // any, hears of a new file that another program holds (RetriedWhileHeld) as it is waited
  // for.
  explicit FilesWin32(ReplacementCheck check = nullptr, HeldFileNotice notice = {})
      : check_(check), notice_(std::move(notice)) {}

  bool Exists(const Text& path, std::uint32_t attributeMask) const override;
  FirstLine ReadFirstLine(const Text& path) override;
  void WriteLine(const Text& path, const Text& line) override;
  void Delete(const Text& path) override;
  // The new file is "<target>.<random>.vexa-tmp" in the target's folder, so the final move
  // stays on one volume; only administrators can open it until Commit has given it the
  // target's name, and then users may read it (elevated_files.h). It is marked for deletion
  // while it is written: if the program ends (or is killed) before Commit, or the check
  // refuses it, the system removes it. After Commit, the file stays open
  // for reading, denying writes and deletion to everyone, until this object goes or the
  // target is replaced again: a file the program starts next (the installer, a component
  // regsvr32 loads) is the one checked. Meanwhile only readers that share deletion (as a
  // process start and a library load do) can open it.
  std::unique_ptr<FileReplacement> BeginReplace(const Text& path) override;

 private:
  ReplacementCheck check_;
  HeldFileNotice notice_;
  std::map<Text, UniqueHandle> held_;  // the files replaced, by target, from their check on
};

}  // namespace vexa
