#include "platform/win32/files/background_writer.h"

#include <algorithm>
#include <utility>

#include "platform/win32/files/protected_files.h"
#include "platform/win32/win_error.h"

namespace vexa {

BackgroundWriter::BackgroundWriter(HANDLE file, Text action, Text path)
    : action_(std::move(action)), path_(std::move(path)), file_(file) {
  spare_.reserve(kMostPending + 1);  // so giving a block back never allocates
}

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    pending_ -= full_.size();
    full_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundWriter::Write(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    if (filling_.capacity() == 0) filling_.reserve(kBlock);
    const std::size_t part = std::min(count, kBlock - filling_.size());
    filling_.insert(filling_.end(), bytes, bytes + part);
    bytes += part;
    count -= part;
    if (filling_.size() == kBlock) HandOver();
  }
}

void BackgroundWriter::Finish() {
  if (!filling_.empty()) HandOver();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == 0 || error_ != ERROR_SUCCESS; });
  lock.unlock();
  ThrowIfFailed();
}

// Gives the filled block to the thread and takes a spare one (blocks are reused: a fresh
// megabyte costs page faults on every use).
void BackgroundWriter::HandOver() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_ < kMostPending || error_ != ERROR_SUCCESS; });
  if (error_ != ERROR_SUCCESS) {
    lock.unlock();
    ThrowIfFailed();
  }
  if (!thread_.joinable()) thread_ = std::thread(&BackgroundWriter::WriteBlocks, this);
  full_.push_back(std::move(filling_));
  ++pending_;
  if (spare_.empty()) {
    filling_ = {};
  } else {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
}

void BackgroundWriter::ThrowIfFailed() {
  DWORD error;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    error = error_;
  }
  if (error != ERROR_SUCCESS) throw SystemError(error, action_, path_);
}

void BackgroundWriter::WriteBlocks() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !full_.empty(); });
    if (full_.empty()) return;
    std::vector<std::uint8_t> block = std::move(full_.front());
    full_.pop_front();
    lock.unlock();
    const DWORD error = WriteFully(file_, block.data(), block.size());
    block.clear();
    lock.lock();
    spare_.push_back(std::move(block));
    --pending_;
    if (error != ERROR_SUCCESS) {
      error_ = error;
      pending_ -= full_.size();
      full_.clear();
    }
    changed_.notify_all();
  }
}

}  // namespace vexa
