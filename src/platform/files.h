#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/platform_error.h"
#include "platform/text.h"
#include "platform/text_file_format.h"

namespace vexa {

// Attribute bits of a file-presence test. Ordinary and read-only files always match;
// hidden and system files only when their bit is in the mask; folders never.
enum FileAttribute : std::uint32_t {
  kAttrNormal = 0,
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
};

// A new file refused by Commit because its content is not the content its target must have
// (a pinned SHA-256 differs, or the installer is not signed by the vendor). The message names
// the file for the error box; `what` was compared ("SHA-256", "signer"), and the values
// expected and found, for the log.
class ContentMismatch : public PlatformError {
 public:
  ContentMismatch(Text message, Text expected, Text found, Text what = u"SHA-256")
      : PlatformError(std::move(message)),
        expected(std::move(expected)),
        found(std::move(found)),
        what(std::move(what)) {}
  Text expected;
  Text found;
  Text what;
};

// A new version of a file, written beside it and put in its place by Commit. Destroyed
// without Commit, it leaves the old file as it was and nothing of the new one behind.
class FileReplacement {
 public:
  virtual ~FileReplacement() = default;
  virtual void Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Closes the new file and moves it over the target in one step. Throws ContentMismatch,
  // and leaves the target as it was and nothing of the new file behind, when the new file is
  // not what the target must hold.
  virtual void Commit() = 0;
};

// A text file's first line and the encoding it was read in.
struct FirstLine {
  Text text;
  TextEncoding encoding = TextEncoding::Ansi;
};

class Files {
 public:
  virtual ~Files() = default;
  virtual bool Exists(const Text& path, std::uint32_t attributeMask) const = 0;
  // The characters up to the first CR (FirstLineOf), read in the encoding the file's byte
  // order mark names, else in the ANSI code page. Throws PlatformError when the file holds no
  // byte at all.
  virtual FirstLine ReadFirstLine(const Text& path) = 0;
  // Puts a file holding the line in the ANSI code page, then CR LF, in the place of whatever
  // has that name (a file of any attributes, a link: replaced, never written through).
  virtual void WriteLine(const Text& path, const Text& line) = 0;
  // Deletes the file, read-only, hidden or system as it may be; one that is not there (any
  // more) counts as deleted. A link of that name goes, not what it points at.
  virtual void Delete(const Text& path) = 0;
  virtual std::unique_ptr<FileReplacement> BeginReplace(const Text& path) = 0;
};

}  // namespace vexa
