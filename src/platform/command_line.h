#pragma once

#include "platform/text.h"

namespace vexa {

// A command line as Windows reads its first word: the program name runs to the closing quote
// when it begins with one, else to the first blank or tab. The one parser of the program's
// own command line and of the command lines it starts.
struct CommandLineParts {
  TextView program;   // without its quotes
  TextView argument;  // what follows the name, without the blanks in between
};
CommandLineParts SplitCommandLine(TextView commandLine);

// The program file to start for a command line: a bare name ("cmd.exe", "cmd") is taken
// from `systemFolder` (".exe" added when it has no extension), a path as it stands.
Text ProgramFileOf(TextView commandLine, TextView systemFolder);

}  // namespace vexa
