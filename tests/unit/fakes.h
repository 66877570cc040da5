#pragma once

// Fakes of the platform interfaces that keep everything in memory and record what the
// window did, so tests state what happened rather than how.

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "form/frm_update.h"
#include "platform/linux/iconv_code_page.h"
#include "platform/platform_error.h"
#include "platform/text_file_format.h"
#include "transfer/http_response.h"
#include "window/layout.h"

namespace vexa {

// Lets GoogleTest print texts readably.
inline void PrintTo(const Text& text, std::ostream* os) {
  *os << '"' << ToUtf8(text) << '"';
}

// Thrown by FakeProgramEnd::Now: the program ended at once.
struct ProgramEnded {};

// Controls start as the window's layout has them.
class FakeUi : public Ui {
 public:
  void SetCaption(Control c, const Text& caption) override {
    controls_[c].captions.push_back(caption);
  }
  void SetEnabled(Control c, bool enabled) override { controls_[c].enabled = enabled; }
  void SetFocus(Control c) override { focus = c; }
  void SetVisible(Control c, bool visible) override { controls_[c].visible = visible; }
  void SetForeColor(Control c, OleColor color) override { controls_[c].foreColor = color; }
  float Left(Control c) const override { return static_cast<float>(LayoutOf(c).box.left); }
  // Only the bar (Picture1) is ever resized; the other controls keep the layout's width.
  float Width(Control c) const override {
    if (c == Control::Picture1 && !barWidths.empty()) return barWidths.back();
    return static_cast<float>(LayoutOf(c).box.width);
  }
  void SetWidth(Control c, float twips) override {
    if (c == Control::Picture1) barWidths.push_back(twips);
  }
  float ScaleWidth() const override { return 6195; }
  void SetTaskbarProgress(TaskbarState state, std::int64_t done, std::int64_t total) override {
    taskbar = {state, done, total};
  }
  void Show() override { shown = true; }
  WindowHandle Handle() const override { return 0x1234; }
  void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon) override {
    messageBoxes.emplace_back(text, title, icon);
  }

  // Every caption a control was given, in order.
  std::vector<Text> History(Control c) const { return controls_[c].captions; }
  Text Caption(Control c) const {
    const std::vector<Text>& history = controls_[c].captions;
    return history.empty() ? LayoutOf(c).caption : history.back();
  }
  bool Enabled(Control c) const { return controls_[c].enabled.value_or(true); }
  bool Visible(Control c) const { return controls_[c].visible.value_or(LayoutOf(c).visible); }
  std::optional<OleColor> ForeColor(Control c) const { return controls_[c].foreColor; }

  using Box = std::tuple<Text, Text, MessageIcon>;  // text, title, icon
  std::vector<Box> messageBoxes;
  bool shown = false;
  std::optional<Control> focus;  // the control last given the keyboard focus
  std::vector<float> barWidths;  // every width Picture1 was set to
  std::tuple<TaskbarState, std::int64_t, std::int64_t> taskbar{TaskbarState::None, 0, 0};

 private:
  // What the window set on one control; nothing set: the layout's value.
  struct Changes {
    std::vector<Text> captions;
    std::optional<bool> enabled, visible;
    std::optional<OleColor> foreColor;
  };
  mutable std::map<Control, Changes> controls_;  // a look-up adds an empty record
};

// Files in memory; a folder is never a file.
class FakeFiles : public Files {
 public:
  explicit FakeFiles(const CodePage& codePage) : codePage_(codePage) {}

  bool Exists(const Text& path, std::uint32_t mask) const override {
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.folder) return false;
    return (it->second.attributes & (kAttrHidden | kAttrSystem) & ~mask) == 0;
  }
  FirstLine ReadFirstLine(const Text& path) override {
    FirstLine first;
    std::string line;
    if (!FirstLineOf(Bytes(path), first.encoding, line))
      throw PlatformError(u"读取文件时遇到文件尾：" + path);
    first.text = first.encoding == TextEncoding::Ansi ? codePage_.FromAnsi(line)
                                                      : TextOfUnicode(line, first.encoding);
    return first;
  }
  void WriteLine(const Text& path, const Text& line) override {
    Put(path, OneLineFile(codePage_.ToAnsi(line)));
  }
  // As FilesWin32: attributes cleared first, a file not there counts as deleted.
  void Delete(const Text& path) override { entries_.erase(path); }
  // The new bytes are kept aside and become the file on Commit.
  std::unique_ptr<FileReplacement> BeginReplace(const Text& path) override {
    struct Replacement : FileReplacement {
      Replacement(FakeFiles& files, Text target) : files_(files), target_(std::move(target)) {}
      void Write(const std::uint8_t* bytes, std::size_t count) override {
        if (data_.size() + count > files_.failWritesAfter) {
          throw PlatformError(u"无法写入文件 " + target_);
        }
        data_.append(reinterpret_cast<const char*>(bytes), count);
      }
      void Commit() override {
        auto pin = files_.pinned.find(target_);
        if (pin != files_.pinned.end() && pin->second != data_) {
          throw ContentMismatch(u"文件校验失败：" + target_, AsciiText(pin->second),
                                AsciiText(data_));
        }
        files_.Put(target_, data_);
      }
      FakeFiles& files_;
      Text target_;
      std::string data_;
    };
    return std::make_unique<Replacement>(*this, path);
  }

  void Put(const Text& path, std::string bytes, std::uint32_t attributes = kAttrNormal) {
    entries_[path] = Entry{std::move(bytes), attributes, false};
  }
  void PutFolder(const Text& path) { entries_[path] = Entry{"", kAttrNormal, true}; }
  bool Has(const Text& path) const { return entries_.count(path) != 0; }
  const std::string& Bytes(const Text& path) const { return entries_.at(path).bytes; }
  // Every write to a replacement fails from this many bytes on. No test body comes near the
  // default, which ends a write loop that would not stop.
  std::size_t failWritesAfter = 64 << 20;
  // The only content a replacement of the target may commit; the fake's "digests" in a
  // ContentMismatch are the bodies themselves.
  std::map<Text, std::string> pinned;

 private:
  struct Entry {
    std::string bytes;
    std::uint32_t attributes;
    bool folder;
  };
  std::map<Text, Entry> entries_;
  const CodePage& codePage_;
};

class FakeProcesses : public Processes {
 public:
  void StartHidden(const Text& commandLine) override { started.push_back(commandLine); }
  // As FindWindowEx, the title in any letter case, in the order of `windows`.
  WindowOwner FindWindowOwner(const Text& title, WindowHandle after) override {
    auto it = windows.begin();
    if (after != 0) {
      while (it != windows.end() && it->window != after) ++it;
      if (it != windows.end()) ++it;
    }
    for (; it != windows.end(); ++it) {
      if (EqualIgnoringAsciiCase(it->title, title)) return {it->window, it->owner};
    }
    return {};
  }
  std::uint32_t ShellProcess() override { return shell; }
  std::uint32_t CurrentProcess() override { return self; }
  // Whether the process still owns the window is the platform's check (platform_probe).
  bool Terminate(const WindowOwner& found) override {
    if (found.process == unopenable) return false;
    terminated.push_back(found.process);
    if (found.process == immortal) return true;
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const Window& w) { return w.owner == found.process; }),
                  windows.end());
    return true;
  }

  struct Window {
    WindowHandle window;
    std::uint32_t owner;
    Text title;
  };
  std::vector<Window> windows;   // top-level windows, in the system's order
  std::uint32_t shell = 0;       // the desktop shell's process
  std::uint32_t self = 0;        // the program's own
  std::uint32_t unopenable = 0;  // a process that can't be opened
  std::uint32_t immortal = 0;    // a process that survives termination
  std::vector<Text> started;
  std::vector<std::uint32_t> terminated;
};

class FakeShell : public Shell {
 public:
  void StartInstaller(const Text& path) override { started.push_back(path); }
  bool OpenAsDesktopUser(const Text& address) override {
    if (desktop) openedAsDesktopUser.push_back(address);
    return desktop;
  }
  void Open(WindowHandle owner, const Text& address) override {
    opened.emplace_back(owner, address);
  }
  Text SpecialFolderPath(std::int32_t csidl) override { return folders.at(csidl); }

  using Opened = std::pair<WindowHandle, Text>;  // the owner window, the address
  std::vector<Text> started;                     // installers
  std::vector<Text> openedAsDesktopUser;
  std::vector<Opened> opened;  // directly, as the program's user
  bool desktop = false;        // whether there is a desktop shell
  std::map<std::int32_t, Text> folders{{37, u"C:\\windows\\system32"},
                                       {2, u"C:\\users\\me\\Start Menu\\Programs"}};
};

class FakeTransfer : public Transfer {
 public:
  void SetBodyLimit(std::int64_t bytes) override { bodyLimit_ = bytes; }
  void Execute(const Text& url, const Text& operation) override {
    requests.push_back({url, operation, bodyLimit_});
  }
  // As the control, the name in any letter case.
  Text GetHeader(const Text& name) override {
    return EqualIgnoringAsciiCase(name, u"Content-Length") ? AsciiText(contentLength_) : Text();
  }
  void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) override {
    const std::size_t n = std::min(static_cast<std::size_t>(size), body_.size() - position_);
    chunk.assign(body_.data() + position_, body_.data() + position_ + n);
    position_ += n;
  }
  std::int64_t BytesReceived() const override { return static_cast<std::int64_t>(body_.size()); }
  TransferProgress Progress() const override { return progress; }
  // Counted by the number of requests made when the body was let go of.
  void DiscardBody(bool refused) override {
    discardedAt.push_back(requests.size());
    refusals += refused;
  }

  // The response the next state 12 reads. Its Content-length is `length`, by default the
  // body's size; "" stands for a response without one.
  void Respond(std::string body, std::optional<std::string> length = std::nullopt) {
    contentLength_ = length.value_or(std::to_string(body.size()));
    body_ = std::move(body);
    position_ = 0;
  }

  struct Request {
    Text url, operation;
    std::int64_t bodyLimit;  // as set when it started
  };
  std::vector<Request> requests;
  std::vector<std::size_t> discardedAt;
  int refusals = 0;
  TransferProgress progress;  // what Progress() answers

 private:
  std::string body_, contentLength_;
  std::size_t position_ = 0;
  std::int64_t bodyLimit_ = 0;
};

class FakeEnvironment : public Environment {
 public:
  Text ProgramFolder() const override { return u"D:\\Tollumo"; }
  Text CommandLineArgument() const override { return argument; }
  bool Elevated() const override { return elevated; }
  Text argument;
  bool elevated = true;  // as the program's manifest asks
};

class FakeProgramEnd : public ProgramEnd {
 public:
  [[noreturn]] void Now() override { throw ProgramEnded{}; }
};

class FakeLog : public Log {
 public:
  void Write(const Text& line) noexcept override { lines.push_back(line); }
  bool Has(const Text& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::vector<Text> lines;
};

class FakeClock : public Clock {
 public:
  std::int64_t Milliseconds() const override { return ms; }
  std::int64_t ms = 1000000;
};

class FakeCopies : public RunningCopies {
 public:
  bool TakeLock() override { return !running.process; }
  RunningCopy BringRunningCopyToFront(std::int32_t waitMs) override {
    waitedMs = waitMs;
    return running;
  }
  RunningCopy running;  // a process number: another copy holds the lock
  std::int32_t waitedMs = -1;
};

// A window with every fake wired in.
struct FakeSystem {
  IconvCodePage codePage;
  FakeUi ui;
  FakeFiles files{codePage};
  FakeProcesses processes;
  FakeShell shell;
  FakeTransfer inet;
  FakeEnvironment environment;
  FakeProgramEnd end;
  FakeLog log;
  FakeClock clock;
  FakeCopies copies;
  Platform platform{ui,          files, processes, shell, inet,  codePage,
                    environment, end,   log,       clock, copies};
  FrmUpdate form{platform};

  // The package's brand file with these bytes, then the window loaded, as the window layer
  // raises its load event.
  FakeSystem& Load(std::string brandFile = "B\r\n") {
    files.Put(u"D:\\Tollumo\\Vexaoem.dat", std::move(brandFile));
    form.Raise(Control::Form, EventKind::Load);
    return *this;
  }
};

}  // namespace vexa
