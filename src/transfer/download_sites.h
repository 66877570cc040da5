#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "platform/text.h"
#include "transfer/download_attempts.h"

namespace vexa {

// The download site and its mirrors, further sites that hold the same files under the same
// paths. A request tries them in turn from where it begins, each once, with the attempts
// DownloadAttempts allows at each; it goes on to the next when a site can't give the file:
// its attempts used up for a reason that may pass, the file missing or unservable there (404,
// 410, a 5xx that is not tried again), or the site not trusted (a certificate, TLS, a redirect
// to http). Any other failure (403, an empty answer, a body longer than announced, ...) would
// be the same anywhere: the request ends. An item begins at the site that last gave a whole
// file, so one dead site costs its time once, not for every item.
class DownloadSites {
 public:
  // `bases`: the download site's root address first, then the mirrors', in order.
  explicit DownloadSites(std::vector<Text> bases) : bases_(std::move(bases)) {}
  DownloadSites(const DownloadSites&) = delete;
  DownloadSites& operator=(const DownloadSites&) = delete;

  std::size_t Count() const { return bases_.size(); }
  const Text& Base(std::size_t site) const { return bases_.at(site); }
  // The address of `url` (an address under the first base) at `site`; an address under no
  // base is the same at every site.
  Text AddressAt(const Text& url, std::size_t site) const;
  // The site after `site`, the first after the last.
  std::size_t After(std::size_t site) const { return (site + 1) % bases_.size(); }

  // Any thread: where an item's request begins, and that `site` gave a whole file.
  std::size_t Start() const { return start_.load(); }
  void Worked(std::size_t site) { start_ = site; }

  // Whether a request whose attempts at a site ended with `failure` goes on to the next site.
  static bool MovesOn(DownloadAttempts::Failure failure) {
    return DownloadAttempts::MayPass(failure) || failure == DownloadAttempts::Failure::kGone ||
           failure == DownloadAttempts::Failure::kUntrusted;
  }

 private:
  const std::vector<Text> bases_;
  std::atomic<std::size_t> start_{0};
};

}  // namespace vexa
