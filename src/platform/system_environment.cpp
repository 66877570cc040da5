#include "platform/system_environment.h"

#include <algorithm>
#include <vector>

namespace vexa {
namespace {

// A variable's name: what comes before its first "=" after the first character (the system's
// own "=C:=C:\folder" names a drive's current folder).
TextView NameOf(TextView variable) {
  return variable.substr(0, variable.find(u'=', 1));
}

// Windows sorts an environment block by name as if in upper case, code unit by code unit.
bool NameBefore(TextView a, TextView b) {
  const TextView nameA = NameOf(a), nameB = NameOf(b);
  return std::lexicographical_compare(
      nameA.begin(), nameA.end(), nameB.begin(), nameB.end(),
      [](char16_t x, char16_t y) { return AsciiUpper(x) < AsciiUpper(y); });
}

// "NAME=value" strings, each ended by a NUL, and a last NUL that ends the block.
Text BlockOf(const std::vector<Text>& variables) {
  Text block;
  for (const Text& variable : variables) {
    block += variable;
    block += u'\0';
  }
  block += u'\0';
  return block;
}

}  // namespace

Text SystemEnvironmentBlock(const SystemFacts& facts) {
  const Text& windows = facts.windowsFolder;
  const Text& system = facts.systemFolder;
  std::vector<Text> variables{
      u"SystemRoot=" + windows,
      u"windir=" + windows,
      u"SystemDrive=" + windows.substr(0, 2),
      u"ComSpec=" + system + u"\\cmd.exe",
      u"PATH=" + system + u";" + windows + u";" + system + u"\\Wbem",
      u"PATHEXT=.COM;.EXE;.BAT;.CMD",
      u"TEMP=" + windows + u"\\Temp",
      u"TMP=" + windows + u"\\Temp",
      u"PROCESSOR_ARCHITECTURE=" + facts.processorArchitecture,
      u"NUMBER_OF_PROCESSORS=" + DecimalText(facts.processors),
  };
  std::sort(variables.begin(), variables.end(), NameBefore);
  return BlockOf(variables);
}

Text WithTemporaryFolder(TextView block, const Text& temporaryFolder) {
  std::vector<Text> variables;
  for (std::size_t at = 0; at < block.size() && block[at] != u'\0';) {
    const std::size_t end = std::min(block.find(u'\0', at), block.size());
    variables.emplace_back(block.substr(at, end - at));
    at = end + 1;
  }
  for (const Text name : {u"TEMP", u"TMP"}) {
    const Text variable = name + u"=" + temporaryFolder;
    bool set = false;
    for (Text& old : variables) {
      if (EqualIgnoringAsciiCase(NameOf(old), name)) {
        old = variable;
        set = true;
      }
    }
    if (!set) {
      const auto later = [&](const Text& v) { return NameBefore(variable, v); };
      variables.insert(std::find_if(variables.begin(), variables.end(), later), variable);
    }
  }
  return BlockOf(variables);
}

}  // namespace vexa
