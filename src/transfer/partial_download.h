#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace vexa {

// A body cut short and kept for a later run, so that a slow download closed at 40 % goes on
// from there: where it came from, the version of the file it belongs to, and how much of it is
// in hand. It is continued only as DownloadAttempts continues a body within a run: with
// "Range: bytes=<length>-" and "If-Range: <validator>", so a file that changed comes whole.
struct PartialRecord {
  Text url;
  Text validator;           // a strong ETag, else Last-Modified
  std::int64_t total = 0;   // the whole body's length
  std::int64_t length = 0;  // the bytes in hand, from the body's first
  std::int64_t keptAt = 0;  // when they were kept: seconds since 1970-01-01 00:00 UTC
  Text headers;             // the raw headers of the 200 that began the body
};

// A partial older than this is given up: a file that changed since would come whole anyway,
// and the space is the system's.
inline constexpr std::int64_t kPartialLifeSeconds = 7 * 24 * 60 * 60;

// The record as the bytes of its file: one line "<name> <value>" a field after a first line
// that names the format; characters outside printable ASCII, and "\", as "\uXXXX".
std::string RecordBytes(const PartialRecord& record);
// The record in a file's bytes; nothing when they are not exactly what RecordBytes writes.
std::optional<PartialRecord> ParseRecord(std::string_view bytes);

// Why the partial of `url` can't be continued, for the log; "" when it can. `record` is what
// its record file held (nothing: no record, or none that could be read), `kept` the length of
// the file of its bytes (which may hold more than its record names, never less), `now` seconds
// since 1970 as for keptAt. A record of the whole body (length == total) keeps a body that has
// not taken its place yet.
Text PartialProblem(const std::optional<PartialRecord>& record, TextView url, std::int64_t kept,
                    std::int64_t now);

// The file name (without extension) of the partial of `url`: the same address always gives the
// same name, so there is never more than one partial per address. (Two addresses that share a
// name replace each other's partial; the record tells them apart.)
Text PartialName(TextView url);

}  // namespace vexa
