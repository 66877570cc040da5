#pragma once

// What the fuzz targets share: texts made from the fuzzer's bytes, and a check that stops the
// run with the input when an invariant breaks.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "platform/text.h"

namespace vexa {

// A text of up to `most` characters: mostly ASCII (so headers, digits and line breaks come
// up often), now and then any 16-bit unit.
inline Text FuzzText(FuzzedDataProvider& in, std::size_t most) {
  const std::string bytes = in.ConsumeRandomLengthString(most);
  Text text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0xFF && i + 2 < bytes.size()) {
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                    static_cast<unsigned char>(bytes[i + 2]));
      i += 2;
    } else {
      text += static_cast<char16_t>(byte);
    }
  }
  return text;
}

// Whether `range` is "bytes <first>-<total - 1>/<total>" (1 to 18 digits each, leading zeros
// allowed).
inline bool RangeIs(const Text& range, std::int64_t first, std::int64_t total) {
  static const std::regex form("bytes ([0-9]{1,18})-([0-9]{1,18})/([0-9]{1,18})");
  std::smatch m;
  const std::string text = ToUtf8(range);
  return std::regex_match(text, m, form) && std::stoll(m[1]) == first &&
         std::stoll(m[2]) == total - 1 && std::stoll(m[3]) == total;
}

#define FUZZ_CHECK(ok)                                                        \
  do {                                                                        \
    if (!(ok)) {                                                              \
      std::fprintf(stderr, "invariant broken, line %d: %s\n", __LINE__, #ok); \
      std::abort();                                                           \
    }                                                                         \
  } while (false)

}  // namespace vexa
