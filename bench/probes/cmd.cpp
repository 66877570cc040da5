// Stands in for the system's cmd.exe during the benchmark: records its command line and
// registers nothing, so that the timed run is the program's own work.
#include "probe_log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  AppendRecord({L"cmd", ModulePath(nullptr), GetCommandLineW()});
  return 0;
}
