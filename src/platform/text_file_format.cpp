#include "platform/text_file_format.h"

namespace vexa {

bool FirstLineOf(std::string_view fileBytes, std::string& line) {
  if (fileBytes.empty()) return false;
  line.assign(fileBytes.substr(0, fileBytes.find('\r')));
  return true;
}

std::string OneLineFile(std::string_view line) {
  std::string bytes(line);
  bytes += "\r\n";
  return bytes;
}

}  // namespace vexa
