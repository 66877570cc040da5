#include "platform/win32/received_body.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/failure_texts.h"
#include "platform/win32/background_writer.h"
#include "platform/win32/protected_files.h"
#include "platform/win32/win_error.h"

namespace vexa {

void ReceivedBody::Append(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t inMemory = std::min(count, kMemoryLimit - memory_.size());
  memory_.insert(memory_.end(), bytes, bytes + inMemory);
  size_ += static_cast<std::int64_t>(inMemory);
  bytes += inMemory;
  count -= inMemory;
  while (count > 0) {
    if (segments_.empty() || segments_.back().size == kSegmentSize) AddSegment();
    Segment& segment = segments_.back();
    const std::size_t part =
        static_cast<std::size_t>(std::min<std::int64_t>(count, kSegmentSize - segment.size));
    const DWORD error = WriteFully(segment.file.Get(), bytes, part);
    if (error != ERROR_SUCCESS) {
      throw SystemError(error, failure::kCannotWriteSpoolFile, FromWide(segment.path));
    }
    segment.size += static_cast<std::int64_t>(part);
    size_ += static_cast<std::int64_t>(part);
    bytes += part;
    count -= part;
  }
}

void ReceivedBody::Clear() {
  memory_.clear();
  segments_.clear();  // closing a spool file deletes it
  size_ = 0;
  readPosition_ = 0;
  readBuffer_.clear();
  readBufferPosition_ = 0;
}

void ReceivedBody::Read(std::size_t count, std::vector<std::uint8_t>& chunk) {
  chunk.clear();
  count = static_cast<std::size_t>(std::min<std::int64_t>(count, size_ - readPosition_));
  chunk.reserve(count);
  if (readPosition_ < static_cast<std::int64_t>(memory_.size())) {
    const std::size_t from = static_cast<std::size_t>(readPosition_);
    const std::size_t part = std::min(count, memory_.size() - from);
    chunk.insert(chunk.end(), memory_.begin() + from, memory_.begin() + from + part);
  }
  while (chunk.size() < count) {
    if (readBufferPosition_ == readBuffer_.size()) RefillReadBuffer();
    const std::size_t part =
        std::min(count - chunk.size(), readBuffer_.size() - readBufferPosition_);
    const auto from = readBuffer_.begin() + readBufferPosition_;
    chunk.insert(chunk.end(), from, from + part);
    readBufferPosition_ += part;
  }
  readPosition_ += static_cast<std::int64_t>(count);
}

void ReceivedBody::AddSegment() {
  static std::atomic<unsigned> counter{0};
  if (folder_.empty()) folder_ = RunFolder();
  for (;;) {
    Segment segment;
    segment.path = folder_ + L"vexa-" + ToWide(DecimalText(GetCurrentProcessId())) + L"-" +
                   ToWide(DecimalText(++counter)) + L".tmp";
    segment.file.Reset(CreateFileW(
        segment.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (segment.file.Valid()) {
      segments_.push_back(std::move(segment));
      return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS)
      throw SystemError(error, failure::kCannotCreateSpoolFile, FromWide(segment.path));
  }
}

void ReceivedBody::RefillReadBuffer() {
  if (segments_.empty()) throw SystemError(ERROR_HANDLE_EOF, failure::kCannotReadSpool, u"");
  Segment& segment = segments_.front();
  // The read names its offset: the file's own position is where the writing ended.
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(segment.read);
  at.OffsetHigh = static_cast<DWORD>(segment.read >> 32);
  readBuffer_.resize(kBodyBlock);
  DWORD read = 0;
  if (!ReadFile(segment.file.Get(), readBuffer_.data(), static_cast<DWORD>(readBuffer_.size()),
                &read, &at)) {
    const DWORD error = GetLastError();
    throw SystemError(error, failure::kCannotReadSpoolFile, FromWide(segment.path));
  }
  if (read == 0)
    throw SystemError(ERROR_HANDLE_EOF, failure::kCannotReadSpoolFile, FromWide(segment.path));
  readBuffer_.resize(read);
  readBufferPosition_ = 0;
  segment.read += read;
  // A segment read to its end is closed at once: that deletes its file.
  if (segment.read == segment.size) segments_.pop_front();
}

}  // namespace vexa
