#include "platform/command_line.h"

#include <algorithm>

namespace vexa {

CommandLineParts SplitCommandLine(TextView commandLine) {
  CommandLineParts parts;
  std::size_t next = 0;
  if (!commandLine.empty() && commandLine[0] == u'"') {
    const std::size_t close = commandLine.find(u'"', 1);
    parts.program = commandLine.substr(1, close == TextView::npos ? TextView::npos : close - 1);
    next = close == TextView::npos ? commandLine.size() : close + 1;
  } else {
    next = std::min(commandLine.find_first_of(u" \t"), commandLine.size());
    parts.program = commandLine.substr(0, next);
  }
  next = std::min(commandLine.find_first_not_of(u" \t", next), commandLine.size());
  parts.argument = commandLine.substr(next);
  return parts;
}

Text ProgramFileOf(TextView commandLine, TextView systemFolder) {
  Text name(SplitCommandLine(commandLine).program);
  if (name.find_first_of(u"\\/:") != Text::npos) return name;
  if (name.find(u'.') == Text::npos) name += u".exe";
  return Text(systemFolder) + u"\\" + name;
}

}  // namespace vexa
