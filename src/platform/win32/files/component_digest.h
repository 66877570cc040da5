#pragma once

#include <windows.h>

#include "platform/text.h"
#include "platform/win32/files/files_win32.h"

namespace vexa {

// The SHA-256 of an open file's whole content (the handle has read access), in lower-case
// hexadecimal, from the system's CNG. Throws PlatformError naming `target` (the file it is to
// become) when the file can't be read or hashed.
Text FileSha256(HANDLE file, const Text& target);

// A replacement check that lets a new file take its target's place only when its SHA-256 is
// `sha256` (lower-case hexadecimal); any other content throws ContentMismatch naming the
// component `name`, with both digests.
FilesWin32::ReplacementCheck Sha256Check(Text name, Text sha256);

}  // namespace vexa
