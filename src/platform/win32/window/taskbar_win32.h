#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui.h"
#include "platform/win32/com_runtime.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// Where the button's progress goes: the shell's ITaskbarList3, or a test's record of the calls.
// `state` is a TBPF_* flag.
class TaskbarSink {
 public:
  virtual ~TaskbarSink() = default;
  virtual void SetState(HWND window, int state) = 0;
  virtual void SetValue(HWND window, std::uint64_t done, std::uint64_t total) = 0;
};

// The window's button on the taskbar, showing the progress the logic sets. The shell tells
// when the button exists with the registered message "TaskbarButtonCreated"; only then may
// ITaskbarList3 be used, on the window's thread. The shell runs unelevated and the program
// elevated, so that message is let through the window's message filter, or it would never
// arrive. Under Wine no taskbar shows this and the message never comes; the platform probe
// checks the calls with a sink of its own.
class TaskbarButton {
 public:
  // Makes the sink when the button exists; null: none.
  using SinkMaker = std::function<std::unique_ptr<TaskbarSink>()>;

  // By default the sink is the shell's taskbar, made in the apartment `com`.
  TaskbarButton(HWND window, ComApartment& com);
  TaskbarButton(HWND window, SinkMaker makeSink);
  TaskbarButton(const TaskbarButton&) = delete;
  TaskbarButton& operator=(const TaskbarButton&) = delete;

  // The registered message that says the button exists (0 when it can't be registered).
  UINT CreatedMessage() const { return createdMessage_; }
  // The button exists (again, after Explorer restarted): shows the current progress on it.
  // Without a sink (no taskbar, COM not available) it shows nothing, and nothing fails.
  void OnCreated();
  // Remembers the progress; Apply shows it. True when that would change what the button
  // shows: another state or length, or another thousandth of the length (the button is a few
  // dozen pixels wide, and a save reports every kilobyte).
  bool Set(TaskbarState state, std::int64_t done, std::int64_t total);
  // Shows the progress set last, if it changed since it was last shown.
  void Apply();

 private:
  HWND window_;
  SinkMaker makeSink_;
  UINT createdMessage_;
  std::unique_ptr<TaskbarSink> sink_;
  TaskbarState state_ = TaskbarState::None;
  std::int64_t done_ = 0, total_ = 0;
  bool changed_ = false;
};

}  // namespace vexa
