#pragma once

#include <cstdint>

#include "platform/text.h"

namespace vexa {

// What the system itself says about the machine, for the environment of the processes the
// program starts for its own work.
struct SystemFacts {
  Text windowsFolder;          // "C:\Windows", no trailing separator
  Text systemFolder;           // "C:\Windows\system32", no trailing separator
  Text processorArchitecture;  // "x86", "AMD64", "ARM64", ... as the system names it
  std::uint32_t processors = 1;
};

// The environment block of a process started for the program's own work (cmd.exe and
// regsvr32), made of the system's values only: SystemRoot, windir, SystemDrive, ComSpec,
// PATH (the system folder, the Windows folder, the system folder's Wbem), PATHEXT, TEMP and
// TMP (the Windows folder's Temp), PROCESSOR_ARCHITECTURE and NUMBER_OF_PROCESSORS; nothing
// of the user's. "NAME=value" strings, each ended by a NUL, sorted by name as Windows wants
// an environment block (ignoring case), and a last NUL that ends the block.
Text SystemEnvironmentBlock(const SystemFacts& facts);

// The environment block of the installer: the program's own `block` (as the system gives it,
// in the same layout) with TEMP and TMP set to `temporaryFolder`, each in its place, or where
// its name sorts when the block has none; every other variable stays as it is (the installer
// is the product's and may need the user's folders).
Text WithTemporaryFolder(TextView block, const Text& temporaryFolder);

}  // namespace vexa
