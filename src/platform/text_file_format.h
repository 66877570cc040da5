#pragma once

#include <string>
#include <string_view>

namespace vexa {

// How the program's one-line text files are laid out, shared by every Files implementation.

// The bytes of the first line: everything before the first CR (a lone LF does not end a
// line; a file without CR is one line). Returns false for a file without any byte, which
// has no first line to read.
bool FirstLineOf(std::string_view fileBytes, std::string& line);

// The bytes of a file that holds exactly one line: the line, then CR LF.
std::string OneLineFile(std::string_view line);

}  // namespace vexa
