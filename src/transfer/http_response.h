#pragma once

#include <cstdint>
#include <optional>

#include "platform/text.h"
#include "platform/transfer.h"

namespace vexa {

// How the transfer control reads a response, apart from the library that fetches it.

// The value of the first header called `name` (ASCII letter case ignored, blanks around it
// trimmed) in raw response headers ("HTTP/1.1 200 OK\r\nName: value\r\n..."), or the empty
// text when there is none.
Text HeaderValue(TextView rawHeaders, TextView name);

// The schemes a login's challenge offers ("Basic", "NTLM", "Negotiate", ...), from every
// header called `name` (Proxy-Authenticate or WWW-Authenticate) in raw response headers, in
// order, separated by ", "; the empty text when there is none. A header may hold several
// challenges, each a scheme followed by its parameters (name=value, commas between them).
Text AuthSchemes(TextView rawHeaders, TextView name);

// A "Content-Length" value read strictly, to tell a whole body from a cut one: only a plain
// count of decimal digits (at most 18) is believed; anything else is no announcement, and the
// body then counts as whole. The window reads the same header more leniently, like a number
// ("2047.5", a sign, blanks), for its bar: a bar may round, a verdict on a cut body may not.
std::optional<std::int64_t> StrictLength(TextView value);

// The transfer state of a WinINet status-callback code (INTERNET_STATUS_RESOLVING_NAME 10 to
// INTERNET_STATUS_CONNECTION_CLOSED 51), or icNone for codes that are no state.
TransferState StateOfInternetStatus(std::uint32_t status);

}  // namespace vexa
