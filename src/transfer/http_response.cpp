#include "transfer/http_response.h"

namespace vexa {
namespace {

TextView TrimBlanks(TextView text) {
  const std::size_t first = text.find_first_not_of(u" \t");
  if (first == TextView::npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

// Calls `found(value)` for each header called `name`, in order, until it returns true.
template <class Found>
void FindHeaders(TextView rawHeaders, TextView name, Found found) {
  std::size_t start = rawHeaders.find(u"\r\n");  // past the status line
  while (start != TextView::npos) {
    start += 2;
    const std::size_t end = rawHeaders.find(u"\r\n", start);
    const TextView line = rawHeaders.substr(start, end == TextView::npos ? end : end - start);
    const std::size_t colon = line.find(u':');
    if (colon != TextView::npos &&
        EqualIgnoringAsciiCase(TrimBlanks(line.substr(0, colon)), name) &&
        found(TrimBlanks(line.substr(colon + 1)))) {
      return;
    }
    start = end;
  }
}

}  // namespace

Text HeaderValue(TextView rawHeaders, TextView name) {
  Text value;
  FindHeaders(rawHeaders, name, [&value](TextView found) {
    value = Text(found);
    return true;
  });
  return value;
}

Text AuthSchemes(TextView rawHeaders, TextView name) {
  Text schemes;
  FindHeaders(rawHeaders, name, [&schemes](TextView value) {
    // Items between commas outside quotes: a scheme (with its first parameter, or a token, after
    // a blank) or a further parameter of the scheme before it ("name=value").
    bool quoted = false;
    std::size_t itemStart = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
      if (i < value.size() && value[i] == u'"') quoted = !quoted;
      if (i < value.size() && (value[i] != u',' || quoted)) continue;
      const TextView item = TrimBlanks(value.substr(itemStart, i - itemStart));
      itemStart = i + 1;
      const TextView token = item.substr(0, item.find_first_of(u" \t="));
      if (!token.empty() && (token.size() == item.size() || item[token.size()] != u'=')) {
        schemes += (schemes.empty() ? u"" : u", ") + Text(token);
      }
    }
    return false;
  });
  return schemes;
}

std::optional<std::int64_t> StrictLength(TextView value) {
  if (value.empty() || value.size() > 18) return std::nullopt;
  std::int64_t length = 0;
  for (char16_t c : value) {
    if (c < u'0' || c > u'9') return std::nullopt;
    length = length * 10 + (c - u'0');
  }
  return length;
}

TransferState StateOfInternetStatus(std::uint32_t status) {
  // Resolving and resolved name, connecting and connected, sending and sent, receiving and
  // received, closing and closed: 10 11, 20 21, 30 31, 40 41, 50 51 become 1 to 10.
  const std::uint32_t tens = status / 10;
  const std::uint32_t step = status % 10;
  if (tens < 1 || tens > 5 || step > 1) return icNone;
  return static_cast<TransferState>((tens - 1) * 2 + step + 1);
}

}  // namespace vexa
