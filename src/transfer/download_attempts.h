#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/text.h"
#include "platform/transfer.h"

namespace vexa {

// The attempts of one download: which failures are tried again and after how long, and when
// a body cut short is continued with a range request instead of fetched again from its start.
// The transfer control asks and does what the answers say; nothing here waits or reads.
//
// A cut body is continued only when the answer it came in allows it: a 200 with
// "Accept-Ranges: bytes", a validator (a strong ETag, else Last-Modified) and a plain length.
// The next attempt asks "Range: bytes=N-" with "If-Range: <validator>", so a file that changed
// on the server comes whole (200) and is never spliced with the old one.
class DownloadAttempts {
 public:
  static constexpr int kMostAttempts = kMostRetries + 1;  // the first and the retries
  static constexpr int kLongestWaitSeconds = 30;

  // Why an attempt ended without the whole body.
  enum class Failure {
    kNetwork,   // no response: refused, reset or aborted, a name not resolved, a time-out
    kCutShort,  // the body stopped early: fewer bytes than announced, or a read error
    kBusy,      // 408, 429, 500, 502, 503 or 504: the server is busy or in trouble
    kRange,     // our range request refused (416) or answered with a part that doesn't fit
    // Nothing a new attempt at the same site can mend:
    kGone,       // the site lacks the file or can't serve it: 404, 410, a 5xx not above
    kUntrusted,  // a certificate or TLS failure, a redirect from https to http
    kFinal,      // anything else: another status, an address WinINet can't use, ...
  };

  // Whether a new attempt at the same site may mend `failure`: the failures tried again.
  static constexpr bool MayPass(Failure failure) {
    return failure == Failure::kNetwork || failure == Failure::kCutShort ||
           failure == Failure::kBusy || failure == Failure::kRange;
  }

  // What the next request asks for: the body from byte `from` (0: all of it, no range).
  struct Request {
    std::int64_t from = 0;
    Text validator;  // for If-Range, when `from` > 0
  };

  // What to do with an answer's body.
  struct Verdict {
    enum Kind { kTakeWhole, kAppend, kFail } kind = kFail;
    Failure failure = Failure::kFinal;       // of kFail
    std::optional<std::int64_t> retryAfter;  // seconds a 429 or 503 asked to wait
    Text why;                                // for the log: how the answer was read
  };

  DownloadAttempts() = default;
  // The attempts of a body kept from an earlier run, as the 200 it came in described it (a
  // PartialRecord's validator and total): the first request continues it.
  DownloadAttempts(Text validator, std::int64_t total)
      : validator_(std::move(validator)), total_(total) {}

  // 1 for the first attempt.
  int Attempt() const { return attempt_; }

  // Whether the body being fetched could be continued later, as its last 200 described it:
  // its bytes are worth keeping as they arrive.
  bool Resumable() const { return !validator_.empty(); }
  // Whether `inHand` bytes of it can be continued: kept when the transfer ends without them
  // all, to be asked for from there.
  bool CanContinue(std::int64_t inHand) const { return NextRequest(inHand).from > 0; }
  const Text& Validator() const { return validator_; }
  std::int64_t Total() const { return total_; }

  // The request of the current attempt, given how many body bytes are in hand. Bytes that
  // can't be continued are to be discarded by the caller when this asks from 0.
  Request NextRequest(std::int64_t inHand) const;

  // The answer of the current attempt, asked as `asked`: its status and raw headers ("HTTP/1.1
  // 200 OK\r\nName: value\r\n...").
  Verdict OnAnswer(const Request& asked, std::uint32_t status, TextView headers);

  // The current attempt failed. Returns the seconds to wait before the next one (2, 4, 8, or
  // what a server asked for with Retry-After, at most kLongestWaitSeconds), or nothing when
  // there is none: the failure is final, or the attempts are used up.
  std::optional<int> AfterFailure(Failure failure,
                                  std::optional<std::int64_t> retryAfter = std::nullopt);

 private:
  int attempt_ = 1;
  // The body being fetched, as its last whole answer (200) described it; a cut body is
  // continued only while `validator_` is set.
  Text validator_;
  std::int64_t total_ = 0;
};

// Why a request got no answer, from WinINet's error number: the network's failures that may
// pass (a time-out 12002, a name not resolved 12007, a connection refused 12029, aborted
// 12030 or reset 12031, no answer that can be read 12152) are kNetwork; a certificate or TLS
// failure, or a redirect from https to http, is kUntrusted: never retried, never overridden;
// every other one is kFinal.
DownloadAttempts::Failure FailureOfInternetError(std::uint32_t error);

// The body length a "Content-Range: bytes first-last/total" answer names, when it answers a
// request from `from` on and the whole is `total` bytes; nothing when it does not fit.
std::optional<std::int64_t> RangePartLength(TextView contentRange, std::int64_t from,
                                            std::int64_t total);

}  // namespace vexa
