#include "platform/system_environment.h"

#include <algorithm>
#include <vector>

namespace vexa {
namespace {

char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Windows sorts an environment block by name as if in upper case, code unit by code unit.
bool NameBefore(const Text& a, const Text& b) {
  const TextView nameA = TextView(a).substr(0, a.find(u'='));
  const TextView nameB = TextView(b).substr(0, b.find(u'='));
  return std::lexicographical_compare(
      nameA.begin(), nameA.end(), nameB.begin(), nameB.end(),
      [](char16_t x, char16_t y) { return AsciiUpper(x) < AsciiUpper(y); });
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
  Text block;
  for (const Text& variable : variables) {
    block += variable;
    block += u'\0';
  }
  block += u'\0';
  return block;
}

}  // namespace vexa
