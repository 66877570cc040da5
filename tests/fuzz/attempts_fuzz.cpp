// The attempts of one download (transfer/download_attempts.h) driven through any sequence of
// answers (status and headers) and failures, and the record of a partial
// (transfer/partial_download.h) on any bytes. Invariants, from the input and the HTTP rules:
// - never more than 4 attempts: a wait is given only while fewer than 4 have been made;
// - every wait is 2, 4 or 8 s, or what a 429 or 503 asked for with Retry-After, at most 30 s;
// - a request asks for a range only with a validator, from a byte inside the body the last
//   200 announced;
// - a body is taken whole only from a 200, and continued only from a 206 that answers a
//   request for a range: its Content-Range starts at the byte asked for and ends at that
//   announced total;
// - anything else (a 204, a 206 nobody asked for, any other status) is never taken;
// - a record read from bytes is written back to bytes that read as the same record.
#include <string>

#include "fuzz_text.h"
#include "transfer/download_attempts.h"
#include "transfer/http_response.h"
#include "transfer/partial_download.h"

using namespace vexa;

namespace {

using Verdict = DownloadAttempts::Verdict;
using Failure = DownloadAttempts::Failure;

constexpr std::uint32_t kStatuses[] = {200, 206, 204, 416, 408, 429, 500, 502, 503, 504, 404, 301};

// Raw headers of an answer, each line picked from the input: some well formed around the
// numbers in play, some of any text.
Text Headers(FuzzedDataProvider& in, std::uint32_t status, std::int64_t from, std::int64_t total) {
  Text headers = u"HTTP/1.1 " + DecimalText(status) + u" X\r\n";
  const auto number = [&] {
    return in.ConsumeBool() ? DecimalText(in.ConsumeIntegralInRange<std::int64_t>(0, 1 << 24))
                            : FuzzText(in, 12);
  };
  const int lines = in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < lines; ++i) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
      case 0:
        headers += u"Content-Length: " + number();
        break;
      case 1:
        headers += in.ConsumeBool() ? u"ETag: \"v\"" : u"ETag: " + FuzzText(in, 12);
        break;
      case 2:
        headers += u"Last-Modified: " + FuzzText(in, 30);
        break;
      case 3:
        headers +=
            in.ConsumeBool() ? u"Accept-Ranges: bytes" : u"Accept-Ranges: " + FuzzText(in, 8);
        break;
      case 4:
        headers += u"Content-Range: bytes " +
                   (in.ConsumeBool() ? DecimalText(from) + u"-" + DecimalText(total - 1) + u"/" +
                                           DecimalText(total)
                                     : FuzzText(in, 30));
        break;
      case 5:
        headers += u"Retry-After: " + number();
        break;
      default:
        headers += FuzzText(in, 40);
    }
    headers += u"\r\n";
  }
  return headers;
}

void CheckWait(std::optional<int> wait, int attemptBefore, std::optional<std::int64_t> asked) {
  if (!wait) return;
  FUZZ_CHECK(attemptBefore < 4);
  if (asked) {
    FUZZ_CHECK(*wait == std::min<std::int64_t>(*asked, 30));
  } else {
    FUZZ_CHECK(*wait == 2 || *wait == 4 || *wait == 8);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string recordBytes = in.ConsumeRandomLengthString(256);
  if (const auto record = ParseRecord(recordBytes)) {
    const auto again = ParseRecord(RecordBytes(*record));
    FUZZ_CHECK(again && RecordBytes(*again) == RecordBytes(*record));  // every field written
  }

  DownloadAttempts attempts;
  if (in.ConsumeBool()) {  // continuing a partial kept from an earlier run
    attempts =
        DownloadAttempts(FuzzText(in, 12), in.ConsumeIntegralInRange<std::int64_t>(0, 1 << 24));
  }
  std::int64_t total = attempts.Total();  // the whole body, as the last 200 announced it
  bool over = false;                      // no attempt is left
  for (int step = 0; step < 24 && in.remaining_bytes() > 0; ++step) {
    FUZZ_CHECK(attempts.Attempt() >= 1 && attempts.Attempt() <= 4);
    const int before = attempts.Attempt();
    if (in.ConsumeBool()) {  // a failure without an answer
      const auto failure = static_cast<Failure>(in.ConsumeIntegralInRange(0, 6));
      const std::optional<int> wait = attempts.AfterFailure(failure);
      CheckWait(wait, before, std::nullopt);
      FUZZ_CHECK(!(wait && (!DownloadAttempts::MayPass(failure) || over)));
      over = over || (!wait && DownloadAttempts::MayPass(failure));
      continue;
    }
    const std::int64_t inHand = in.ConsumeIntegralInRange<std::int64_t>(0, total + 2);
    const DownloadAttempts::Request asked = attempts.NextRequest(inHand);
    if (asked.from > 0) {
      FUZZ_CHECK(!asked.validator.empty() && asked.from == inHand && asked.from < total);
    }
    const std::uint32_t status =
        in.ConsumeBool() ? in.PickValueInArray(kStatuses) : in.ConsumeIntegralInRange(100, 599);
    const Text headers = Headers(in, status, asked.from, total);
    const Verdict verdict = attempts.OnAnswer(asked, status, headers);
    if (verdict.kind == Verdict::kTakeWhole) {
      FUZZ_CHECK(status == 200);
      total = StrictLength(HeaderValue(headers, u"Content-Length")).value_or(0);
    } else if (verdict.kind == Verdict::kAppend) {
      FUZZ_CHECK(status == 206 && asked.from > 0 && !asked.validator.empty());
      FUZZ_CHECK(RangeIs(HeaderValue(headers, u"Content-Range"), asked.from, total));
    } else {
      FUZZ_CHECK(status != 200);
      const bool retryAfter = (status == 429 || status == 503) && verdict.retryAfter;
      const std::optional<int> wait = attempts.AfterFailure(verdict.failure, verdict.retryAfter);
      CheckWait(wait, before, retryAfter ? verdict.retryAfter : std::nullopt);
      FUZZ_CHECK(!(wait && over));
      over = over || (!wait && DownloadAttempts::MayPass(verdict.failure));
    }
  }
  return 0;
}
