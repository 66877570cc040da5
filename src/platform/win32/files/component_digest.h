#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace vexa {

// The SHA-256 of an open file's whole content (the handle has read access), in lower-case
// hexadecimal, from the system's CNG. Throws PlatformError naming `target` (the file it is to
// become) when the file can't be read or hashed.
Text FileSha256(HANDLE file, const Text& target);
// The same for `count` bytes in memory (less than 4 GB).
Text BytesSha256(const std::uint8_t* bytes, std::size_t count, const Text& target);

// Lets an open file (read access) become `target` only when its SHA-256 is `sha256`
// (lower-case hexadecimal); any other content throws ContentMismatch naming the component
// `name`, with both digests.
void VerifySha256(HANDLE file, const Text& target, const Text& name, const Text& sha256);

}  // namespace vexa
