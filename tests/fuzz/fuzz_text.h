#pragma once

// What the fuzz targets share: texts made from the fuzzer's bytes, and a check that stops the
// run with the input when an invariant breaks.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
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

// Whether `range` is "bytes <first>-<total - 1>/<total>" (digits, leading zeros allowed).
inline bool RangeIs(const Text& range, std::int64_t first, std::int64_t total) {
  const std::string text = ToUtf8(range);
  if (text.rfind("bytes ", 0) != 0) return false;
  std::int64_t numbers[3] = {};
  std::size_t at = 6;
  for (int i = 0; i < 3; ++i) {
    const std::size_t end = text.find_first_not_of("0123456789", at);
    const std::size_t digits = (end == std::string::npos ? text.size() : end) - at;
    if (digits == 0 || digits > 18) return false;
    numbers[i] = std::stoll(text.substr(at, digits));
    at += digits;
    const char next = i == 0 ? '-' : i == 1 ? '/' : '\0';
    if (i < 2 ? (at >= text.size() || text[at] != next) : at != text.size()) return false;
    ++at;
  }
  return numbers[0] == first && numbers[1] == total - 1 && numbers[2] == total;
}

#define FUZZ_CHECK(ok)                                                        \
  do {                                                                        \
    if (!(ok)) {                                                              \
      std::fprintf(stderr, "invariant broken, line %d: %s\n", __LINE__, #ok); \
      std::abort();                                                           \
    }                                                                         \
  } while (false)

}  // namespace vexa
