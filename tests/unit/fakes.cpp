#include "fakes.h"

#include <algorithm>

#include "platform/http_response.h"
#include "platform/text_file_format.h"

namespace vexa {

bool FakeFiles::Exists(const Text& path, std::uint32_t mask) const {
  auto it = entries.find(path);
  if (it == entries.end() || it->second.folder) return false;
  const std::uint32_t picky = it->second.attributes & (kAttrHidden | kAttrSystem);
  return (picky & ~mask) == 0;
}

Text FakeFiles::ReadFirstLine(const Text& path) {
  auto it = entries.find(path);
  if (it == entries.end()) throw PlatformError(u"找不到文件 " + path);
  std::string line;
  if (!FirstLineOf(it->second.bytes, line)) throw PlatformError(u"读取文件时遇到文件尾：" + path);
  return codePage_.FromAnsi(line);
}

// As Windows answers: a read-only file or a folder can't be opened for writing, deleted or
// replaced.
void FakeFiles::RefuseUnwritable(const Text& path, TextView action) const {
  auto it = entries.find(path);
  if (it != entries.end() && (it->second.folder || (it->second.attributes & kAttrReadOnly))) {
    throw PlatformError(Text(action) + path + u"：拒绝访问。");
  }
}

void FakeFiles::WriteLine(const Text& path, const Text& line) {
  RefuseUnwritable(path, u"无法写入文件 ");
  entries[path] = Entry{OneLineFile(codePage_.ToAnsi(line))};
}

void FakeFiles::Delete(const Text& path) {
  RefuseUnwritable(path, u"无法删除文件 ");
  if (entries.erase(path) == 0) throw PlatformError(u"无法删除文件 " + path);
}

void FakeFiles::Put(const Text& path, std::string bytes, std::uint32_t attributes) {
  entries[path] = Entry{std::move(bytes), attributes};
}

namespace {

// Writes into "<target>.tmp" while it is open, as the real one writes beside the target.
class FakeReplacement : public FileReplacement {
 public:
  FakeReplacement(FakeFiles& files, Text target)
      : files_(files), target_(std::move(target)), temp_(target_ + u".tmp") {
    files_.Put(temp_, "");
  }
  ~FakeReplacement() override {
    if (!committed_) files_.entries.erase(temp_);
  }
  void Write(const std::uint8_t* bytes, std::size_t count) override {
    std::string& data = files_.entries.at(temp_).bytes;
    if (files_.failWritesAfter && data.size() + count > *files_.failWritesAfter) {
      throw PlatformError(u"无法写入文件 " + target_);
    }
    data.append(reinterpret_cast<const char*>(bytes), count);
  }
  void Commit() override {
    files_.RefuseUnwritable(target_, u"无法替换文件 ");
    files_.entries[target_] = files_.entries.at(temp_);
    files_.entries.erase(temp_);
    committed_ = true;
  }

 private:
  FakeFiles& files_;
  Text target_, temp_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<FileReplacement> FakeFiles::BeginReplace(const Text& path) {
  return std::make_unique<FakeReplacement>(*this, path);
}

// As FindWindow, the title in any letter case.
std::uint32_t FakeProcesses::FindWindowOwner(const Text& title) {
  for (const Window& w : windows) {
    if (EqualIgnoringAsciiCase(w.title, title)) return w.owner;
  }
  return 0;
}

bool FakeProcesses::Terminate(std::uint32_t processId) {
  if (unopenable.count(processId)) return false;
  terminated.push_back(processId);
  if (!immortal.count(processId)) {
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const Window& w) { return w.owner == processId; }),
                  windows.end());
  }
  return true;
}

void FakeTransfer::GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) {
  ++chunkCalls;
  const std::size_t n = std::min(static_cast<std::size_t>(size), body.size() - position);
  chunk.assign(body.begin() + static_cast<std::ptrdiff_t>(position),
               body.begin() + static_cast<std::ptrdiff_t>(position + n));
  position += n;
}

}  // namespace vexa
