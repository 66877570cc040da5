#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/log.h"
#include "platform/win32/win_handle.h"
#include "transfer/partial_download.h"

namespace vexa {

// Where bodies that can be continued are kept as they arrive, for a later attempt or run
// (transfer/partial_download.h): "%SystemRoot%\Temp\vexa-partials\", a folder the program
// owns, with the protected DACL: standard users can't put a partial there for the program to
// continue, nor read one. Per address one pair of files, named by PartialName: "<name>.part"
// the bytes from the body's first, "<name>.rec" its record, which names only bytes already on
// the disk (the file may hold more, which a crash may have left unwritten: they are cut off);
// a record is written whole under "<name>.new" and then moved over the old one, so a power cut
// leaves the old record or the new one, never half of one. A record of the whole body keeps a
// body that has not taken its place yet. The store only keeps and finds; whether a body is
// kept or continued is DownloadAttempts' rule, and whether a partial is usable
// PartialProblem's. Everything here is logged, and nothing here fails the program: where the
// store can't be used, nothing is kept.
class PartialStore {
 public:
  // The bytes of a partial that can be continued, and its record.
  struct Found {
    UniqueHandle file;  // read, write and delete access; its whole content is the bytes in hand
    PartialRecord record;
  };

  explicit PartialStore(Log& log) : log_(log) {}
  PartialStore(const PartialStore&) = delete;
  PartialStore& operator=(const PartialStore&) = delete;

  // Window's thread, once, before the first request: makes sure the folder is the program's
  // own (anything else of its name, a user's folder, a link or a file, is replaced by a new
  // folder), then deletes every partial that can't be continued (PartialProblem), saying why.
  // Afterwards the requests' workers use the store, each for its own address.
  void Prepare();

  // The partial of `url`, when there is one that can be continued, its file cut to what its
  // record names. A whole body's comes without its last byte, so that the request that
  // continues it asks the server whether it is still the same file (If-Range) and gets one byte.
  // One that can't be continued is deleted.
  std::optional<Found> Take(const Text& url);
  // A new, empty file for the body of `url`, in the place of an earlier partial of it; an empty
  // handle when the store can't be used.
  UniqueHandle Begin(const Text& url);
  // Records what the partial's file holds, once those bytes are on the disk; false (with the
  // system's reason in GetLastError) when it could not be written.
  bool Keep(const PartialRecord& record);
  // Deletes the record of `url`'s partial: its file is about to change, or go.
  void Forget(const Text& url);

  // Where the bytes of `url`'s partial are, for errors.
  Text BytesPath(const Text& url) const;

  // Seconds since 1970-01-01 00:00 UTC, as records count them.
  static std::int64_t Now();
  // A record's time as the local date and time, for the log.
  static Text LocalTimeText(std::int64_t seconds);

 private:
  std::wstring PathOf(const Text& url, const wchar_t* extension) const;
  std::optional<PartialRecord> ReadRecord(const std::wstring& path) const;
  void DeletePair(const std::wstring& name) const;

  Log& log_;
  bool prepared_ = false;
  std::wstring folder_;  // with a trailing separator; empty when the store can't be used
};

}  // namespace vexa
