#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/log.h"
#include "platform/running_copies.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// One copy at a time on the machine, through a named mutex only administrators can make or
// hold: in a private namespace whose boundary is the Administrators group (a standard user's
// token lacks that group, so no standard user can create the namespace first, nor open what
// is in it). Where the system has no private namespaces (Wine 8: CreateBoundaryDescriptorW
// fails, and AddSIDToBoundaryDescriptor is a stub that ends the process, so it is never
// called there), the names are "Global\..." ones with a DACL of Administrators and SYSTEM: no
// standard user can open or hold what the program made there (one could make such a name
// first, which only a system without private namespaces allows; Windows has them from Vista).
// Beside the mutex, the copy that holds it keeps its process number in a small shared section,
// so a second start knows whose window to bring to the front.
class RunningCopiesWin32 final : public RunningCopies {
 public:
  explicit RunningCopiesWin32(Log& log) : log_(log) {}
  RunningCopiesWin32(const RunningCopiesWin32&) = delete;
  RunningCopiesWin32& operator=(const RunningCopiesWin32&) = delete;
  ~RunningCopiesWin32() override;

  bool TakeLock() override;
  RunningCopy BringRunningCopyToFront(std::int32_t waitMs) override;

 private:
  // The full name of one of the program's objects: in the namespace, or "Global\...".
  std::wstring NameOf(const wchar_t* object);
  void OpenNamespace();
  // The process number the holder of the lock keeps beside it; 0 while there is none.
  std::uint32_t RunningProcess();

  Log& log_;
  bool namespaceTried_ = false;
  HANDLE namespace_ = nullptr;  // the private namespace, kept open for the run
  UniqueHandle mutex_;
  UniqueHandle section_;  // the process number of the copy that holds the mutex
  bool held_ = false;
};

}  // namespace vexa
