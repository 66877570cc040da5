// Reading an answer's headers on any bytes (transfer/http_response.h). Invariants, each from
// the input alone:
// - a header's value is found in the raw headers after the status line, with no blank at
//   either end and no line break in it;
// - a range answer's length is given only for "bytes <from>-<total - 1>/<total>" with the
//   asked `from` and the known total: it is then total - from, at least 1.
#include <string>

#include "fuzz_text.h"
#include "transfer/download_attempts.h"
#include "transfer/http_response.h"

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const Text name = FuzzText(in, 24);
  const Text raw = FuzzText(in, 2048);
  const Text value = HeaderValue(raw, name);
  if (!value.empty()) {
    const std::size_t statusEnd = raw.find(u"\r\n");
    FUZZ_CHECK(statusEnd != Text::npos && raw.find(value, statusEnd + 2) != Text::npos);
    FUZZ_CHECK(value.front() != u' ' && value.front() != u'\t');
    FUZZ_CHECK(value.back() != u' ' && value.back() != u'\t');
    FUZZ_CHECK(value.find(u"\r\n") == Text::npos);
  }

  // Half the time a well-formed range around the asked numbers, else any text.
  const auto from = in.ConsumeIntegralInRange<std::int64_t>(0, 1'000'000'000'000'000'000);
  const auto total = in.ConsumeIntegralInRange<std::int64_t>(0, 1'000'000'000'000'000'000);
  Text range = FuzzText(in, 64);
  if (in.ConsumeBool()) {
    const auto first = in.ConsumeBool() ? from : in.ConsumeIntegral<std::int64_t>();
    const auto last = in.ConsumeBool() ? total - 1 : in.ConsumeIntegral<std::int64_t>();
    const auto whole = in.ConsumeBool() ? total : in.ConsumeIntegral<std::int64_t>();
    range = AsciiText("bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                      std::to_string(whole));
  }
  if (const auto part = RangePartLength(range, from, total)) {
    FUZZ_CHECK(*part == total - from && *part >= 1 && RangeIs(range, from, total));
  }
  return 0;
}
