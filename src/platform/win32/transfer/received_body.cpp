#include "platform/win32/transfer/received_body.h"
#include "platform/win32/code_page_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/win32/elevated_files.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"

namespace vexa {

namespace {

// Reads up to `count` bytes of `file` at `offset` into `into`; the bytes read.
DWORD ReadAt(HANDLE file, std::int64_t offset, std::uint8_t* into, std::size_t count,
             const Text& name) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  if (!ReadFile(file, into, static_cast<DWORD>(count), &read, &at)) {
    const DWORD error = GetLastError();
    throw SystemError(error, failure::kCannotReadSpoolFile, name);
  }
  if (read == 0) throw SystemError(ERROR_HANDLE_EOF, failure::kCannotReadSpoolFile, name);
  return read;
}

}  // namespace

void ReceivedBody::Append(const std::uint8_t* bytes, std::size_t count) {
  if (Kept()) {
    // The file's own position is its end: appends follow one another there. Reads name their
    // offset, and come only once the appending is over (a read by offset moves the position
    // too).
    const DWORD error = WriteFully(kept_.Get(), bytes, count);
    if (error != ERROR_SUCCESS) throw SystemError(error, failure::kCannotWriteSpoolFile, keptPath_);
    size_ += static_cast<std::int64_t>(count);
    return;
  }
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
  if (Kept()) {
    const LARGE_INTEGER start = {};
    if (!SetFilePointerEx(kept_.Get(), start, nullptr, FILE_BEGIN) || !SetEndOfFile(kept_.Get())) {
      throw SystemError(GetLastError(), failure::kCannotWriteSpoolFile, keptPath_);
    }
  }
  keptRead_ = 0;
  memory_.clear();
  segments_.clear();  // closing a spool file deletes it
  size_ = 0;
  readPosition_ = 0;
  readBuffer_.clear();
  readBufferPosition_ = 0;
}

void ReceivedBody::KeepIn(UniqueHandle file, std::int64_t held, Text path) {
  kept_ = std::move(file);
  keptPath_ = std::move(path);
  size_ = held;
  const LARGE_INTEGER end = {};
  SetFilePointerEx(kept_.Get(), end, nullptr, FILE_END);
}

void ReceivedBody::LetGo(bool leave) {
  if (!Kept()) return;
  if (!leave) SetDeleteOnClose(kept_.Get(), true);
  kept_.Reset();
  Clear();
}

bool ReceivedBody::Flush() {
  return !Kept() || FlushFileBuffers(kept_.Get()) != FALSE;
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
  readBuffer_.resize(kBodyBlock);
  readBufferPosition_ = 0;
  if (Kept()) {
    readBuffer_.resize(ReadAt(kept_.Get(), keptRead_, readBuffer_.data(), kBodyBlock, keptPath_));
    keptRead_ += static_cast<std::int64_t>(readBuffer_.size());
    return;
  }
  if (segments_.empty()) throw SystemError(ERROR_HANDLE_EOF, failure::kCannotReadSpool, u"");
  Segment& segment = segments_.front();
  // The read names its offset (the appending is over; the read moves the file's position).
  const DWORD read = ReadAt(segment.file.Get(), segment.read, readBuffer_.data(),
                            readBuffer_.size(), FromWide(segment.path));
  readBuffer_.resize(read);
  segment.read += read;
  // A segment read to its end is closed at once: that deletes its file.
  if (segment.read == segment.size) segments_.pop_front();
}

}  // namespace vexa
