#include "transfer/download_sites.h"

namespace vexa {

Text DownloadSites::AddressAt(const Text& url, std::size_t site) const {
  const Text& first = bases_.front();
  if (url.compare(0, first.size(), first) != 0 || url.size() == first.size() ||
      url[first.size()] != u'/') {
    return url;
  }
  return Base(site) + url.substr(first.size());
}

}  // namespace vexa
