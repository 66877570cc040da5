#include "transfer/download_attempts.h"

#include <algorithm>

#include "transfer/http_response.h"

namespace vexa {
namespace {

// Statuses of a server that is busy or in trouble for a moment.
bool IsPassingStatus(std::uint32_t status) {
  for (std::uint32_t passing : {408u, 429u, 500u, 502u, 503u, 504u}) {
    if (status == passing) return true;
  }
  return false;
}

}  // namespace

DownloadAttempts::Failure FailureOfInternetError(std::uint32_t error) {
  for (std::uint32_t passing : {12002u, 12007u, 12029u, 12030u, 12031u, 12152u}) {
    if (error == passing) return DownloadAttempts::Failure::kNetwork;
  }
  // Certificates: its date 12037, its name 12038, one asked for 12044, its authority 12045,
  // errors 12055, revocation 12056/12057/12170, invalid 12169, weak 12179; the secure channel
  // 12157, decryption 12175; a redirect from https to http 12040.
  for (std::uint32_t untrusted : {12037u, 12038u, 12040u, 12044u, 12045u, 12055u, 12056u, 12057u,
                                  12157u, 12169u, 12170u, 12175u, 12179u}) {
    if (error == untrusted) return DownloadAttempts::Failure::kUntrusted;
  }
  return DownloadAttempts::Failure::kFinal;
}

std::optional<std::int64_t> RangePartLength(TextView contentRange, std::int64_t from,
                                            std::int64_t total) {
  constexpr TextView kUnit = u"bytes ";
  if (contentRange.substr(0, kUnit.size()) != kUnit) return std::nullopt;
  const TextView range = contentRange.substr(kUnit.size());
  const std::size_t dash = range.find(u'-');
  const std::size_t slash = range.find(u'/');
  if (dash == TextView::npos || slash == TextView::npos || slash < dash) return std::nullopt;
  const auto first = StrictLength(range.substr(0, dash));
  const auto last = StrictLength(range.substr(dash + 1, slash - dash - 1));
  const auto whole = StrictLength(range.substr(slash + 1));
  if (!first || !last || !whole) return std::nullopt;
  if (*first != from || *whole != total || *last != total - 1 || *first > *last) {
    return std::nullopt;
  }
  return *last - *first + 1;
}

DownloadAttempts::Request DownloadAttempts::NextRequest(std::int64_t inHand) const {
  if (validator_.empty() || inHand <= 0 || inHand >= total_) return {};
  return {inHand, validator_};
}

DownloadAttempts::Verdict DownloadAttempts::OnAnswer(const Request& asked, std::uint32_t status,
                                                     TextView headers) {
  const bool ranged = asked.from > 0;
  if (status == 200) {
    // The body this answer describes can be continued later only if the server says how.
    const Text etag = HeaderValue(headers, u"ETag");
    const bool strongTag = !etag.empty() && etag.rfind(u"W/", 0) != 0;
    const auto length = StrictLength(HeaderValue(headers, u"Content-Length"));
    const bool ranges = EqualIgnoringAsciiCase(HeaderValue(headers, u"Accept-Ranges"), u"bytes");
    validator_ = strongTag ? etag : HeaderValue(headers, u"Last-Modified");
    if (!ranges || !length || *length == 0) validator_.clear();
    total_ = length.value_or(0);
    return {Verdict::kTakeWhole,
            {},
            {},
            ranged ? Text(u"200 on a range request: started over from byte 0 (the server "
                          u"ignored the range, or the file changed)")
                   : Text(u"200")};
  }
  Verdict failed{Verdict::kFail, Failure::kFinal, {}, u"HTTP status " + DecimalText(status)};
  if (ranged && (status == 206 || status == 416)) {
    const Text range = HeaderValue(headers, u"Content-Range");
    if (status == 206 && RangePartLength(range, asked.from, total_)) {
      return {Verdict::kAppend,
              {},
              {},
              u"206: resumed at " + DecimalText(asked.from) + u" of " + DecimalText(total_) +
                  u" bytes"};
    }
    if (status == 206)
      failed.why = u"206 with a Content-Range that does not fit: \"" + range + u"\"";
    failed.failure = Failure::kRange;
    validator_.clear();  // the next attempt starts over
  } else if (IsPassingStatus(status)) {
    failed.failure = Failure::kBusy;
    if (status == 429 || status == 503) {
      failed.retryAfter = StrictLength(HeaderValue(headers, u"Retry-After"));
    }
  } else if (status == 404 || status == 410 || (status >= 500 && status < 600)) {
    failed.failure = Failure::kGone;
  }
  return failed;
}

std::optional<int> DownloadAttempts::AfterFailure(Failure failure,
                                                  std::optional<std::int64_t> retryAfter) {
  if (!MayPass(failure) || attempt_ >= kMostAttempts) return std::nullopt;
  const int wait = retryAfter ? static_cast<int>(std::min<std::int64_t>(*retryAfter,
                                                                        kLongestWaitSeconds))
                              : 1 << attempt_;  // 2, 4 and 8 s
  ++attempt_;
  return wait;
}

}  // namespace vexa
