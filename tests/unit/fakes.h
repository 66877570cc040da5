#pragma once

// Fakes of the platform interfaces that keep everything in memory and record what the
// window did, so tests state what happened rather than how.

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/frm_update.h"
#include "platform/linux/iconv_code_page.h"
#include "platform/platform_error.h"
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
  void SetCaption(Control c, const Text& caption) override { captions_[c].push_back(caption); }
  void SetEnabled(Control c, bool enabled) override { enabled_[c] = enabled; }
  void SetVisible(Control c, bool visible) override { visible_[c] = visible; }
  void SetForeColor(Control c, OleColor color) override { foreColor_[c] = color; }
  float Left(Control c) const override { return static_cast<float>(LayoutOf(c).box.left); }
  float Width(Control c) const override {
    return Find(width_, c).value_or(static_cast<float>(LayoutOf(c).box.width));
  }
  void SetWidth(Control c, float twips) override {
    width_[c] = twips;
    if (c == Control::Picture1) barWidths.push_back(twips);
  }
  float ScaleWidth() const override { return 6195; }
  void Show() override { shown = true; }
  WindowHandle Handle() const override { return 0x1234; }
  void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon) override {
    messageBoxes.push_back({text, title, icon});
  }

  Text Caption(Control c) const {
    return Find(captions_, c) ? captions_.at(c).back() : LayoutOf(c).caption;
  }
  bool Enabled(Control c) const { return Find(enabled_, c).value_or(true); }
  bool Visible(Control c) const { return Find(visible_, c).value_or(LayoutOf(c).visible); }
  std::optional<OleColor> ForeColor(Control c) const { return Find(foreColor_, c); }
  // Every caption a control was given, in order.
  std::vector<Text> History(Control c) const {
    return Find(captions_, c).value_or(std::vector<Text>{});
  }

  struct Box {
    Text text, title;
    MessageIcon icon;
  };
  std::vector<Box> messageBoxes;
  bool shown = false;
  std::vector<float> barWidths;  // every width Picture1 was set to

 private:
  template <class Value>
  static std::optional<Value> Find(const std::map<Control, Value>& values, Control c) {
    auto it = values.find(c);
    return it == values.end() ? std::nullopt : std::optional<Value>(it->second);
  }
  std::map<Control, std::vector<Text>> captions_;
  std::map<Control, bool> enabled_, visible_;
  std::map<Control, OleColor> foreColor_;
  std::map<Control, float> width_;
};

class FakeFiles : public Files {
 public:
  explicit FakeFiles(const CodePage& codePage) : codePage_(codePage) {}

  bool Exists(const Text& path, std::uint32_t mask) const override;
  Text ReadFirstLine(const Text& path) override;
  void WriteLine(const Text& path, const Text& line) override;
  void Delete(const Text& path) override;
  std::unique_ptr<FileReplacement> BeginReplace(const Text& path) override;

  struct Entry {
    std::string bytes;
    std::uint32_t attributes = kAttrNormal;
    bool folder = false;
  };
  void Put(const Text& path, std::string bytes, std::uint32_t attributes = kAttrNormal);
  void PutFolder(const Text& path) { entries[path] = Entry{"", kAttrNormal, true}; }
  bool Has(const Text& path) const { return entries.count(path) != 0; }
  const std::string& Bytes(const Text& path) const { return entries.at(path).bytes; }

  std::map<Text, Entry> entries;
  // Every write to a replacement fails from this many bytes on (to test failures).
  std::optional<std::size_t> failWritesAfter;
  // Throws, naming the file, when `path` is a read-only file or a folder.
  void RefuseUnwritable(const Text& path, TextView action) const;

 private:
  const CodePage& codePage_;
};

class FakeProcesses : public Processes {
 public:
  void StartHidden(const Text& commandLine) override { started.push_back(commandLine); }
  std::uint32_t FindWindowOwner(const Text& title) override;
  bool Terminate(std::uint32_t processId) override;

  struct Window {
    Text title;
    std::uint32_t owner;
  };
  std::vector<Window> windows;
  std::set<std::uint32_t> unopenable;  // processes that can't be opened
  std::set<std::uint32_t> immortal;    // processes that survive termination
  std::vector<Text> started;
  std::vector<std::uint32_t> terminated;
};

class FakeShell : public Shell {
 public:
  std::int32_t Open(WindowHandle owner, const Text& file) override {
    opened.push_back({owner, file});
    return result;
  }
  Text SpecialFolderPath(std::int32_t csidl) override {
    auto it = folders.find(csidl);
    return it == folders.end() ? Text() : it->second;
  }

  struct Opened {
    WindowHandle owner;
    Text file;
  };
  std::vector<Opened> opened;
  std::map<std::int32_t, Text> folders{{37, u"C:\\windows\\system32"},
                                       {2, u"C:\\users\\me\\Start Menu\\Programs"}};
  std::int32_t result = 42;
};

class FakeTransfer : public Transfer {
 public:
  void Execute(const Text& url, const Text& operation) override {
    requests.push_back({url, operation});
  }
  // The header only by the exact name the window asks for.
  Text GetHeader(const Text& name) override {
    if (name != u"Content-length" || !contentLength) return {};
    return Text(contentLength->begin(), contentLength->end());
  }
  void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) override;
  std::int64_t BytesReceived() const override { return static_cast<std::int64_t>(body.size()); }

  // The response the next state 12 reads. Content-length is announced as the body's size
  // unless `contentLength` says otherwise (an empty optional: no such header).
  void Respond(std::string bodyBytes) {
    const std::string length = std::to_string(bodyBytes.size());
    Respond(std::move(bodyBytes), length);
  }
  void Respond(std::string bodyBytes, std::optional<std::string> length) {
    body = std::move(bodyBytes);
    contentLength = std::move(length);
    position = 0;
    chunkCalls = 0;
  }

  struct Request {
    Text url, operation;
  };
  std::vector<Request> requests;
  std::string body;
  std::optional<std::string> contentLength;
  std::size_t position = 0;
  int chunkCalls = 0;
};

class FakeEnvironment : public Environment {
 public:
  Text ProgramFolder() const override { return programFolder; }
  Text CommandLineArgument() const override { return argument; }
  Text programFolder = u"D:\\Tollumo";
  Text argument;
};

class FakeProgramEnd : public ProgramEnd {
 public:
  [[noreturn]] void Now() override { throw ProgramEnded{}; }
};

class FakeLog : public Log {
 public:
  void Write(const Text& line) noexcept override { lines.push_back(line); }
  std::vector<Text> lines;
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
  Platform platform{ui, files, processes, shell, inet, codePage, environment, end, log};
  FrmUpdate form{platform};

  // Text in the ANSI code page, as files hold it.
  std::string Ansi(const Text& text) const { return codePage.ToAnsi(text); }
  // The package's brand file with these bytes, then the window loaded.
  FakeSystem& Load(std::string brandFile = "B\r\n") {
    files.Put(u"D:\\Tollumo\\Vexaoem.dat", std::move(brandFile));
    form.Form_Load();
    return *this;
  }
};

}  // namespace vexa
