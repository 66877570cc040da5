#include "platform/win32/program_end_win32.h"

namespace vexa {

void EndProcess(UINT exitCode) {
  TerminateProcess(GetCurrentProcess(), exitCode);
  ExitProcess(exitCode);  // not reached
}

void ProgramEndWin32::Now() {
  if (beforeEnd_) beforeEnd_();
  EndProcess(0);
}

}  // namespace vexa
