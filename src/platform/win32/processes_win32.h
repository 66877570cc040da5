#pragma once

#include "platform/processes.h"

namespace vexa {

class ProcessesWin32 final : public Processes {
 public:
  // The command line is passed on exactly as given. The program it names is taken from the
  // system folder when it is a bare name ("cmd.exe"), and it runs with the system folder as
  // its working folder, so no cmd.exe or regsvr32 planted beside this program can run in its
  // place. Hidden window, no inherited handles, not waited for.
  void StartHidden(const Text& commandLine) override;
  std::uint32_t FindWindowOwner(const Text& title) override;
  // Waits up to 100 ms for the process to go, so that its window is gone before the caller
  // looks for the next one.
  bool Terminate(std::uint32_t processId) override;
};

}  // namespace vexa
