#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace vexa {

// How the program's one-line text files are laid out, shared by every Files implementation.

// How a text file's bytes are read: in the ANSI code page, or in the Unicode form its byte
// order mark names (as Windows' own editor saves "UTF-8 with BOM" and "Unicode"). Without a
// mark the bytes are never guessed at: a line in code page 936 can be valid UTF-8 too.
enum class TextEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// The encoding's name, for the log.
const char16_t* EncodingName(TextEncoding encoding);

// The first line of a file: the encoding its mark names (Ansi without one) and its bytes after
// the mark, up to the first CR in that encoding's units (in UTF-16, the unit 000D; a lone LF
// does not end a line; a file without CR is one line). Returns false for a file without any
// byte, which has no first line to read; a mark alone is an empty line.
bool FirstLineOf(std::string_view fileBytes, TextEncoding& encoding, std::string& line);

// The characters of a line in one of the Unicode encodings. A sequence that is no character of
// UTF-8 (or a last odd byte of UTF-16) becomes U+FFFD.
Text TextOfUnicode(std::string_view bytes, TextEncoding encoding);

// The bytes of a file that holds exactly one line: the line, then CR LF.
std::string OneLineFile(std::string_view line);

}  // namespace vexa
